// The amplifier check over fake sysfs trees and pseudo-terminals, and linkprobe's windowless
// start-up test run as a user runs it.
#include "amplifier_check.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "serial/serial_baud_linux.h"
#include "probe_tree_support.h"
#include "serial_test_support.h"

namespace {

using probetest::Introduction;
const char* const ProSbAdvice =
    "You should receive characters with few errors if the ProComp was ON\nYou shouldn't receive characters if "
    "it was OFF\n  (maybe the wrong channel?)\n";

using Outcome = std::pair<int, std::string>;

class AmplifierCheck : public ProbeTreeTest {
 protected:
  void Configure(const std::string& source, const std::string& extra = "") {
    WriteDevs("Input_Source = " + source + "\n" + extra);
  }
  // Runs the windowless form of the check and expects the list emptied afterwards: its result and pane.
  Outcome Check() {
    int result = TestConfiguredAmplifier(state, 0);
    EXPECT_EQ(state.pnpDevices.count, 0);
    EXPECT_EQ(state.pnpDevices.head, nullptr);
    return {result, Pane()};
  }
};

TEST_F(AmplifierCheck, TtusbPluggedInIsFoundAndTheInteractiveFormIntroducesItself) {
  Configure("TTUSB");
  AddUsb("1-2", "0403", "ff20", "TTUSB");
  EXPECT_EQ(TestConfiguredAmplifier(state, 1), AmplifierFound);
  EXPECT_EQ(Pane(), std::string(Introduction) + "\nExamining TTUSB\nLooks like a TTUSB is plugged in\n\nDone\n");
  EXPECT_EQ(state.pnpDevices.count, 0);
}

TEST_F(AmplifierCheck, TtusbMissingIsUnhandledAfterTheOtherAmplifiersPass) {
  Configure("TTUSB");
  AddUsb("1-1", "0403", "6001", "FT232R");  // same vendor, another product: not a TTUSB
  AddUsb("1-2", "0ea9", "0002", "C2+");
  EXPECT_EQ(
      Check(),
      Outcome(AmplifierNotFound,
              "\nExamining TTUSB\nChecking other amplifiers\nJ&J amplifier found\nUnhandled device : TTUSB\n\nDone\n"));
}

TEST_F(AmplifierCheck, JJFamilyByVendorAlone) {
  Configure("C2+");
  AddUsb("3-1", "0ea9", "1234", "J&J");
  EXPECT_EQ(Check(), Outcome(AmplifierFound, "\nExamining C2+\n\nDone\n"));

  tree.Remove("sys/bus/usb/devices/3-1/idVendor");
  EXPECT_EQ(Check(), Outcome(AmplifierNotFound,
                             "\nExamining C2+\nUnable to locate J&J device\nChecking other amplifiers\n\nDone\n"));
}

TEST_F(AmplifierCheck, AtlantisOnAnotherPortIsFoundWithThePortWarnings) {
  Configure("Atlantis", "ProComp = COM4\n");
  AddUsb("1-4", "0ac2", "0011", "Atlantis", "ttyUSB0");
  LinkCom(7, "/dev/ttyUSB0");
  state.ports[4] = PortFree;
  EXPECT_EQ(Check(),
            Outcome(AmplifierFound, "\nExamining Atlantis\nActual port is COM7 and not COM4 as specified\n\nDone\n"));

  state.ports[4] = PortAbsent;
  EXPECT_EQ(Check(), Outcome(AmplifierFound,
                             "\nExamining Atlantis\nCOM4 specified is not a valid com port\n"
                             "Actual port is COM7 and not COM4 as specified\n\nDone\n"));
}

TEST_F(AmplifierCheck, WizMissingStillChecksTheConfiguredPort) {
  Configure("Wiz", "ProComp = COM40\n");
  AddUsb("1-1", "0c72", "0012", "PCAN-USB");  // a Q20 adapter of another product: the pass wants PID_000C
  EXPECT_EQ(Check(), Outcome(AmplifierNotFound,
                             "\nExamining Wiz\nUnable to locate *-Wiz device\nCOM40 specified is not a valid com port\n"
                             "Checking other amplifiers\n\nDone\n"));
}

TEST_F(AmplifierCheck, EsiProWithProduct1100HasTheWrongDrivers) {
  Configure("esiPRO");
  AddUsb("2-1", "1167", "1100", "esiPRO");
  EXPECT_EQ(Check(), Outcome(AmplifierNotFound,
                             "\nExamining esiPRO\nHmmm... looks like the esiPro/A200/A400 drivers not correct\n"
                             "Checking other amplifiers\nesiPro/A400/A200 found\n\nDone\n"));

  tree.Write("sys/bus/usb/devices/2-1/idProduct", "2000\n");
  EXPECT_EQ(Check(), Outcome(AmplifierFound, "\nExamining esiPRO\n\nDone\n"));
}

TEST_F(AmplifierCheck, Q20ByVendorAndTheOtherPassByVendorAndProduct) {
  Configure("Q20");
  AddUsb("1-3", "0c72", "0012", "PCAN-USB");
  EXPECT_EQ(Check(), Outcome(AmplifierFound, "\nExamining Q20\n\nDone\n"));

  Configure("A/D");
  tree.Write("sys/bus/usb/devices/1-3/idProduct", "000c\n");
  AddUsb("1-5", "0403", "e958", "Wiz");
  EXPECT_EQ(Check(),
            Outcome(AmplifierNotFound,
                    "\nExamining A/D\nChecking other amplifiers\n*-Wiz device found\nPCAN-USB Q20 device found\n"
                    "Unhandled device : A/D\n\nDone\n"));
}

TEST_F(AmplifierCheck, FamiliesWithoutACheckStayUnhandled) {
  for (const char* source : {"A/D", "PET2.0", "QPET", "Pendant"}) {
    Configure(source);
    EXPECT_EQ(Check(), Outcome(AmplifierNotFound, std::string("\nExamining ") + source +
                                                      "\nChecking other amplifiers\nUnhandled device : " + source +
                                                      "\n\nDone\n"))
        << source;
  }
}

TEST_F(AmplifierCheck, LookupsTakeTheFirstMatchOfOneQueryPerCheck) {
  AddUsb("1-1", "0403", "6001", "first");
  AddUsb("1-2", "0403", "ff20", "second");
  const PnpDeviceEntry* any = FindPnpDevice(state.pnpDevices, state.pane, "VID_0403");
  ASSERT_NE(any, nullptr);
  EXPECT_EQ(any->name, "first");
  const PnpDeviceEntry* ttusb = FindPnpDevice(state.pnpDevices, state.pane, "VID_0403", "PID_FF20");
  ASSERT_NE(ttusb, nullptr);
  EXPECT_EQ(ttusb->name, "second");
  EXPECT_EQ(FindPnpDevice(state.pnpDevices, state.pane, "vid_0403"), nullptr);  // the tests are case-sensitive
  // One query per check: a device plugged in meanwhile is seen by the next check only.
  AddUsb("1-3", "0ea9", "0001", "late");
  EXPECT_EQ(FindPnpDevice(state.pnpDevices, state.pane, "VID_0EA9"), nullptr);
  EXPECT_EQ(state.pnpDevices.count, 2);
  EXPECT_EQ(FindPnpDevice(state.pnpDevices, state.pane, nullptr), nullptr);
  EXPECT_EQ(state.pnpDevices.count, 0);
}

TEST_F(AmplifierCheck, ProSbOnAMissingPortIsUnhandled) {
  Configure("ProSB", "ProComp = COM3\n");
  EXPECT_EQ(Check(), Outcome(AmplifierNotFound,
                             "\nExamining ProSB\nCOM3 specified is not a valid com port\nChecking other amplifiers\n"
                             "Unhandled device : ProSB\n\nDone\n"));
}

TEST_F(AmplifierCheck, ProSbThatCannotBeOpenedReportsTheLinkCode) {
  Configure("ProSB", "ProComp = COM3\n");
  state.ports[3] = PortFree;  // the scan saw it, but the device is gone now
  EXPECT_EQ(Check().first, AmplifierNotFound);
  EXPECT_EQ(Pane().rfind("\nExamining ProSB\nError connecting to COM3 (", 0), 0u) << Pane();
  EXPECT_NE(Pane().find("Unhandled device : ProSB\n"), std::string::npos);
}

// The encoder stand-in: the master side of a pseudo-terminal whose slave is the configured port.
class ProSbProbe : public AmplifierCheck {
 protected:
  PtyPair pty;
  std::atomic<uint32_t> baudSeen{0};
  std::thread encoder;

