// The Application event log through an event source named after the program's own file. A source that
// no installer registered still logs: Event Viewer then shows the text under its general heading.
#include "platform/system_log.h"

#include <windows.h>

#include <vector>

namespace {

// Every report carries this one event identifier; the text says what happened.
constexpr DWORD ReportEventId = 1;

std::wstring OwnProgramName() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return L"Tavik";
  std::wstring name(path, length);
  name = name.substr(name.find_last_of(L"\\/") + 1);
  const std::size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos ? name : name.substr(0, dot);
}

WORD EventType(SystemLogLevel level) {
  switch (level) {
    case SystemLogLevel::Error:
      return EVENTLOG_ERROR_TYPE;
    case SystemLogLevel::Warning:
      return EVENTLOG_WARNING_TYPE;
    case SystemLogLevel::Notice:
      break;
  }
  return EVENTLOG_INFORMATION_TYPE;
}

// The program's 8-bit texts are in the system's code page, as its other A-functions take them.
std::wstring Wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return L"";
  std::vector<wchar_t> wide(static_cast<std::size_t>(length));
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  return wide.data();
}

}  // namespace

void WriteSystemLog(SystemLogLevel level, const std::string& text) {
  HANDLE source = RegisterEventSourceW(nullptr, OwnProgramName().c_str());
  if (source == nullptr) return;
  const std::wstring wide = Wide(text);
  const wchar_t* strings[] = {wide.c_str()};
  ReportEventW(source, EventType(level), 0, ReportEventId, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}
