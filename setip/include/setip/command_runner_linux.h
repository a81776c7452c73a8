// Running the system's network programs for the address helper. The helper runs as root, so it runs
// only programs it names itself, from their fixed places, with argument vectors (no shell) and with an
// environment of its own: nothing its caller set reaches them.
#pragma once

#include <string>
#include <vector>

using CommandLine = std::vector<std::string>;

// The helper's view of the programs it runs; tests answer in their place.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  // Runs the program named by argv[0] ("ip", "nmcli", "dhclient", "networkctl" or "sysctl") and returns
  // its exit status, -1 when it could not start. `output`, when given, receives its standard output.
  virtual int Run(const CommandLine& argv, std::string* output) = 0;
  // Whether the named program is installed.
  virtual bool Installed(const std::string& program) = 0;
  // Waits before the system is looked at again (a DHCP lease being awaited); tests return at once.
  virtual void Pause(int milliseconds) = 0;
};

// The real programs at the places Debian installs them.
class SystemCommandRunner : public CommandRunner {
 public:
  int Run(const CommandLine& argv, std::string* output) override;
  bool Installed(const std::string& program) override;
  void Pause(int milliseconds) override;
};

// The fixed path of a program the helper runs; empty for any other name.
std::string HelperProgramPath(const std::string& program);
