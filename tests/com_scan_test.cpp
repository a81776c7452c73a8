// The COM port scan over dosdevices links to pseudo-terminals, one of them held by another process,
// and the processor/memory summary over fake sysfs/procfs trees.
#include "sysutil/com_scan.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "scratch_tree.h"
#include "platform/com_device.h"

namespace {

// A pseudo-terminal pair whose device side stands in for a serial port.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) device_ = ptsname(master_);
  }
  ~PseudoTerminal() {
    if (master_ >= 0) close(master_);
  }
  const std::string& Device() const { return device_; }

 private:
  int master_ = -1;
  std::string device_;
};

// A child process that holds COMn open, as another program would, until it is released.
class PortHolder {
 public:
  explicit PortHolder(int port) {
    int ready[2];
    if (pipe(ready) != 0 || pipe(release_) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(release_[1]);
      const ComOpenResult held = ComDeviceOpen(port);
      char byte = held.handle != ComInvalidHandle ? 'y' : 'n';
      (void)!write(ready[1], &byte, 1);
      (void)!read(release_[0], &byte, 1);
      _exit(0);
    }
    close(ready[1]);
    close(release_[0]);
    char byte = 'n';
    held_ = read(ready[0], &byte, 1) == 1 && byte == 'y';
    close(ready[0]);
  }
  ~PortHolder() {
    close(release_[1]);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  bool Held() const { return held_; }

 private:
  int release_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool held_ = false;
};

class ComScanTest : public ::testing::Test {
 protected:
  ComScanTest() : root_("tavik_root"), sys_("tavik_sysfs"), proc_("tavik_procfs") {
    setenv("TAVIK_ROOT", root_.Root().c_str(), 1);
    setenv("TAVIK_SYSFS", sys_.Root().c_str(), 1);
    setenv("TAVIK_PROCFS", proc_.Root().c_str(), 1);
  }
  ~ComScanTest() override {
    unsetenv("TAVIK_ROOT");
    unsetenv("TAVIK_SYSFS");
    unsetenv("TAVIK_PROCFS");
  }
  ScratchTree root_, sys_, proc_;
};

TEST_F(ComScanTest, FreeBusyAndAbsentPortsAreTold) {
  PseudoTerminal free1, held3;
  ASSERT_FALSE(free1.Device().empty());
  root_.Link("dosdevices/com1", free1.Device());
  root_.Link("dosdevices/com2", "/nonexistent/ttyX");
  root_.Link("dosdevices/com3", held3.Device());
  PortHolder holder(3);
  ASSERT_TRUE(holder.Held());

  ComPortTable table{};
  ScanComPorts(MaxComPort, table.data());
  EXPECT_EQ(table[1], PortFree);
  EXPECT_EQ(table[2], PortAbsent);
  EXPECT_EQ(table[3], PortBusy);
  for (int n = 4; n <= MaxComPort; ++n) EXPECT_EQ(table[n], PortAbsent) << n;
  EXPECT_EQ(table[0], 3);
  EXPECT_TRUE(ComPortExists(table, 1));
  EXPECT_FALSE(ComPortExists(table, 2));
  EXPECT_TRUE(ComPortExists(table, 3));
  EXPECT_FALSE(ComPortExists(table, 0));
  EXPECT_FALSE(ComPortExists(table, MaxComPort + 1));
  EXPECT_FALSE(ComPortExists(table, -5));

  const ComOpenResult again = ComDeviceOpen(1);
  ASSERT_NE(again.handle, ComInvalidHandle) << "the scan closed the free port again";
  ComDeviceClose(again.handle);
}

TEST_F(ComScanTest, RescanForgetsVanishedPortsAndKeepsTheHighestMarkWhenNoneExists) {
  PseudoTerminal one, five;
  root_.Link("dosdevices/com1", one.Device());
  root_.Link("dosdevices/com5", five.Device());
  ComPortTable table{};
  ScanComPorts(MaxComPort, table.data());
  EXPECT_EQ(table[0], 5);
  std::filesystem::remove(root_.Path("dosdevices/com5"));
  ScanComPorts(MaxComPort, table.data());
  EXPECT_EQ(table[5], PortAbsent);
  EXPECT_FALSE(ComPortExists(table, 5));
  EXPECT_EQ(table[0], 1);
  std::filesystem::remove(root_.Path("dosdevices/com1"));
  ScanComPorts(MaxComPort, table.data());
  EXPECT_EQ(table[1], PortAbsent);
  EXPECT_EQ(table[0], 1) << "a scan that finds nothing leaves the old mark, which covers only absent ports";

  signed char small[3] = {0, 9, 9};
  root_.Link("dosdevices/com2", one.Device());
  ScanComPorts(2, small);
  EXPECT_EQ(small[1], PortAbsent);
  EXPECT_EQ(small[2], PortFree);
  EXPECT_EQ(small[0], 2);
}

TEST_F(ComScanTest, SystemSummaryWaitsForItsSourcesAndIsThenKept) {
  EXPECT_STREQ(GetSystemSummary(), "") << "no memory figure yet";
  proc_.Write("meminfo", "MemTotal:        8000000 kB\n");
  EXPECT_STREQ(GetSystemSummary(), "") << "no processor yet";
  for (int n = 0; n < 3; ++n) {
    const std::string dir = "devices/system/cpu/cpu" + std::to_string(n) + "/topology/";
    sys_.Write(dir + "physical_package_id", n < 2 ? "0\n" : "1\n");
    sys_.Write(dir + "core_id", n < 2 ? "0\n" : "0\n");
  }
  proc_.Write("cpuinfo",
              "processor\t: 0\nmodel name\t: Example CPU\ncpu MHz\t\t: 3000.0\n\n"
              "processor\t: 1\nmodel name\t: Example CPU\ncpu MHz\t\t: 3000.0\n\n"
              "processor\t: 2\nmodel name\t: Example CPU\ncpu MHz\t\t: 1200.0\n");
  EXPECT_STREQ(GetSystemSummary(), "Cores=2,Procs=3,Speed=3000,Mem=8000000\nCPU=Example CPU\n");
  proc_.Write("meminfo", "MemTotal:        1 kB\n");
  EXPECT_STREQ(GetSystemSummary(), "Cores=2,Procs=3,Speed=3000,Mem=8000000\nCPU=Example CPU\n") << "built once";
  EXPECT_STREQ(SystemSummary, GetSystemSummary());
}

}  // namespace
