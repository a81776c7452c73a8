// The ports and configuration report, byte for byte, over a scratch suite tree, fake sysfs/procfs
// trees and pseudo-terminals linked as COM ports; the suite's files that are only read, with FIFOs
// planted in their place.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
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

// The port list between its two lines of stars, `found` the count or NONE.
std::string PortList(const std::string& found, const std::string& ports = "") {
  return "******************************\nCOMM PORTS found(" + found + ")\n" + ports +
         "********************************\n";
}
const std::string NoPorts = PortList("NONE");

// Two packages of one core each with two threads, as /proc/cpuinfo lists them.
std::string CpuInfo() {
  std::string info;
  for (const char* processor : {"0\n", "1\n", "2\n", "3\n"}) {
    info += std::string("processor\t: ") + processor + "model name\t: Test CPU 3000\ncpu MHz\t\t: 2400.000\n" +
            "physical id\t: " + (processor[0] < '2' ? "0" : "1") + "\ncore id\t\t: 0\ncpu cores\t: 1\n\n";
  }
  return info;
}

const HostNetworkSource FakeNetwork = {
    [](char* buffer, std::size_t size) {
      std::snprintf(buffer, size, "therapist");
      return true;
    },
    [](std::vector<InterfaceAddress>& out) {
      out = {{"lo", 1, true, true, {127, 0, 0, 1}}, {"eth0", 2, true, false, {192, 168, 10, 1}}};
      return true;
    },
    [](const char*, std::uint8_t*) { return false; }};

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

  void LinkPort(int n, const std::string& device) { tree.Link("tavik/dosdevices/com" + std::to_string(n), device); }
  void UnlinkPort(int n) { tree.Remove("tavik/dosdevices/com" + std::to_string(n)); }
  void WriteProcessorData() {
    tree.Write("proc/cpuinfo", CpuInfo());
    tree.Write("proc/meminfo", "MemTotal:        8041236 kB\nMemFree:         1234567 kB\n");
  }
  std::string Report() {
    BuildPortsReport(state);
    return state.portsReport;
  }
};

TEST_F(PortsReportTest, NoPortsNoVersionNoSummary) {
  EXPECT_EQ(Report(), NoPorts);
  EXPECT_EQ(state.identity.Text(), "I am therapist (192.168.10.1)");
}

TEST_F(PortsReportTest, FreeAndBusyPortsWithVersionAndSummary) {
  WriteProcessorData();
  tree.Write("tavik/bin/tconfig.", "Tavik 5.2.1 (2026-11)\nsecond line is not read\n");
  FakePort com1, com3;
  LinkPort(1, com1.device);
  LinkPort(3, com3.device);
  probetest::HeldPort held(com3.device);
  ASSERT_TRUE(held.locked);

  EXPECT_EQ(Report(),
            "Version       : Tavik 5.2.1 (2026-11)\nCores=2,Procs=4,Speed=2400,Mem=8041236\n"
            "CPU=Test CPU 3000\n" +
                PortList("2", "   COM1  \n   COM3 *\n"));
  EXPECT_EQ(state.ports[0], 3);
  EXPECT_EQ(state.ports[1], PortFree);
  EXPECT_EQ(state.ports[2], PortAbsent);
  EXPECT_EQ(state.ports[3], PortBusy);
}

TEST_F(PortsReportTest, VersionLineWithoutLineFeedRunsIntoThePortHead) {
  tree.Write("tavik/BIN/Tconfig.", "5.3");
  EXPECT_EQ(Report(), "Version       : 5.3" + NoPorts);
  tree.Write("tavik/BIN/Tconfig.", "");
  EXPECT_EQ(Report(), "Version       : " + NoPorts);
  tree.Remove("tavik/BIN/Tconfig.");
  tree.Write("tavik/BIN/Tconfig", "5.4\n");  // the file's name on Windows, which drops the trailing dot
  EXPECT_EQ(Report(), "Version       : 5.4\n" + NoPorts);
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
  EXPECT_EQ(std::string(state.portsReport), NoPorts);
}

TEST_F(PortsReportTest, OverlongVersionLineIsCut) {
  tree.Write("tavik/BIN/Tconfig.", std::string(5000, 'v') + "\n");
  EXPECT_EQ(Report(), "Version       : " + std::string(259, 'v') + NoPorts);
}

TEST_F(PortsReportTest, RescanForgetsPortsThatDisappeared) {
  FakePort com1, com3;
  LinkPort(1, com1.device);
  LinkPort(3, com3.device);
  Report();
  EXPECT_TRUE(ComPortExists(state.ports, 3));

  UnlinkPort(3);
  EXPECT_EQ(Report(), PortList("1", "   COM1  \n"));
  EXPECT_FALSE(ComPortExists(state.ports, 3));

  UnlinkPort(1);
  EXPECT_EQ(Report(), NoPorts);  // the highest port found stays from the last scan, but every state is absent
  EXPECT_FALSE(ComPortExists(state.ports, 1));
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
  EXPECT_EQ(Report().find("Cores="), std::string::npos);
  WriteProcessorData();
  EXPECT_NE(Report().find("Cores=2,Procs=4,Speed=2400,Mem=8041236\n"), std::string::npos);
}

}  // namespace
