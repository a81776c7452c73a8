// The address helper for real, inside a network namespace of the test's own: a static address set and
// read back with ip, bad parameters refused, and the whole road from the dialog's parameter text
// through the elevation runner.
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "netns_fixture.h"
#include "sysutil/network_shell.h"

namespace {

const std::string Helper = TAVIK_SETIP_PATH;

std::string Quote(const std::string& text) { return "'" + text + "'"; }

}  // namespace

class AddressHelperTest : public NetNamespaceTest {
 protected:
  int Helper(const std::string& parameters) {
    int status = std::system((In(::Helper + " " + Quote(parameters)) + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(AddressHelperTest, SetsAStaticAddressOnTheNamedAdapter) {
  ASSERT_TRUE(RunQuietly(In("ip address add 10.9.9.9/8 dev tva")));
  EXPECT_EQ(Helper("interface ip set address name=\"Local Area Connection\" static 192.168.10.1 255.255.255.0 "), 0);
  std::string addresses = Addresses();
  EXPECT_NE(addresses.find("inet 192.168.10.1/24 brd 192.168.10.255"), std::string::npos) << addresses;
  EXPECT_EQ(addresses.find("10.9.9.9"), std::string::npos) << addresses;  // replaced, as the network shell does

  EXPECT_EQ(Helper("interface ip set address name=\"Local Area Connection\" static 192.168.20.2 255.255.255.0 "), 0);
  EXPECT_NE(Addresses().find("inet 192.168.20.2/24"), std::string::npos);
  EXPECT_EQ(Addresses().find("192.168.10.1"), std::string::npos);
}

TEST_F(AddressHelperTest, RefusesBadNamesAddressesAndMasks) {
  ASSERT_TRUE(RunQuietly(In("ip address add 192.168.10.1/24 dev tva")));
  const char* refused[] = {
      "interface ip set address name=\"Local Area Network\" static 192.168.10.2 255.255.255.0 ",
      "interface ip set address name=\"Local Area Connection\" static 192.168.10.300 255.255.255.0 ",
      "interface ip set address name=\"Local Area Connection\" static 192.168.10.0 255.255.255.0 ",
      "interface ip set address name=\"Local Area Connection\" static 192.168.10.2 255.255.0.255 ",
      "interface ip set address name=\"Local Area Connection\" static 192.168.10.2 ",
      "interface ip set address name=\"Local Area Connection\" static 192.168.10.2 255.255.255.0; reboot",
      "interface ip set address name=\"tvb\" static 192.168.10.2 255.255.255.0 trailing",
  };
  for (const char* parameters : refused) EXPECT_EQ(Helper(parameters), 1) << parameters;
  EXPECT_NE(Addresses().find("inet 192.168.10.1/24"), std::string::npos);  // untouched
}

TEST_F(AddressHelperTest, KernelNamesWorkWhenNoFriendlyNameMatches) {
  EXPECT_EQ(Helper("interface ip set address name=\"tvb\" static 172.16.5.9 255.255.0.0 "), 0);
  EXPECT_NE(CommandOutput("ip -n " + ns_ + " -4 -o address show dev tvb").find("inet 172.16.5.9/16"),
            std::string::npos);
}

TEST_F(AddressHelperTest, NetworkShellRunsTheHelperThroughTheElevationRunner) {
  std::string runner = "/tmp/tavik_runner_" + std::to_string(getpid());
  std::string record = runner + ".args";
  std::ofstream(runner) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > " << record << ".part\n"
                        << "ip netns exec " << ns_ << " \"$@\"\nmv " << record << ".part " << record << "\n";
  chmod(runner.c_str(), 0700);
  setenv("TAVIK_ELEVATION_RUNNER", runner.c_str(), 1);
  const std::string parameters =
      "interface ip set address name=\"Local Area Connection\" static 192.168.30.1 255.255.255.0 ";
  RunNetworkShell(parameters);
  unsetenv("TAVIK_ELEVATION_RUNNER");
  for (int i = 0; i < 100 && access(record.c_str(), F_OK) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::ifstream recorded(record);
  std::string helper, text;
  std::getline(recorded, helper);
  std::getline(recorded, text);
  EXPECT_EQ(helper, ::Helper);
  EXPECT_EQ(text, parameters);
  EXPECT_NE(Addresses().find("inet 192.168.30.1/24"), std::string::npos);
  std::remove(runner.c_str());
  std::remove(record.c_str());
}
