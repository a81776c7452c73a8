// The game link's Linux-only tests: serial game ports over pseudo-terminals and a simulated null-modem
// cable (with the port devices of a fake sysfs tree), the resolver's own words, gameecho stopped by a
// signal, linkprobe REPORT run as a user runs it, linkping over a pseudo-terminal pair, and the local reward
// sound played into ALSA's file plugin through a private configuration, compared frame for frame with the
// wave file it came from. Each test runs in a network namespace of its own (see in_network_namespace.sh), as
// the shared ones do, so that all may listen on the game link's fixed port side by side.
#include "game_communications.h"

#include <gtest/gtest.h>
#include <netdb.h>
#include <signal.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <thread>
#include <utility>
#include <vector>

#include "fake_port.h"
#include "link/link.h"
#include "null_modem.h"
#include "ports_report.h"
#include "probe_tree_support.h"
#include "scripted_game_computer.h"
#include "serial_test_support.h"

namespace {

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

class GameTreeTest : public ProbeTreeTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(state.gameLink, nullptr) << "the action left its link behind";
    ProbeTreeTest::TearDown();
  }
  static std::string ResolverText(const char* address, int flags) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    int result = getaddrinfo(address, nullptr, &hints, &found);
    if (result == 0) freeaddrinfo(found);
    return result == 0 ? "resolved" : gai_strerror(result);
  }
};

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
                "\n--- Test Configured Amplifier ---\n" + probetest::Introduction +
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
