// The game link's tests on every platform, against a game computer on 127.0.0.1 port 5510: the real
// gameecho program, one that the test scripts in its own process (it answers late, stops answering, goes
// away and comes back), and nothing at all. linkprobe's game test reads its settings from the suite's own
// folder, made fresh for each test; linkping runs as a technician runs it, with its command line.
#include "game_communications.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "eventually.h"
#include "link/link.h"
#include "ping_options.h"
#include "platform/tavik_path.h"
#include "probe_state.h"
#include "scripted_game_computer.h"
#include "suite_tree.h"
#include "test_environment.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
constexpr double LinkWaitSeconds = 5;  // for the link to come up, and then for the answer

const char* const EthernetSettings =
    "DisplayMode = 2 computers\nCommunications_class = Ethernet\nEthernetAddress = 127.0.0.1\nEthernetPort = 5510\n";
const char* const Working = "ports report\nEthernet game communication seems to be working\n";

class GameTest : public ::testing::Test {
 protected:
  SuiteTree tree;
  ProbeState state;

  void SetUp() override { std::strcpy(state.portsReport, "ports report\n"); }
  void TearDown() override { EXPECT_EQ(state.gameLink, nullptr) << "the action left its link behind"; }

  void WriteDevs(const std::string& text) { tree.Write("PREFERENCES/SETTINGS/DEVS.NIN", text); }
  std::string Pane() const { return state.pane.Text(); }
};

TEST_F(GameTest, EchoFromGameEchoWorksAndTheRewardCommandReachesIt) {
  WriteDevs(EthernetSettings);
  ConsoleProgram echo(GAMEECHO_PATH, {});
  ASSERT_TRUE(echo.WaitFor("listening on port 5510")) << echo.output();
  TestGameCommunications(state);
  EXPECT_EQ(Pane(), Working);
  EXPECT_TRUE(echo.WaitFor("Message 224/4")) << echo.output();

  SendRewardSoundCommand(state);
  EXPECT_EQ(Pane(), "ports report\n\nReward sound command sent");
  EXPECT_TRUE(echo.WaitFor("Reward sound: playing " + TavikPath("c:\\Tavik\\Games\\reward.wav"))) << echo.output();
}

TEST_F(GameTest, GameEchoAnswersAnyMessageWithTheSameMessage) {
  ConsoleProgram echo(GAMEECHO_PATH, {});
  ASSERT_TRUE(echo.WaitFor("listening on port 5510")) << echo.output();
  LinkConnection* link = LinkCreate();
  ASSERT_EQ(LinkConnect(link, "ethernet", "127.0.0.1", 5510, 0), 0);
  Eventually([&] { return LinkStatus(link) != 0; }, LinkWaitSeconds);
  std::uint8_t message[LinkMaxMessageLength], reply[LinkMaxMessageLength];
  ASSERT_EQ(LinkBuildMessage(link, message, sizeof message, 150, 7, "abc", 3), 11);
  LinkSend(link, message, 0);
  int length = 0;
  Eventually([&] { return (length = LinkReceive(link, -1, reply, sizeof reply)) != 0; }, LinkWaitSeconds);
  EXPECT_EQ(length, 11);
  EXPECT_EQ(std::vector<std::uint8_t>(reply, reply + 7), std::vector<std::uint8_t>({150, 7, 11, 0, 'a', 'b', 'c'}));
  LinkRelease(link);
}

TEST_F(GameTest, AnswerAfterNineSecondsStillCounts) {
  WriteDevs(EthernetSettings);
  ScriptedGameComputer game(milliseconds(9000));
  ASSERT_TRUE(game.listening());
  TestGameCommunications(state);
  EXPECT_EQ(Pane(), Working);
}

TEST_F(GameTest, AnswerAfterElevenSecondsIsAFailure) {
  WriteDevs(EthernetSettings);
  ScriptedGameComputer game(milliseconds(11000));
  ASSERT_TRUE(game.listening());
  auto start = Clock::now();
  TestGameCommunications(state);
  EXPECT_GE(Clock::now() - start, milliseconds(10900));
  EXPECT_EQ(Pane(), "ports report\nFAILURE to echo from game machine\nIS the game menu really running?\n");
  EXPECT_EQ(game.echoRequests(), 1);
}

