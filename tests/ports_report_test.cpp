// The ports and configuration report, byte for byte, over a scratch suite tree, fake sysfs/procfs
// trees and pseudo-terminals linked as COM ports.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fake_port.h"
#include "device_settings.h"
#include "output_pane.h"
#include "ports_report.h"
#include "probe_test_support.h"
#include "sysutil/com_scan.h"
#include "sysutil/host_address.h"
#include "appbase/identity_box.h"

namespace {

using probetest::FakePort;
using probetest::ReadWholeFile;
using probetest::ScopedEnv;
using probetest::ScratchTree;

const char* const Stars30 = "******************************\n";
const char* const Stars32 = "********************************\n";

// Two packages of one core each with two threads, as /proc/cpuinfo lists them.
const char* const CpuInfo =
    "processor\t: 0\nmodel name\t: Test CPU 3000\ncpu MHz\t\t: 2400.000\nphysical id\t: 0\ncore id\t\t: 0\n"
    "cpu cores\t: 1\n\n"
    "processor\t: 1\nmodel name\t: Test CPU 3000\ncpu MHz\t\t: 2400.000\nphysical id\t: 0\ncore id\t\t: 0\n"
    "cpu cores\t: 1\n\n"
    "processor\t: 2\nmodel name\t: Test CPU 3000\ncpu MHz\t\t: 2400.000\nphysical id\t: 1\ncore id\t\t: 0\n"
    "cpu cores\t: 1\n\n"
    "processor\t: 3\nmodel name\t: Test CPU 3000\ncpu MHz\t\t: 2400.000\nphysical id\t: 1\ncore id\t\t: 0\n"
    "cpu cores\t: 1\n\n";

bool FakeHostName(char* buffer, std::size_t size) {
  std::snprintf(buffer, size, "therapist");
  return true;
}

bool FakeInterfaces(std::vector<InterfaceAddress>& out) {
  InterfaceAddress lo{"lo", 1, true, true, {127, 0, 0, 1}};
  InterfaceAddress eth{"eth0", 2, true, false, {192, 168, 10, 1}};
  out = {lo, eth};
  return true;
}

bool NoResolver(const char*, std::uint8_t*) { return false; }

const HostNetworkSource FakeNetwork = {FakeHostName, FakeInterfaces, NoResolver};

class PortsReportTest : public ::testing::Test {
 protected:
  ScratchTree tree;
  ScopedEnv root{"TAVIK_ROOT", tree.Path("tavik")};
  ScopedEnv sysfs{"TAVIK_SYSFS", tree.Path("sys")};
  ScopedEnv procfs{"TAVIK_PROCFS", tree.Path("proc")};

  void SetUp() override {
    tree.Write("sys/class/tty/.keep", "");   // no machine ports: only the linked ones count
    tree.Write("tavik/.keep", "");
    SetHostNetworkSource(&FakeNetwork);
    SystemSummary[0] = '\0';
  }
  void TearDown() override {
    SetHostNetworkSource(nullptr);
    SystemSummary[0] = '\0';
  }

