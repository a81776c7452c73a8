// WMI through COM: the locator, a connection to ROOT\CIMV2 and one WQL query at a time, with property
// values handed back as ANSI text. No call waits without a limit: a damaged WMI repository must not
// freeze the start-up or the amplifier check, it fails them with their usual codes instead.
#include "sysutil/wmi_query.h"

#include <windows.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A step of the result set that brings no object in this time fails (code 9). It stays below the five
// seconds after which Windows takes a window that waits for it for hung.
constexpr long StepLimitMs = 4000;

// The one query of the process; it owns the four COM objects.
struct WmiQuery {
  bool open = false;
  IWbemLocator* locator = nullptr;
  IWbemServices* services = nullptr;
  IEnumWbemClassObject* resultSet = nullptr;
  IWbemClassObject* current = nullptr;
  char queryText[300] = "";
};

WmiQuery query;

template <class T>
void Release(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

std::wstring Wide(const char* text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return L"";
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

void CopyText(const std::string& text, char* buffer, std::size_t size) {
  if (size == 0) return;
  const std::size_t length = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

// Wide text in the ANSI code page, cut to the caller's buffer.
void CopyWide(const wchar_t* wide, char* buffer, std::size_t size) {
  int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<std::size_t>(length));
    WideCharToMultiByte(CP_ACP, 0, wide, -1, &text[0], length, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(length - 1));
  }
  CopyText(text, buffer, size);
}

// One step of the result set: 0 an object, -1 none left, 9 the step failed.
int Step() {
  Release(query.current);
  ULONG returned = 0;
  const HRESULT hr = query.resultSet->Next(StepLimitMs, 1, &query.current, &returned);
  if (FAILED(hr) || hr == WBEM_S_TIMEDOUT) return 9;
  return returned == 0 ? -1 : 0;
}

// Reads a property of the current object; 32-bit unsigned numbers as signed decimal when `numbers` is set.
int ReadValue(const char* property, char* buffer, std::size_t size, bool numbers) {
  VARIANT value;
  VariantInit(&value);
  CIMTYPE type = 0;
  BSTR name = SysAllocString(Wide(property).c_str());
  HRESULT hr = query.current->Get(name, 0, &value, &type, nullptr);
  SysFreeString(name);
  if (FAILED(hr)) return 10;
  if (numbers && type == CIM_UINT32 && (value.vt == VT_I4 || value.vt == VT_UI4)) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%ld", static_cast<long>(value.lVal));
    CopyText(digits, buffer, size);
  } else if (value.vt == VT_BSTR && value.bstrVal) {
    CopyWide(value.bstrVal, buffer, size);
  } else {
    CopyText("", buffer, size);
  }
  VariantClear(&value);
  return 0;
}

int FailOpen(int code) {
  Release(query.services);
  Release(query.locator);
  CoUninitialize();
  return code;
}

}  // namespace

int WmiOpenQuery(const char* className) {
  WmiClose();
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<void**>(&query.locator))))
    return FailOpen(3);
  BSTR space = SysAllocString(L"ROOT\\CIMV2");
  // Without the flag the connection may wait for ever on a service that does not answer; with it, two
  // minutes at most (code 4).
  HRESULT hr = query.locator->ConnectServer(space, nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr,
                                            nullptr, &query.services);
  SysFreeString(space);
  if (FAILED(hr)) return FailOpen(4);
  if (FAILED(CoSetProxyBlanket(query.services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                               RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE)))
    return FailOpen(5);
  std::snprintf(query.queryText, sizeof query.queryText, "SELECT * from %s", className ? className : "");
  BSTR language = SysAllocString(L"WQL");
  BSTR text = SysAllocString(Wide(query.queryText).c_str());
  hr = query.services->ExecQuery(language, text, WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &query.resultSet);
  SysFreeString(language);
  SysFreeString(text);
  if (FAILED(hr)) {
    query.resultSet = nullptr;
    return FailOpen(6);
  }
  query.open = true;
  return 0;
}

int WmiReadProperty(const char* property, int index, char* buffer, std::size_t bufferSize) {
  if (!query.open) return 1;
  if (!query.resultSet) return 12;
  if (FAILED(query.resultSet->Reset())) return 8;
  if (index < 0) return -1;
  for (int i = 0; i <= index; ++i)
    if (int step = Step()) return step;
  if (!query.current) return 11;
  return ReadValue(property, buffer, bufferSize, true);
}

int WmiNextDevice(char* deviceId, std::size_t deviceIdSize, char* name, std::size_t nameSize) {
  if (!query.open) return 1;
  if (!query.resultSet) return -1;
  if (int step = Step()) return step;
  if (int read = ReadValue("DeviceID", deviceId, deviceIdSize, false)) return read;
  return ReadValue("Name", name, nameSize, false);
}

void WmiClose() {
  if (!query.open) return;
  Release(query.services);
  Release(query.locator);
  Release(query.resultSet);
  Release(query.current);
  CoUninitialize();
  query.open = false;
}
