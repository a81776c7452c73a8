// A private X server (Xvfb) for the tests and benchmarks that run real windows.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "child_process.h"

namespace probetest {

// An Xvfb on a display number it picks itself, stopped when the object ends.
class PrivateXServer {
 public:
  PrivateXServer() {
    ChildStart start{{"PATH=/usr/bin:/bin"}};
    start.environmentOnly = true;
    start.errorsDropped = true;  // notes on busy display numbers
    // -noreset: Xvfb would write the display number again, into a closed pipe, when the last client leaves.
    server_ = std::make_unique<ChildProcess>(
        "/usr/bin/Xvfb",
        std::vector<std::string>{"-displayfd", "1", "-screen", "0", "1024x768x24", "-noreset", "-nolisten", "tcp"},
        start);
    // The number and its line feed come in two writes; the pipe stays open while Xvfb runs, since closing
    // it kills Xvfb.
    std::string number;
    if (ReadUntil(*server_, number, "\n", DisplayWaitMs)) display_ = ":" + std::to_string(std::atoi(number.c_str()));
  }
  // Asked to end as Ctrl-C would, Xvfb removes its lock file and socket.
  ~PrivateXServer() {
    server_->Interrupt();
    server_->Wait(EndWaitMs);
  }
  PrivateXServer(const PrivateXServer&) = delete;
  PrivateXServer& operator=(const PrivateXServer&) = delete;

  // ":N", empty when the server did not start.
  const std::string& Display() const { return display_; }

 private:
  static constexpr int DisplayWaitMs = 20000;
  static constexpr int EndWaitMs = 10000;
  std::unique_ptr<ChildProcess> server_;
  std::string display_;
};

}  // namespace probetest
