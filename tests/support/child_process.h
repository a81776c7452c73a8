// A program of the build run as a child process for a test, its standard input and output on pipes, so
// that the test types its keys and reads its console.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Where a child's standard output goes.
enum class ChildOutput {
  Piped,   // to the test, through ReadSome
  Shown,   // to the test's own standard output, beside the test's report
  ToFile,  // to ChildStart::outputFile, made afresh
};

// How a child starts, beyond its program and arguments.
struct ChildStart {
  ChildStart(std::vector<std::string> settings = {}) : environment(std::move(settings)) {}
  // "NAME=value" settings that replace or add to the test's own environment...
  std::vector<std::string> environment;
  // ...or, when set, are the child's whole environment.
  bool environmentOnly = false;
  // The child's working directory; empty: the test's own.
  std::string directory;
  ChildOutput output = ChildOutput::Piped;
  std::string outputFile;
  // Whether the child's standard error is dropped instead of shown beside the test's report.
  bool errorsDropped = false;
};

class ChildProcess {
 public:
  // `program` is a path (a relative one is taken from the test program's own directory); `args` follow
  // the program name; `environment` holds "NAME=value" settings that replace or add to the test's own.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& environment = {})
      : ChildProcess(program, args, ChildStart{environment}) {}
  ChildProcess(const std::string& program, const std::vector<std::string>& args, const ChildStart& start);
  // A child still running is killed and waited for.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const;
  // The system's id of the child, for what only a test of one system asks of it; -1 when it did not start.
  long Id() const;
  // Writes to the child's standard input; false when it could not.
  bool Write(const std::string& bytes);
  // Appends the output that arrives within the time, read as text (the platform's line ends become
  // '\n'); false once the output has ended.
  bool ReadSome(std::string& text, int milliseconds);
  // The exit code once the child ends within the time, else -1.
  int Wait(int milliseconds);
  // The most memory the child held at once, in megabytes, as the system counts it (its resident set
  // here, its working set on Windows); 0 until Wait has seen it end.
  double PeakMegabytes() const;
  // Interrupts the child as Ctrl-C at its console does: SIGINT here, Ctrl-Break to the process group of
  // its own that it starts in on Windows. False when the signal could not be given.
  bool Interrupt();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Reads the child's output into `output` until `text` appears in it at or after `from` (true), the output
// ends or the time passes; an empty `text` reads on to the end.
inline bool ReadUntil(ChildProcess& child, std::string& output, const std::string& text, int milliseconds,
                      std::size_t from = 0) {
  auto seen = [&] { return !text.empty() && output.find(text, from) != std::string::npos; };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!seen() && std::chrono::steady_clock::now() < deadline)
    if (!child.ReadSome(output, 50)) break;
  return seen();
}
