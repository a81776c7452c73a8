// The ports and configuration report, byte for byte, over a scratch suite tree, fake sysfs/procfs
// trees and pseudo-terminals linked as COM ports; the suite's files that are only read, with FIFOs
// planted in their place.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "device_settings.h"
#include "fake_port.h"
#include "ports_report.h"
#include "probe_state.h"
#include "probe_test_support.h"
#include "sysutil/host_address.h"

namespace {

using probetest::FakePort;
using probetest::ReadWholeFile;
using probetest::ScopedEnv;
using probetest::ScratchTree;

// Makes each of `fifos` a FIFO that no one writes to, runs `read`, and returns whether it ended within a
// few seconds. A reader caught in one is then set free (the FIFO opened for writing and closed, so that it
// reads an empty file), so that the test fails instead of hanging.
bool EndsDespiteFifos(const std::vector<std::string>& fifos, const std::function<void()>& read) {
  for (const std::string& fifo : fifos) mkfifo(fifo.c_str(), 0600);
  std::future<void> done = std::async(std::launch::async, read);
  const bool ended = done.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    for (const std::string& fifo : fifos) {
      const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) close(writer);
    }
  }
  return ended;
}

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
  ProbeState state;

  void SetUp() override {
    tree.Write("sys/class/tty/.keep", "");  // no machine ports: only the linked ones count
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
  BuildPortsReport(state);
  EXPECT_EQ(std::string(state.portsReport), std::string(Stars30) + "COMM PORTS found(NONE)\n" + Stars32);
  EXPECT_EQ(state.identity.Text(), "I am therapist (192.168.10.1)");
}

TEST_F(PortsReportTest, FreeAndBusyPortsWithVersionAndSummary) {
  WriteProcessorData();
  tree.Write("tavik/bin/tconfig.", "Tavik 5.2.1 (2026-11)\nsecond line is not read\n");
  FakePort com1, com3;
  LinkPort(1, com1.device);
  LinkPort(3, com3.device);
  int held = open(com3.device.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);

  BuildPortsReport(state);
  close(held);
  EXPECT_EQ(std::string(state.portsReport),
            "Version       : Tavik 5.2.1 (2026-11)\n"
            "Cores=2,Procs=4,Speed=2400,Mem=8041236\nCPU=Test CPU 3000\n" +
                std::string(Stars30) + "COMM PORTS found(2)\n   COM1  \n   COM3 *\n" + Stars32);
  EXPECT_EQ(state.ports[0], 3);
  EXPECT_EQ(state.ports[1], PortFree);
  EXPECT_EQ(state.ports[2], PortAbsent);
  EXPECT_EQ(state.ports[3], PortBusy);
}

TEST_F(PortsReportTest, VersionLineWithoutLineFeedRunsIntoThePortHead) {
  tree.Write("tavik/BIN/Tconfig.", "5.3");
  BuildPortsReport(state);
  EXPECT_EQ(std::string(state.portsReport),
            "Version       : 5.3" + std::string(Stars30) + "COMM PORTS found(NONE)\n" + Stars32);

  tree.Write("tavik/BIN/Tconfig.", "");
  BuildPortsReport(state);
  EXPECT_EQ(std::string(state.portsReport),
            "Version       : " + std::string(Stars30) + "COMM PORTS found(NONE)\n" + Stars32);

  tree.Remove("tavik/BIN/Tconfig.");
  tree.Write("tavik/BIN/Tconfig", "5.4\n");  // the file's name on Windows, which drops the trailing dot
  BuildPortsReport(state);
  EXPECT_EQ(std::string(state.portsReport),
            "Version       : 5.4\n" + std::string(Stars30) + "COMM PORTS found(NONE)\n" + Stars32);
}

// A FIFO in place of a settings file or the version file is passed over at once, as a missing file is.
TEST_F(PortsReportTest, FifosInPlaceOfTheSuitesFilesAreSkippedAtOnce) {
  tree.Write("tavik/BIN/SETTINGS/DEVS.NIN", "ProComp = COM7\n");
  tree.Dir("tavik/PREFERENCES/SETTINGS");
  const std::vector<std::string> settings = {tree.Path("tavik/PREFERENCES/SETTINGS/DEVS.NIN"),
                                             tree.Path("tavik/PREFERENCES/SETTINGS/DEVOPTS.NIN")};
  EXPECT_TRUE(EndsDespiteFifos(settings, [&] { ReadDeviceSettingsInto(state.settings); }));
  EXPECT_EQ(state.settings.amplifierPort, 7) << "the copy in BIN, as when the preferences hold none";

  EXPECT_TRUE(EndsDespiteFifos({tree.Path("tavik/BIN/Tconfig.")}, [&] { BuildPortsReport(state); }));
  EXPECT_EQ(std::string(state.portsReport), std::string(Stars30) + "COMM PORTS found(NONE)\n" + Stars32);
}

TEST_F(PortsReportTest, OverlongVersionLineIsCut) {
  tree.Write("tavik/BIN/Tconfig.", std::string(5000, 'v') + "\n");
  BuildPortsReport(state);
  EXPECT_EQ(std::string(state.portsReport),
            "Version       : " + std::string(259, 'v') + Stars30 + "COMM PORTS found(NONE)\n" + Stars32);
}

TEST_F(PortsReportTest, RescanForgetsPortsThatDisappeared) {
  FakePort com1, com3;
  LinkPort(1, com1.device);
  LinkPort(3, com3.device);
  BuildPortsReport(state);
  EXPECT_TRUE(ComPortExists(state.ports, 3));

  UnlinkPort(3);
  BuildPortsReport(state);
  EXPECT_FALSE(ComPortExists(state.ports, 3));
  EXPECT_EQ(std::string(state.portsReport), std::string(Stars30) + "COMM PORTS found(1)\n   COM1  \n" + Stars32);

  UnlinkPort(1);
  BuildPortsReport(state);  // the highest port found stays from the last scan, but every state is absent
  EXPECT_FALSE(ComPortExists(state.ports, 1));
  EXPECT_EQ(std::string(state.portsReport), std::string(Stars30) + "COMM PORTS found(NONE)\n" + Stars32);
}

TEST_F(PortsReportTest, ScanPortsAndConfigShowsOnlyTheReportAndRereadsSettings) {
  ScopedEnv dumpEnv("TAVIK_PANE_DUMP", tree.Path("pane.txt"));
  tree.Write("tavik/PREFERENCES/SETTINGS/DEVS.NIN", "DisplayMode=2\n");
  state.pane.Append("left over from the last action\n");
  BuildPortsReport(state);
  EXPECT_STREQ(state.pane.Text(), "");

  state.pane.Append("left over again\n");
  ScanPortsAndConfig(state);
  EXPECT_STREQ(state.pane.Text(), state.portsReport);
  EXPECT_EQ(ReadWholeFile(tree.Path("pane.txt")), state.portsReport);
  EXPECT_EQ(state.settings.displayMode, 2);
}

TEST_F(PortsReportTest, SummaryIsLeftOutUntilProcessorDataCanBeRead) {
  BuildPortsReport(state);
  EXPECT_EQ(std::string(state.portsReport).find("Cores="), std::string::npos);
  WriteProcessorData();
  BuildPortsReport(state);
  EXPECT_NE(std::string(state.portsReport).find("Cores=2,Procs=4,Speed=2400,Mem=8041236\n"), std::string::npos);
}

}  // namespace
