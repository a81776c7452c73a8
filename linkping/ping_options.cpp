// Options with their values either in the same word (-c3, --port=5512) or in the next one (-c 3).
#include "ping_options.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

const char* const PingUsage =
    "usage: linkping [-c COUNT] [-i SECONDS] [-W SECONDS] [--port T] [--json] [ADDRESS | COMn]\n"
    "Sends the game computer echo requests over the link, one at a time, and reports each answer.\n"
    "  -c COUNT    stop after COUNT requests (default: until interrupted)\n"
    "  -i SECONDS  pause after an answer before the next request (default 1)\n"
    "  -W SECONDS  how long a request waits for its answer (default 2)\n"
    "  --port T    the game computer's port for an address (default 5510)\n"
    "  --json      one JSON object a line\n"
    "  -h, --help  this text\n"
    "Without ADDRESS or COMn, the game link of the suite's settings (DEVS.NIN).\n";

namespace {

constexpr double SecondsLimit = 86400;  // a day: any longer pause or wait is a mistyped number
constexpr int LowestPort = 1;

bool WholeNumber(const std::string& text, long low, long high, int& value) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  char* end = nullptr;
  errno = 0;
  long number = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || number < low || number > high) return false;
  value = static_cast<int>(number);
  return true;
}

bool Seconds(const std::string& text, bool zeroAllowed, double& value) {
  if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return false;
  char* end = nullptr;
  double number = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(number) || number > SecondsLimit || (number == 0 && !zeroAllowed)) return false;
  value = number;
  return true;
}

// The options that take a value: the value in the same word after `joined` (-c3, --port=5512) or in
// the next word (-c 3, --port 5512).
struct ValueOption {
  const char* name;
  const char* joined;
  const char* wanted;
  bool (*take)(const std::string& value, PingOptions& options);
};

const ValueOption ValueOptions[] = {
    {"-c", "-c", "a whole number of requests from 1",
     [](const std::string& v, PingOptions& o) { return WholeNumber(v, 1, INT_MAX, o.count); }},
    {"-i", "-i", "seconds from 0 to 86400",
     [](const std::string& v, PingOptions& o) { return Seconds(v, true, o.intervalSeconds); }},
    {"-W", "-W", "seconds above 0, up to 86400",
     [](const std::string& v, PingOptions& o) { return Seconds(v, false, o.waitSeconds); }},
    {"--port", "--port=", "a port from 1 to 65534",
     [](const std::string& v, PingOptions& o) { return WholeNumber(v, LowestPort, PingHighestPort, o.port); }},
};

// The option a word names, with the value it carries itself; null when it names none.
const ValueOption* FindValueOption(const std::string& word, std::string& value, bool& joined) {
  for (const ValueOption& option : ValueOptions) {
    joined = word.rfind(option.joined, 0) == 0 && word.size() > std::string(option.joined).size();
    if (word != option.name && !joined) continue;
    value = joined ? word.substr(std::string(option.joined).size()) : "";
    return &option;
  }
  return nullptr;
}

}  // namespace

PingCommand ParsePingOptions(const std::vector<std::string>& args, PingOptions& options, std::string& problem) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (optionsEnded || word.empty() || word[0] != '-' || word == "-") {
      if (word.empty() || !options.address.empty()) {
        problem = word.empty() ? "the address is empty"
                               : "one address at most, not \"" + options.address + "\" and \"" + word + "\"";
        return PingCommand::Bad;
      }
      options.address = word;
    } else if (word == "--") {
      optionsEnded = true;
    } else if (word == "-h" || word == "--help") {
      return PingCommand::Help;
    } else if (word == "--json") {
      options.json = true;
    } else {
      std::string value;
      bool joined = false;
      const ValueOption* option = FindValueOption(word, value, joined);
      if (option == nullptr) {
        problem = "unknown option " + word;
        return PingCommand::Bad;
      }
      if (!joined && i + 1 == args.size()) {
        problem = std::string(option->name) + " needs a value";
        return PingCommand::Bad;
      }
      if (!joined) value = args[++i];
      if (!option->take(value, options)) {
        problem = std::string(option->name) + " takes " + option->wanted + ", not \"" + value + "\"";
        return PingCommand::Bad;
      }
    }
  }
  return PingCommand::Run;
}
