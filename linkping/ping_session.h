// linkping's run: the command line, the link it names, and the echo test over it, one request at a time,
// each outcome reported as it happens and the summary at the end.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Exit statuses, as ping's.
constexpr int PingAllAnswered = 0;
constexpr int PingSomeLost = 1;
constexpr int PingNoneAnswered = 2;  // also: the link never opened, or the command line was wrong

// Runs linkping with its arguments (without the program's name): what it finds to `out`, a usage message
// to `err`. It asks `interrupted` between its waits of a millisecond and, once that says true, ends with
// the summary. Returns the exit status.
int RunLinkPing(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
                const std::function<bool()>& interrupted);
