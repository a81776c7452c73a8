// linkping's command line, ping's way: linkping [-c COUNT] [-i SECONDS] [-W SECONDS] [--port T] [--json]
// [ADDRESS | COMn].
#pragma once

#include <string>
#include <vector>

constexpr int PingHighestPort = 65534;  // the link also uses T + 1

struct PingOptions {
  int count = 0;               // requests to make; 0 makes them until interrupted
  double intervalSeconds = 1;  // the pause after an answer before the next request
  double waitSeconds = 2;      // how long a request waits for its answer
  int port = 0;                // the T port of a socket link; 0 when not given
  bool json = false;           // one JSON object a line instead of text
  std::string address;         // a host, a dotted address or COMn; empty: the suite's game link
};

enum class PingCommand { Run, Help, Bad };

// The usage text that bad input and -h print.
extern const char* const PingUsage;

// Reads the arguments (without the program's name) into `options`: Run, Help for -h or --help, or Bad
// with what is wrong in `problem`.
PingCommand ParsePingOptions(const std::vector<std::string>& args, PingOptions& options, std::string& problem);