  void LinkPort(int n, const std::string& device) {
    std::filesystem::create_directories(tree.Path("tavik/dosdevices"));
    std::filesystem::create_symlink(device, tree.Path("tavik/dosdevices/com" + std::to_string(n)));
  }
  void UnlinkPort(int n) { tree.Remove("tavik/dosdevices/com" + std::to_string(n)); }
  void WriteProcessorData() {
    tree.Write("proc/cpuinfo", CpuInfo);
    tree.Write("proc/meminfo", "MemTotal:        8041236 kB\nMemFree:         1234567 kB\n");
  }
};

TEST_F(PortsReportTest, NoPortsNoVersionNoSummary) {
  BuildPortsReport();
  EXPECT_EQ(std::string(PortsReport), std::string(Stars30) + "COMM PORTS found(NONE)\n" + Stars32);
  EXPECT_EQ(identityBox.Text(), "I am therapist (192.168.10.1)");
}

TEST_F(PortsReportTest, FreeAndBusyPortsWithVersionAndSummary) {
  WriteProcessorData();
  tree.Write("tavik/bin/tconfig.", "Tavik 5.2.1 (2026-11)\nsecond line is not read\n");
  FakePort com1, com3;
  LinkPort(1, com1.device);
  LinkPort(3, com3.device);
  int held = open(com3.device.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);

  BuildPortsReport();
  close(held);
  EXPECT_EQ(std::string(PortsReport),
            "Version       : Tavik 5.2.1 (2026-11)\n"
            "Cores=2,Procs=4,Speed=2400,Mem=8041236\nCPU=Test CPU 3000\n" +
                std::string(Stars30) + "COMM PORTS found(2)\n   COM1  \n   COM3 *\n" + Stars32);
  EXPECT_EQ(ComPortTable[0], 3);
  EXPECT_EQ(ComPortTable[1], PortFree);
  EXPECT_EQ(ComPortTable[2], PortAbsent);
  EXPECT_EQ(ComPortTable[3], PortBusy);
}

TEST_F(PortsReportTest, VersionLineWithoutLineFeedRunsIntoThePortHead) {
  tree.Write("tavik/BIN/Tconfig.", "5.3");
  BuildPortsReport();
  EXPECT_EQ(std::string(PortsReport), "Version       : 5.3" + std::string(Stars30) + "COMM PORTS found(NONE)\n" + Stars32);

  tree.Write("tavik/BIN/Tconfig.", "");
  BuildPortsReport();
  EXPECT_EQ(std::string(PortsReport), "Version       : " + std::string(Stars30) + "COMM PORTS found(NONE)\n" + Stars32);
}

TEST_F(PortsReportTest, OverlongVersionLineIsCut) {
  tree.Write("tavik/BIN/Tconfig.", std::string(5000, 'v') + "\n");
  BuildPortsReport();
  EXPECT_EQ(std::string(PortsReport), "Version       : " + std::string(259, 'v') + Stars30 + "COMM PORTS found(NONE)\n" + Stars32);
}

TEST_F(PortsReportTest, RescanForgetsPortsThatDisappeared) {
  FakePort com1, com3;
  LinkPort(1, com1.device);
  LinkPort(3, com3.device);
  BuildPortsReport();
  EXPECT_TRUE(ComPortExists(3));

  UnlinkPort(3);
  BuildPortsReport();
  EXPECT_FALSE(ComPortExists(3));
  EXPECT_EQ(std::string(PortsReport), std::string(Stars30) + "COMM PORTS found(1)\n   COM1  \n" + Stars32);

  UnlinkPort(1);
  BuildPortsReport();   // the highest port found stays from the last scan, but every state is absent
  EXPECT_FALSE(ComPortExists(1));
  EXPECT_EQ(std::string(PortsReport), std::string(Stars30) + "COMM PORTS found(NONE)\n" + Stars32);
}

TEST_F(PortsReportTest, ScanPortsAndConfigShowsOnlyTheReportAndRereadsSettings) {
  ScopedEnv dumpEnv("TAVIK_PANE_DUMP", tree.Path("pane.txt"));
  tree.Write("tavik/PREFERENCES/SETTINGS/DEVS.NIN", "DisplayMode=2\n");
  outputPane.Append("left over from the last action\n");
  BuildPortsReport();
  EXPECT_STREQ(outputPane.Text(), "");

  outputPane.Append("left over again\n");
  ScanPortsAndConfig();
  EXPECT_STREQ(outputPane.Text(), PortsReport);
  EXPECT_EQ(ReadWholeFile(tree.Path("pane.txt")), PortsReport);
  EXPECT_EQ(deviceSettings.displayMode, 2);
}

TEST_F(PortsReportTest, SummaryIsLeftOutUntilProcessorDataCanBeRead) {
  BuildPortsReport();
  EXPECT_EQ(std::string(PortsReport).find("Cores="), std::string::npos);
  WriteProcessorData();
  BuildPortsReport();
  EXPECT_NE(std::string(PortsReport).find("Cores=2,Procs=4,Speed=2400,Mem=8041236\n"), std::string::npos);
}

}  // namespace