TEST_F(GameTest, MessagesWaitingBeforeTheEchoNeverCount) {
  WriteDevs(EthernetSettings);
  ScriptedGameComputer game(milliseconds(2000), 5);
  ASSERT_TRUE(game.listening());
  ReadDeviceSettingsInto(state.settings);
  ASSERT_EQ(ConnectToGameComputer(state), 0);  // the greetings arrive during its one-second wait
  ASSERT_NE(LinkPending(state.gameLink, -1), 0);
  auto start = Clock::now();
  EXPECT_EQ(EchoGameComputer(state.gameLink), 0);
  EXPECT_GE(Clock::now() - start, milliseconds(1900));
  ReleaseGameLink(state);
}

TEST_F(GameTest, NobodyListeningIsCode15) {
  WriteDevs(EthernetSettings);
  EXPECT_EQ(ConnectOnce(state), 15);
  EXPECT_EQ(Pane(),
            "FAILURE to connect to game machine\nIs the game menu really running?\nWas there an Windows firewall "
            "blockage?\n");
}

TEST_F(GameTest, PortOtherThan5510IsCode11WhateverTheAddress) {
  WriteDevs("DisplayMode = 2\nEthernetAddress = 192.168.10.256\nEthernetPort = 5511\n");
  EXPECT_EQ(ConnectOnce(state), 11);
  EXPECT_EQ(Pane(), "FAILURE - test ONLY works with port 5510\n");
  WriteDevs("DisplayMode = 2\nEthernetPort = 5510\n");
  EXPECT_EQ(ConnectOnce(state), 12);
  EXPECT_EQ(Pane(), "INVALID ethernet buddy address format\n");
}

TEST_F(GameTest, AddressesThatDoNotResolveAreCode13WithTheSystemsWords) {
  for (const char* address : {"192.168.10.256", "no-such-game-host.invalid"}) {
    WriteDevs(std::string("DisplayMode = 2\nEthernetAddress = ") + address + "\n");
    EXPECT_EQ(ConnectOnce(state), 13);
    std::string expected = std::string("INVALID ethernet buddy computer : ") + address + "\n==>";
    EXPECT_EQ(Pane().rfind(expected, 0), 0u) << Pane();
    EXPECT_GT(Pane().size(), expected.size() + 1) << "the resolver's failure in words";
  }
}

TEST_F(GameTest, OneComputerSetUpUsesLocalhostOnly) {
  WriteDevs("DisplayMode = 1\nEthernetAddress = 127.0.0.1\n");
  TestGameCommunications(state);
  EXPECT_EQ(Pane(), "ports report\n\n\nGame communications use internal localhost\n");
  SendRewardSoundCommand(state);
  EXPECT_EQ(Pane(), "ports report\n\n\nGame communications use internal localhost\n");
}

TEST_F(GameTest, SerialGamePortIsCheckedBeforeThePortIsTouched) {
  WriteDevs("DisplayMode = 2\nCommunications_class = Serial\n");
  EXPECT_EQ(ConnectOnce(state), 3);
  EXPECT_EQ(Pane(), "NO GAME serial port\n");
  WriteDevs("DisplayMode = 2\nCommunications_class = Serial\nGame_comm = COM5\n");
  EXPECT_EQ(ConnectOnce(state), 4);
  EXPECT_EQ(Pane(), "Game port COM5 does NOT exist\n");
}

bool Has(const std::string& output, const std::string& pattern) {
  return std::regex_search(output, std::regex(pattern));
}

