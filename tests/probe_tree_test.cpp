// linkprobe's actions over a suite installation on Linux: the amplifier check over
// fake sysfs trees and pseudo-terminals; the game link's Linux-only tests (serial game ports over
// pseudo-terminals and a simulated null-modem cable, the resolver's own words, gameecho stopped by a
// signal); linkprobe REPORT and STARTUPTEST run as a user runs them; linkping over a pseudo-terminal pair;
// and the local reward sound played into ALSA's file plugin through a private configuration, compared frame
// for frame with the wave file it came from. Each test runs in a network namespace of its own (see
// in_network_namespace.sh), as the shared ones do, so that all may listen on the game link's fixed port.
#include <gtest/gtest.h>
#include <netdb.h>
#include <signal.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "amplifier_check.h"
#include "child_process.h"
#include "fake_port.h"
#include "game_communications.h"
#include "link/link.h"
#include "null_modem.h"
#include "ports_report.h"
#include "probe_state.h"
#include "probe_test_support.h"
#include "scripted_game_computer.h"
#include "serial/serial_baud_linux.h"
#include "serial_test_support.h"

namespace {

// A scratch tree that TAVIK_ROOT, TAVIK_SYSFS and TAVIK_PROCFS point at and that is the current directory,
// with settings files, USB devices and COM links, the program's state, fresh for each test, and linkprobe
// itself (LINKPROBE_PATH) run on the tree.
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

// The opening of the amplifier check that its button runs.
const char* const Introduction =
    "These tests are just to confirm something is there!  Actual 'testing' must be\nperformed with the "
    "Amplifier/Encoder Test in Tavik->Tools\n";

// gameecho on the tree's suite folder.
struct GameEcho : ConsoleProgram {
  explicit GameEcho(const std::string& root) : ConsoleProgram(GAMEECHO_PATH, {}, {"TAVIK_ROOT=" + root}) {}
  // Asks it to stop as the system does at shut-down (SIGTERM); its exit code, or -1 when it does not
  // end in time.
  int Stop() {
    const bool asked = process().started() && kill(static_cast<pid_t>(process().Id()), SIGTERM) == 0;
    return asked ? process().Wait(StopMilliseconds) : -1;
  }
  static constexpr int StopMilliseconds = 10000;
};

std::string ResolverText(const char* address, int flags) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  int result = getaddrinfo(address, nullptr, &hints, &found);
  if (result == 0) freeaddrinfo(found);
  return result == 0 ? "resolved" : gai_strerror(result);
}

using GameTreeTest = ProbeTreeTest;

TEST_F(GameTreeTest, GameEchoEndsCleanlyWhenAskedToStop) {
  GameEcho echo(tree.Path("tavik"));
  ASSERT_TRUE(echo.WaitFor("listening on port 5510")) << echo.output();
  EXPECT_EQ(echo.Stop(), 0);
}

TEST_F(GameTreeTest, AddressesThatDoNotResolveAreCode13WithTheResolversText) {
  for (auto [address, flags] : {std::pair{"192.168.10.256", AI_NUMERICHOST}, {"no-such-game-host.invalid", 0}}) {
    WriteDevs(std::string("DisplayMode = 2\nEthernetAddress = ") + address + "\n");
    EXPECT_EQ(ConnectOnce(state), 13);
    EXPECT_EQ(Pane(), std::string("INVALID ethernet buddy computer : ") + address + "\n==>" +
                          ResolverText(address, flags) + "\n");
  }
}

TEST_F(GameTreeTest, SerialPortFoundByTheScanButGoneSinceIsCode5) {
  WriteDevs("DisplayMode = 2\nCommunications_class = Serial\nGame_comm = COM5\n");
  state.ports[5] = PortFree;  // found by the last scan, gone since
  EXPECT_EQ(ConnectOnce(state), 5);
  EXPECT_EQ(Pane().rfind("UNABLE to connect to serial port COM5\n  : ", 0), 0u) << Pane();
}

