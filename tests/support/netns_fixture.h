// Test support: a network namespace of the test's own, with a veth pair inside it, removed again at
// the end. Address changes in the tests happen only there.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "shell_command.h"

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