  void SetUp() override {
    AmplifierCheck::SetUp();
    LinkCom(2, pty.slavePath());
    state.ports[2] = PortFree;
  }
  void TearDown() override {
    if (encoder.joinable()) encoder.join();
    AmplifierCheck::TearDown();
  }
  // Waits until the probe has set its line speed, notes it, and then sends `bytes` bytes. The line
  // starts at a speed the probe never uses (a new pseudo-terminal is at 38400 already).
  void StartEncoder(size_t bytes) {
    ASSERT_TRUE(SerialSetBaudRate(pty.master(), 1200));
    encoder = std::thread([this, bytes] {
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      uint32_t baud = 0;
      while (std::chrono::steady_clock::now() < deadline &&
             !(SerialGetBaudRate(pty.master(), baud) && (baud == 19200 || baud == 38400)))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      baudSeen = baud;
      if (bytes > 0) pty.send(Pattern(bytes));
    });
  }
};

TEST_F(ProSbProbe, BytesFromTheEncoderAt19200MeanFound) {
  Configure("ProSB", "ProComp = COM2\n");
  WriteDevOpts("ProCompProtocol = Bluetooth\n");
  StartEncoder(300);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Check().first, AmplifierFound);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(9900));
  EXPECT_EQ(baudSeen, 19200u);
  EXPECT_EQ(Pane(), std::string("\nExamining ProSB\nReceived 300 characters with 0 errors from the ProSB\n") +
                        ProSbAdvice + "\nDone\n");
}