TEST(LinkPingOptionsTest, BadInputIsRefusedWithWhatIsWrongAndGoodInputIsRead) {
  const std::vector<std::vector<std::string>> bad = {
      {"-x"},      {"-c"},          {"-c", "0"},         {"-c", "3x"}, {"-c", "-1"}, {"-i", "-1"},      {"-i", "nan"},
      {"-W", "0"}, {"-W", "86401"}, {"--port", "65535"}, {"--port=0"}, {"--jsonx"},  {"host", "other"}, {""}};
  for (const auto& args : bad) {
    PingOptions options;
    std::string problem;
    EXPECT_EQ(ParsePingOptions(args, options, problem), PingCommand::Bad) << args[0];
    EXPECT_FALSE(problem.empty()) << args[0];
  }
  PingOptions options;
  std::string problem;
  ASSERT_EQ(ParsePingOptions({"-c3", "-i", "0.5", "-W.25", "--port=5600", "--json", "--", "-host"}, options, problem),
            PingCommand::Run)
      << problem;
  EXPECT_EQ(options.count, 3);
  EXPECT_EQ(options.intervalSeconds, 0.5);
  EXPECT_EQ(options.waitSeconds, 0.25);
  EXPECT_EQ(options.port, 5600);
  EXPECT_TRUE(options.json);
  EXPECT_EQ(options.address, "-host");
  EXPECT_EQ(ParsePingOptions({"-h"}, options, problem), PingCommand::Help);

  ConsoleProgram program(LINKPING_PATH, {"-c", "x", "127.0.0.1"});
  EXPECT_EQ(program.Finish(), 2) << "ping's status for bad input";
  EXPECT_EQ(program.output(), "") << "the usage goes to standard error";
}

TEST(LinkPingTest, GameEchoAnswersEveryRequestInTextAndInJson) {
  ConsoleProgram echo(GAMEECHO_PATH, {});
  ASSERT_TRUE(echo.WaitFor("listening on port 5510")) << echo.output();

  ConsoleProgram text(LINKPING_PATH, {"-c", "3", "-i", "0.05", "127.0.0.1"});
  EXPECT_EQ(text.Finish(), 0) << text.output();
  const std::string& out = text.output();
  EXPECT_EQ(out.rfind("LINKPING 127.0.0.1 port 5510: echo requests (code 224, subcode 4)\n", 0), 0u) << out;
  EXPECT_TRUE(Has(out, "\nlink to 127.0.0.1 up at [0-9]{2}:[0-9]{2}:[0-9]{2}\n")) << out;
  for (const char* seq : {"1", "2", "3"})
    EXPECT_TRUE(Has(out, std::string("\nreply from 127.0.0.1: seq=") + seq + " time=[0-9]+\\.[0-9]{3} ms\n")) << out;
  EXPECT_TRUE(Has(out,
                  "\n3 sent, 3 received, 0% lost, time [0-9]+ ms\n"
                  "round trip min/avg/max/mdev = ([0-9]+\\.[0-9]{3}/){3}[0-9]+\\.[0-9]{3} ms\n$"))
      << out;

  ConsoleProgram json(LINKPING_PATH, {"--json", "-c", "2", "-i", "0", "127.0.0.1"});
  EXPECT_EQ(json.Finish(), 0) << json.output();
  EXPECT_TRUE(Has(json.output(),
                  "^\\{\"event\":\"up\",\"address\":\"127.0.0.1\",\"at\":\"[0-9:]{8}\"\\}\n"
                  "\\{\"event\":\"reply\",\"address\":\"127.0.0.1\",\"seq\":1,\"time_ms\":[0-9.]+\\}\n"
                  "\\{\"event\":\"reply\",\"address\":\"127.0.0.1\",\"seq\":2,\"time_ms\":[0-9.]+\\}\n"
                  "\\{\"event\":\"summary\",\"address\":\"127.0.0.1\",\"sent\":2,\"received\":2,\"lost_percent\":0,"
                  "\"time_ms\":[0-9]+,\"round_trip_ms\":\\{\"min\":[0-9.]+,\"avg\":[0-9.]+,\"max\":[0-9.]+,"
                  "\"mdev\":[0-9.]+\\}\\}\n$"))
      << json.output();
}