TEST_F(GameTreeTest, SerialPortWithoutDsrIsCode6AndIsClosedAgain) {
  PtyPair pty;
  LinkCom(2, pty.slavePath());
  state.ports[2] = PortFree;
  WriteDevs("DisplayMode = 2\nCommunications_class = Serial\nGame_comm = COM2\n");
  EXPECT_EQ(ConnectOnce(state), 6);
  EXPECT_EQ(Pane(), "NOTHING seems to be responding on game machine\nIs the game menu not running?\n");
  EXPECT_TRUE(probetest::HeldPort(pty.slavePath()).locked) << "the port was left held";
}

TEST_F(GameTreeTest, SerialGameComputerThatAnswersWorks) {
  null_modem::Install(1, 2);  // our COM2 to the game computer's COM3
  LinkConnection* game = LinkCreate();
  ASSERT_EQ(LinkConnect(game, "serial", "COM3", 115200, 0), 0);
  std::atomic<bool> stop{false};
  std::thread answerer([&] {
    std::uint8_t message[LinkReceiveBufferSize];
    while (!stop) {
      if (LinkReceive(game, -1, message, sizeof message) > 0 && message[0] == 224 && message[1] == 4)
        LinkSend(game, message, 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  state.ports[2] = PortFree;
  WriteDevs("DisplayMode = 2\nCommunications_class = Serial\nGame_comm = COM2\n");
  TestGameCommunications(state);
  stop = true;
  answerer.join();
  EXPECT_EQ(null_modem::Baud(1), 115200u);
  EXPECT_FALSE(null_modem::Open(1)) << "the game port was left open";
  LinkRelease(game);
  null_modem::Uninstall();
  EXPECT_EQ(Pane(), "ports report\nSerial game communication seems to be working\n");
}

// Without a display, against gameecho and the TTUSB of the fake tree: the start-up's report as the window
// shows it, then the two tests under their buttons' names; each test that fails sets its bit.
TEST_F(GameTreeTest, ReportWritesTheWindowsFindingsInOrderAndFailedTestsAsBits) {
  WriteDevs("DisplayMode = 2\nCommunications_class = Ethernet\nEthernetAddress = 127.0.0.1\nInput_Source = TTUSB\n");
  tree.Write("tavik/BIN/Tconfig.", "Tavik 5.2 demo\n");
  AddUsb("1-2", "0403", "ff20", "TTUSB");
  ScanPortsAndConfig(state);
  const std::string startup = state.identity.Text() + "\n" + Pane();
  ASSERT_EQ(startup.find("Version       : Tavik 5.2 demo"), startup.find('\n') + 1) << startup;
  const std::string report = tree.Path("report.txt");
  auto reported = [&] { return probetest::ReadWholeFile(report); };

  GameEcho echo(tree.Path("tavik"));
  ASSERT_TRUE(echo.WaitFor("listening on port 5510")) << echo.output();
  EXPECT_EQ(RunLinkProbe("REPORT", report), 0);
  EXPECT_TRUE(echo.WaitFor("Message 224/4")) << echo.output();
  const std::string text = reported();
  EXPECT_EQ(text.rfind("Tavik Comm Check ", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.find('\n') + 1),
            startup + "\n--- Test  Game Communications ---\nEthernet game communication seems to be working\n" +
                "\n--- Test Configured Amplifier ---\n" + Introduction +
                "\nExamining TTUSB\nLooks like a TTUSB is plugged in\n\nDone\n");

  tree.Remove("sys/bus/usb/devices/1-2/idVendor");
  EXPECT_EQ(RunLinkProbe("REPORT", report), 2);
  EXPECT_NE(reported().find("seems to be working\n\n--- Test Configured Amplifier ---\n"), std::string::npos)
      << reported();
  EXPECT_NE(reported().find("Unhandled device : TTUSB\n"), std::string::npos) << reported();

  EXPECT_EQ(echo.Stop(), 0);
  EXPECT_EQ(RunLinkProbe("REPORT", report), 3);
  EXPECT_NE(reported().find("--- Test  Game Communications ---\nFAILURE to connect to game machine\n"),
            std::string::npos)
      << reported();

  tree.Write("sys/bus/usb/devices/1-2/idVendor", "0403\n");
  EXPECT_EQ(RunLinkProbe("REPORT", report), 1);
  EXPECT_NE(reported().find("Looks like a TTUSB is plugged in\n"), std::string::npos) << reported();
}

// The game computer at the far end of the cable echoes two requests; the link writes its record files as
// CMLLOG.INI asks.
TEST_F(GameTreeTest, LinkPingTakesTheSerialGameLinkFromTheSettingsAndRecordsIt) {
  PtyPair pty;
  LinkCom(2, pty.slavePath());
  WriteDevs("DisplayMode = 2\nCommunications_class = Serial\nGame_comm = COM2\n");
  tree.Write("CMLLOG.INI", "RECORD=1\n");
  std::vector<std::uint8_t> first;
  std::thread game([&] {
    for (int i = 0; i < 2; ++i) {
      std::vector<std::uint8_t> request = pty.receive(16, 5000);
      if (i == 0) first = request;
      pty.send(request);
    }
  });
  ConsoleProgram ping(LINKPING_PATH, {"-c", "2", "-i", "0.05"});
  const int status = ping.Finish();
  game.join();
  const std::string& out = ping.output();
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out.rfind("LINKPING COM2 at 115200 baud: echo requests (code 224, subcode 4)\n", 0), 0u) << out;
  EXPECT_NE(out.find("\nreply from COM2: seq=2 time="), std::string::npos) << out;
  // The game test's request, its number behind a marker in the payload, then the link's own sequence number.
  EXPECT_EQ(first, (std::vector<std::uint8_t>{224, 4, 16, 0, 'l', 'p', 'n', 'g', 1, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_GT(std::filesystem::file_size(tree.Path("cmlMRX10.bin")), 0u);
  EXPECT_GT(std::filesystem::file_size(tree.Path("cmlMTX20.bin")), 0u);
}

// A port another program holds and a port the computer does not have: the run ends at once, with why.
TEST_F(GameTreeTest, LinkPingSaysWhenTheSerialPortIsInUseOrMissing) {
  PtyPair pty;
  LinkCom(2, pty.slavePath());
  probetest::HeldPort held(pty.slavePath());
  ASSERT_TRUE(held.locked);
  for (const auto& [port, reason] : {std::pair{"COM2", "linkping: COM2: port in use by another program"},
                                     std::pair{"COM3", "linkping: COM3: no such port on this computer\n"}}) {
    ConsoleProgram ping(LINKPING_PATH, {"-c", "1", port});
    EXPECT_EQ(ping.Finish(), 2) << ping.output();
    EXPECT_EQ(ping.output().rfind(reason, 0), 0u) << ping.output();
  }
}

const char* const ProSbAdvice =
    "You should receive characters with few errors if the ProComp was ON\nYou shouldn't receive characters if "
    "it was OFF\n  (maybe the wrong channel?)\n";

using Outcome = std::pair<int, std::string>;

// What a check shows when nothing handles `source`: `before` the other amplifiers' pass, then what it found.
std::string Unhandled(const std::string& source, const std::string& before = "", const std::string& found = "") {
  return "\nExamining " + source + "\n" + before + "Checking other amplifiers\n" + found +
         "Unhandled device : " + source + "\n\nDone\n";
}

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
  EXPECT_EQ(Check(), Outcome(AmplifierNotFound, Unhandled("TTUSB", "", "J&J amplifier found\n")));
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
            Outcome(AmplifierNotFound, Unhandled("A/D", "", "*-Wiz device found\nPCAN-USB Q20 device found\n")));
}

TEST_F(AmplifierCheck, FamiliesWithoutACheckStayUnhandled) {
  for (const char* source : {"A/D", "PET2.0", "QPET", "Pendant"}) {
    Configure(source);
    EXPECT_EQ(Check(), Outcome(AmplifierNotFound, Unhandled(source))) << source;
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
  EXPECT_EQ(Check(), Outcome(AmplifierNotFound, Unhandled("ProSB", "COM3 specified is not a valid com port\n")));
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
  EXPECT_EQ(probetest::ReadWholeFile(tree.Path("ampstatus.txt")), Unhandled("TTUSB"));
}

TEST_F(StartupTest, ProSbOnAPortTheScanDoesNotFindExitsOne) {
  // The start-up test scans the ports itself: COM2 points at nothing.
  Configure("ProSB", "ProComp = COM2\n");
  LinkCom(2, tree.Path("no-such-device"));
  EXPECT_EQ(RunLinkProbe("STARTUPTEST"), 1);
  EXPECT_EQ(probetest::ReadWholeFile(tree.Path("ampstatus.txt")),
            Unhandled("ProSB", "COM2 specified is not a valid com port\n"));
}

// `value` as `bytes` little-endian bytes.
std::string Le(std::uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
  return out;
}

// A 16-bit PCM wave file around `samples`.
std::string WaveFile(const std::string& samples, std::uint32_t channels, std::uint32_t rate) {
  const auto size = static_cast<std::uint32_t>(samples.size());
  return "RIFF" + Le(36 + size, 4) + "WAVEfmt " + Le(16, 4) + Le(1, 2) + Le(channels, 2) + Le(rate, 4) +
         Le(rate * channels * 2, 4) + Le(channels * 2, 2) + Le(16, 2) + "data" + Le(size, 4) + samples;
}

std::string SamplePattern(int count) {
  std::string samples;
  std::uint32_t x = 12345;
  for (int i = 0; i < count; ++i) {
    x = x * 1103515245u + 12345u;
    samples += Le(x >> 16, 2);
  }
  return samples;
}

class RewardSound : public ProbeTreeTest {
 protected:
  probetest::ScopedEnv alsaConfig{"ALSA_CONFIG_PATH", tree.Path("asound.conf")};

  // ALSA's default device becomes a file of raw frames in the tree.
  void SetUp() override {
    ProbeTreeTest::SetUp();
    tree.Write("asound.conf", "pcm.!default {\n  type file\n  slave { pcm { type null } }\n  file \"" +
                                  tree.Path("played.raw") + "\"\n  format \"raw\"\n}\n");
  }
};

TEST_F(RewardSound, EveryFrameReachesTheOutputInOrder) {
  const std::string samples = SamplePattern(2 * 7001);  // stereo, more than one period, odd length
  tree.Write("tavik/GAMES/Reward.WAV", WaveFile(samples, 2, 22050));
  PlayLocalRewardSound();
  EXPECT_EQ(probetest::ReadWholeFile(tree.Path("played.raw")), samples);
  EXPECT_EQ(Pane(), "");
}

TEST_F(RewardSound, MissingOrUnreadableFilePlaysNothingAndSaysNothing) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  PlayLocalRewardSound();
  tree.Write("tavik/Games/reward.wav", "not a sound at all");
  PlayLocalRewardSound();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(std::filesystem::exists(tree.Path("played.raw")));
  EXPECT_EQ(Pane(), "");
}

TEST_F(RewardSound, AnOutputThatCannotOpenIsSilentToo) {
  tree.Write("asound.conf", "pcm.!default {\n  type hw\n  card 99\n}\n");
  tree.Write("tavik/Games/reward.wav", WaveFile(SamplePattern(800), 1, 8000));
  testing::internal::CaptureStderr();
  PlayLocalRewardSound();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