// Run as the start-up test: while the probe listens, a link to another file is planted where the status
// file will go; the status file takes the link's place and the other file is left alone.
TEST_F(ProSbProbe, SilenceAt38400MeansNotFoundButHandled) {
  Configure("ProSB", "ProComp = COM2\n");
  tree.Write("victim", "not ours\n");
  tree.Write("ampstatus.txt", "from an earlier start\n");
  std::thread planter([this] {
    for (int i = 0; i < 500 && std::filesystem::exists(tree.Path("ampstatus.txt")); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::error_code planted;
    std::filesystem::create_symlink(tree.Path("victim"), tree.Path("ampstatus.txt"), planted);
  });
  StartEncoder(0);
  EXPECT_EQ(RunStartupTest(state), AmplifierNotFound);
  planter.join();
  EXPECT_EQ(state.pnpDevices.count, 0);
  EXPECT_EQ(state.pnpDevices.head, nullptr);
  EXPECT_EQ(baudSeen, 38400u);
  EXPECT_EQ(Pane(), std::string("\nExamining ProSB\nReceived 0 characters with 0 errors from the ProSB\n") +
                        ProSbAdvice + "Checking other amplifiers\n\nDone\n");
  EXPECT_EQ(probetest::ReadWholeFile(tree.Path("victim")), "not ours\n");
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(tree.Path("ampstatus.txt"))));
  EXPECT_EQ(probetest::ReadWholeFile(tree.Path("ampstatus.txt")), Pane());
}

// linkprobe STARTUPTEST in the tree, without any display.
using StartupTest = AmplifierCheck;

TEST_F(StartupTest, AmplifierPresentExitsZeroAndLeavesNoStatusFile) {
  Configure("TTUSB");
  AddUsb("1-2", "0403", "ff20", "TTUSB");
  tree.Write("ampstatus.txt", "from an earlier start\n");
  EXPECT_EQ(RunLinkProbe("STARTUPTEST"), 0);
  EXPECT_FALSE(std::filesystem::exists(tree.Path("ampstatus.txt")));
}

TEST_F(StartupTest, AmplifierAbsentExitsOneWithThePaneInTheStatusFile) {
  Configure("TTUSB");
  EXPECT_EQ(RunLinkProbe("STARTUPTEST"), 1);
  EXPECT_EQ(probetest::ReadWholeFile(tree.Path("ampstatus.txt")),
            "\nExamining TTUSB\nChecking other amplifiers\nUnhandled device : TTUSB\n\nDone\n");
}

TEST_F(StartupTest, ProSbOnAPortTheScanDoesNotFindExitsOne) {
  // The start-up test scans the ports itself: COM2 points at nothing.
  Configure("ProSB", "ProComp = COM2\n");
  LinkCom(2, tree.Path("no-such-device"));
  EXPECT_EQ(RunLinkProbe("STARTUPTEST"), 1);
  EXPECT_EQ(probetest::ReadWholeFile(tree.Path("ampstatus.txt")),
            "\nExamining ProSB\nCOM2 specified is not a valid com port\nChecking other amplifiers\n"
            "Unhandled device : ProSB\n\nDone\n");
}

}  // namespace
