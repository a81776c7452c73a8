// A suite installation for the linkprobe action tests: a scratch tree that TAVIK_ROOT, TAVIK_SYSFS and
// TAVIK_PROCFS point at and that is the current directory, settings files, USB devices and COM links,
// the program's state, fresh for each test, and linkprobe itself (LINKPROBE_PATH) run on the tree.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "child_process.h"
#include "probe_state.h"
#include "probe_test_support.h"

namespace probetest {

// The opening of the amplifier check that its button runs.
inline const char* const Introduction =
    "These tests are just to confirm something is there!  Actual 'testing' must be\nperformed with the "
    "Amplifier/Encoder Test in Tavik->Tools\n";

}  // namespace probetest

class ProbeTreeTest : public ::testing::Test {
 protected:
  probetest::ScratchTree tree;
  ProbeState state;

  void SetUp() override {
    ASSERT_FALSE(tree.Root().empty());
    tree.Write("sys/class/tty/.keep", "");
    tree.Write("sys/bus/usb/devices/.keep", "");
    tree.Write("proc/.keep", "");
    std::strcpy(state.portsReport, "ports report\n");
  }
  void TearDown() override { EXPECT_EQ(state.gameLink, nullptr) << "the action left its link behind"; }

  void WriteDevs(const std::string& text) { tree.Write("tavik/PREFERENCES/SETTINGS/DEVS.NIN", text); }
  void WriteDevOpts(const std::string& text) { tree.Write("tavik/PREFERENCES/SETTINGS/DEVOPTS.NIN", text); }

  // A USB device as sysfs shows it; `tty` names the serial port of its first interface, if any.
  void AddUsb(const std::string& name, const std::string& vendor, const std::string& product, const std::string& label,
              const std::string& tty = "") {
    const std::string dir = "sys/bus/usb/devices/" + name + "/";
    tree.Write(dir + "idVendor", vendor + "\n");
    tree.Write(dir + "idProduct", product + "\n");
    tree.Write(dir + "product", label + "\n");
    if (!tty.empty()) tree.Write(dir + name + ":1.0/" + tty + "/.keep", "");
  }

  // Makes COMn the given device file.
  void LinkCom(int n, const std::string& device) { tree.Link("tavik/dosdevices/com" + std::to_string(n), device); }

  std::string Pane() const { return state.pane.Text(); }

  // linkprobe with `word` in the tree, as a user starts it without any display, its standard output in
  // the file `output`: its exit code.
  int RunLinkProbe(const std::string& word, const std::string& output = "/dev/null") {
    std::vector<std::string> env = {"TAVIK_ROOT=" + tree.Path("tavik"), "TAVIK_SYSFS=" + tree.Path("sys"),
                                    "TAVIK_PROCFS=" + tree.Path("proc"), "PATH=/usr/bin:/bin"};
    for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
      if (const char* value = std::getenv(keep)) env.push_back(std::string(keep) + "=" + value);
    ChildStart start{env};
    start.environmentOnly = true;
    start.directory = tree.Root();
    start.output = ChildOutput::ToFile;
    start.outputFile = output;
    ChildProcess linkprobe(LINKPROBE_PATH, {word}, start);
    return linkprobe.Wait(RunLimitMs);
  }

 private:
  static constexpr int RunLimitMs = 60000;
  probetest::ScopedEnv root_{"TAVIK_ROOT", tree.Path("tavik")}, sysfs_{"TAVIK_SYSFS", tree.Path("sys")},
      procfs_{"TAVIK_PROCFS", tree.Path("proc")};
  ScopedCurrentDirectory here_{tree.Root()};
};
