// The COM port scan over dosdevices links to pseudo-terminals, one of them held by another open, and
// the processor/memory summary over fake sysfs/procfs trees.
#include "sysutil/com_scan.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "scratch_tree.h"
#include "test_environment.h"
#include "platform/com_device.h"

namespace {

// A pseudo-terminal pair whose device side stands in for a serial port.
struct PseudoTerminal {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  const std::string device = master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : "";
  ~PseudoTerminal() {
    if (master >= 0) close(master);
  }
};

class ComScanTest : public ::testing::Test {
 protected:
  ScratchTree root_{"tavik_root"}, sys_{"tavik_sysfs"}, proc_{"tavik_procfs"};
  ScopedEnv suite_{"TAVIK_ROOT", root_.Root()}, sysfs_{"TAVIK_SYSFS", sys_.Root()},
      procfs_{"TAVIK_PROCFS", proc_.Root()};
};

TEST_F(ComScanTest, FreeBusyAndAbsentPortsAreTold) {
  PseudoTerminal free1, held3;
  ASSERT_FALSE(free1.device.empty());
  root_.Link("dosdevices/com1", free1.device);
  root_.Link("dosdevices/com2", "/nonexistent/ttyX");
  root_.Link("dosdevices/com3", held3.device);
  // Another program's hold is one more open of the device: the lock belongs to the open, not the process.
  const ComOpenResult holder = ComDeviceOpen(3);
  ASSERT_NE(holder.handle, ComInvalidHandle);

  ComPortTable table{};
  ScanComPorts(MaxComPort, table.data());
  EXPECT_EQ(table[1], PortFree);
  EXPECT_EQ(table[2], PortAbsent);
  EXPECT_EQ(table[3], PortBusy);
  for (int n = 4; n <= MaxComPort; ++n) EXPECT_EQ(table[n], PortAbsent) << n;
  EXPECT_EQ(table[0], 3);
  for (int n : {1, 3}) EXPECT_TRUE(ComPortExists(table, n)) << n;
  for (int n : {2, 0, MaxComPort + 1, -5}) EXPECT_FALSE(ComPortExists(table, n)) << n;

  const ComOpenResult again = ComDeviceOpen(1);
  ASSERT_NE(again.handle, ComInvalidHandle) << "the scan closed the free port again";
  ComDeviceClose(again.handle);
  ComDeviceClose(holder.handle);
}

TEST_F(ComScanTest, RescanForgetsVanishedPortsAndKeepsTheHighestMarkWhenNoneExists) {
  PseudoTerminal one, five;
  root_.Link("dosdevices/com1", one.device);
  root_.Link("dosdevices/com5", five.device);
  ComPortTable table{};
  ScanComPorts(MaxComPort, table.data());
  EXPECT_EQ(table[0], 5);
  root_.Remove("dosdevices/com5");
  ScanComPorts(MaxComPort, table.data());
  EXPECT_EQ(table[5], PortAbsent);
  EXPECT_FALSE(ComPortExists(table, 5));
  EXPECT_EQ(table[0], 1);
  root_.Remove("dosdevices/com1");
  ScanComPorts(MaxComPort, table.data());
  EXPECT_EQ(table[1], PortAbsent);
  EXPECT_EQ(table[0], 1) << "a scan that finds nothing leaves the old mark, which covers only absent ports";

  signed char small[3] = {0, 9, 9};
  root_.Link("dosdevices/com2", one.device);
  ScanComPorts(2, small);
  EXPECT_EQ(std::vector<int>(small, small + 3), (std::vector<int>{2, PortAbsent, PortFree}));
}

TEST_F(ComScanTest, SystemSummaryWaitsForItsSourcesAndIsThenKept) {
  EXPECT_STREQ(GetSystemSummary(), "") << "no memory figure yet";
  proc_.Write("meminfo", "MemTotal:        8000000 kB\n");
  EXPECT_STREQ(GetSystemSummary(), "") << "no processor yet";
  for (int n = 0; n < 3; ++n) {
    const std::string dir = "devices/system/cpu/cpu" + std::to_string(n) + "/topology/";
    sys_.Write(dir + "physical_package_id", n < 2 ? "0\n" : "1\n");
    sys_.Write(dir + "core_id", "0\n");
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
