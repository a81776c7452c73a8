// Test support: a network namespace of the test's own, with a veth pair inside it, removed again at
// the end. Address changes in the tests happen only there.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "child_process.h"

// How long a command of the set-up may take: far longer than any of them needs.
inline constexpr int CommandMilliseconds = 60000;

// Runs a command line through the shell; its exit code, and its standard output in `output` when given.
inline int RunCommand(const std::string& command, std::string* output = nullptr) {
  ChildProcess shell("/bin/sh", {"-c", command});
  std::string text;
  ReadUntil(shell, text, "", CommandMilliseconds);
  if (output != nullptr) *output += text;
  return shell.Wait(CommandMilliseconds);
}

// Runs a command line through the shell and returns its standard output (test set-up only).
inline std::string CommandOutput(const std::string& command) {
  std::string out;
  RunCommand(command, &out);
  return out;
}

// Whether a command line ran through the shell, its output left out, and succeeded.
inline bool RunQuietly(const std::string& command) { return RunCommand(command + " >/dev/null 2>&1") == 0; }

class NetNamespaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to create a network namespace";
    ns_ = "tvktest" + std::to_string(getpid());
    if (!RunQuietly("ip netns add " + ns_)) GTEST_SKIP() << "network namespaces are not available here";
    created_ = true;
    ASSERT_TRUE(RunQuietly(In("ip link add tva type veth peer name tvb")));
    ASSERT_TRUE(RunQuietly(In("ip link set tva alias 'Local Area Connection'")));
    ASSERT_TRUE(RunQuietly(In("ip link set tva up")) && RunQuietly(In("ip link set tvb up")));
  }
  void TearDown() override {
    if (created_) RunQuietly("ip netns del " + ns_);
  }
  // A command line run inside the namespace.
  std::string In(const std::string& command) const { return "ip netns exec " + ns_ + " " + command; }
  // The IPv4 addresses of the alias end, as "a.b.c.d/n" words.
  std::string Addresses() const { return CommandOutput("ip -n " + ns_ + " -4 -o address show dev tva"); }

  std::string ns_;
  bool created_ = false;
};