TEST(LinkPingTest, InterruptEndsTheRunWithItsSummary) {
  if (RunsUnderWine())
    GTEST_SKIP()
        << "Wine gives no Ctrl-Break to a child's process group (GenerateConsoleCtrlEvent fails, with a console too)";
  ConsoleProgram echo(GAMEECHO_PATH, {});
  ASSERT_TRUE(echo.WaitFor("listening on port 5510")) << echo.output();
  // The interrupt comes in the pause after the first answer.
  ConsoleProgram ping(LINKPING_PATH, {"-i", "30", "127.0.0.1"});
  ASSERT_TRUE(ping.WaitFor("reply from 127.0.0.1: seq=1")) << ping.output();
  ASSERT_TRUE(ping.process().Interrupt());
  EXPECT_EQ(ping.Finish(), 0) << ping.output();
  EXPECT_TRUE(Has(ping.output(), "\n1 sent, 1 received, 0% lost, time [0-9]+ ms\nround trip ")) << ping.output();
}

// The game computer answers two requests and then none; it goes away, and another one comes back.
TEST(LinkPingTest, LossesTheDropAndTheReturnOfTheLinkAreEachALine) {
  auto game = std::make_unique<ScriptedGameComputer>(milliseconds(0), 0, 2);
  ASSERT_TRUE(game->listening());
  ConsoleProgram ping(LINKPING_PATH, {"-c", "20", "-i", "0.05", "-W", "0.3", "127.0.0.1"});
  ASSERT_TRUE(ping.WaitFor("no reply from 127.0.0.1: seq=3\n")) << ping.output();
  game.reset();
  ASSERT_TRUE(ping.WaitFor("dropped at")) << ping.output();
  game = std::make_unique<ScriptedGameComputer>(milliseconds(0));
  ASSERT_TRUE(game->listening());
  EXPECT_EQ(ping.Finish(), 1) << ping.output();
  const std::string& out = ping.output();
  EXPECT_TRUE(Has(out,
                  "\nreply from 127.0.0.1: seq=1 time=.*\nreply from 127.0.0.1: seq=2 time=.*\n"
                  "no reply from 127.0.0.1: seq=3\n"))
      << out;
  EXPECT_TRUE(Has(out,
                  "\nlink to 127.0.0.1 dropped at [0-9:]{8}\n(no reply from 127.0.0.1: seq=[0-9]+\n)*"
                  "link to 127.0.0.1 back at [0-9:]{8}\nreply from 127.0.0.1: seq=[0-9]+ time="))
      << out;
  EXPECT_TRUE(Has(out, "\n20 sent, 1[0-7] received, [0-9.]+% lost, time [0-9]+ ms\nround trip ")) << out;
}

// Each answer comes 0.6 s after its request, so the echo of the first request arrives while the second
// waits: it is no answer to the second.
TEST(LinkPingTest, LateEchoOfAnEarlierRequestIsNoAnswerToTheNextOne) {
  ScriptedGameComputer game(milliseconds(600), 0, EveryRequest, GameAnswer::Echo);
  ASSERT_TRUE(game.listening());
  ConsoleProgram ping(LINKPING_PATH, {"-c", "2", "-i", "0", "-W", "0.4", "127.0.0.1"});
  EXPECT_EQ(ping.Finish(), 2) << ping.output();
  EXPECT_TRUE(Has(ping.output(),
                  "\nno reply from 127.0.0.1: seq=1\nno reply from 127.0.0.1: seq=2\n"
                  "--- 127.0.0.1 linkping statistics ---\n"
                  "2 sent, 0 received, 100% lost, time [0-9]+ ms\n"
                  "linkping: the link to 127.0.0.1 port 5510 carried the requests, but the game "
                  "computer answered none of them \\(is the game menu running\\?\\)\n$"))
      << ping.output();
}

TEST(LinkPingTest, NothingListeningIsARefusedLink) {
  ConsoleProgram ping(LINKPING_PATH, {"-c", "2", "-i", "0", "-W", "0.3", "127.0.0.1"});
  EXPECT_EQ(ping.Finish(), 2) << ping.output();
  EXPECT_TRUE(Has(ping.output(),
                  "\n2 sent, 0 received, 100% lost, time [0-9]+ ms\n"
                  "linkping: 127.0.0.1 port 5510 refused the connection: nothing listens there "
                  "\\(is the game menu running\\?\\)\n$"))
      << ping.output();
}

}  // namespace
