// Child processes of the tests on Windows: CreateProcess with anonymous pipes for standard input and
// output, each child in a process group of its own for Ctrl-Break, PeekNamedPipe to wait for output within
// a time, TerminateProcess for a child left running.
#include "child_process.h"

#include <windows.h>

#include <psapi.h>

#include <cstring>

namespace {

constexpr double BytesPerMegabyte = 1024.0 * 1024.0;

std::string FromTestDirectory(const std::string& program) {
  bool absolute = program.size() > 1 && (program[1] == ':' || program[0] == '\\' || program[0] == '/');
  if (absolute) return program;
  char self[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string path(self, n);
  return path.substr(0, path.find_last_of("\\/") + 1) + program;
}

// One word of a command line as the C runtime splits it again.
std::string Quoted(const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : word) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

bool Replaced(const char* entry, const std::vector<std::string>& settings) {
  for (const std::string& s : settings)
    if (_strnicmp(entry, s.c_str(), s.find('=') + 1) == 0) return true;
  return false;
}

// The test's environment with the settings replaced or added (or the settings alone), as a block of
// NUL-ended texts.
std::string EnvironmentBlock(const std::vector<std::string>& settings, bool settingsOnly) {
  std::string block;
  char* own = settingsOnly ? nullptr : GetEnvironmentStringsA();
  for (const char* e = own; e != nullptr && *e != '\0'; e += std::strlen(e) + 1)
    if (!Replaced(e, settings)) block.append(e).push_back('\0');
  if (own != nullptr) FreeEnvironmentStringsA(own);
  for (const std::string& s : settings) block.append(s).push_back('\0');
  block.push_back('\0');
  return block;
}

// A pipe whose child end is inherited and whose test end is not.
bool MakePipe(HANDLE* read, HANDLE* write, bool childReads) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  if (!CreatePipe(read, write, &inherit, 0)) return false;
  SetHandleInformation(childReads ? *write : *read, HANDLE_FLAG_INHERIT, 0);
  return true;
}

void CloseIfOpen(HANDLE& h) {
  if (h != nullptr) CloseHandle(h);
  h = nullptr;
}

// A file the child inherits as a standard handle: made afresh for its output, or the null device.
HANDLE InheritedFile(const std::string& path, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

}  // namespace

struct ChildProcess::Impl {
  PROCESS_INFORMATION process{};
  HANDLE input = nullptr;
  HANDLE output = nullptr;
  double peakMegabytes = 0;
};

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args, const ChildStart& start)
    : impl_(new Impl) {
  HANDLE childIn = nullptr, childOut = nullptr, childErr = nullptr;
  if (!MakePipe(&childIn, &impl_->input, true)) return;
  bool ready = true;
  if (start.output == ChildOutput::Piped)
    ready = MakePipe(&impl_->output, &childOut, false);
  else if (start.output == ChildOutput::ToFile)
    ready = (childOut = InheritedFile(start.outputFile, CREATE_ALWAYS)) != nullptr;
  if (ready && start.errorsDropped) ready = (childErr = InheritedFile("NUL", OPEN_EXISTING)) != nullptr;
  if (ready) {
    std::string path = FromTestDirectory(program);
    std::string commandLine = Quoted(path);
    for (const std::string& a : args) commandLine += " " + Quoted(a);
    std::string block = EnvironmentBlock(start.environment, start.environmentOnly);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut != nullptr ? childOut : GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = childErr != nullptr ? childErr : GetStdHandle(STD_ERROR_HANDLE);
    const char* directory = start.directory.empty() ? nullptr : start.directory.c_str();
    if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                        block.data(), directory, &startup, &impl_->process))
      impl_->process = PROCESS_INFORMATION{};
  }
  CloseIfOpen(childIn);
  CloseIfOpen(childOut);
  CloseIfOpen(childErr);
}

ChildProcess::~ChildProcess() {
  if (impl_->process.hProcess != nullptr) {
    if (WaitForSingleObject(impl_->process.hProcess, 0) != WAIT_OBJECT_0) {
      TerminateProcess(impl_->process.hProcess, 1);
      WaitForSingleObject(impl_->process.hProcess, 5000);
    }
    CloseIfOpen(impl_->process.hProcess);
    CloseIfOpen(impl_->process.hThread);
  }
  CloseIfOpen(impl_->input);
  CloseIfOpen(impl_->output);
}

bool ChildProcess::started() const { return impl_->process.hProcess != nullptr; }

long ChildProcess::Id() const { return started() ? static_cast<long>(impl_->process.dwProcessId) : -1; }

bool ChildProcess::Write(const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(impl_->input, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool ChildProcess::ReadSome(std::string& text, int milliseconds) {
  if (impl_->output == nullptr) return false;
  DWORD start = GetTickCount();
  DWORD waiting = 0;
  for (;;) {
    if (!PeekNamedPipe(impl_->output, nullptr, 0, nullptr, &waiting, nullptr)) return false;
    if (waiting > 0) break;
    if (GetTickCount() - start >= static_cast<DWORD>(milliseconds)) return true;
    Sleep(5);
  }
  char chunk[512];
  DWORD n = 0;
  if (!ReadFile(impl_->output, chunk, waiting < sizeof chunk ? waiting : sizeof chunk, &n, nullptr) || n == 0)
    return false;
  size_t from = text.empty() ? 0 : text.size() - 1;  // a line end may be split over two reads
  text.append(chunk, n);
  for (size_t at = text.find("\r\n", from); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
  return true;
}

int ChildProcess::Wait(int milliseconds) {
  if (impl_->process.hProcess == nullptr) return -1;
  if (WaitForSingleObject(impl_->process.hProcess, static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0) return -1;
  PROCESS_MEMORY_COUNTERS memory{};
  if (GetProcessMemoryInfo(impl_->process.hProcess, &memory, sizeof memory))
    impl_->peakMegabytes = static_cast<double>(memory.PeakWorkingSetSize) / BytesPerMegabyte;
  DWORD code = 0;
  GetExitCodeProcess(impl_->process.hProcess, &code);
  return static_cast<int>(code);
}

double ChildProcess::PeakMegabytes() const { return impl_->peakMegabytes; }

bool ChildProcess::Interrupt() {
  return impl_->process.hProcess != nullptr && GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, impl_->process.dwProcessId);
}
