// The game link's tests on every platform, against a game computer on 127.0.0.1 port 5510: the real
// gameecho program, or one that the test scripts in its own process. The settings live in the suite's
// own folder, made fresh for each test.
#include "game_communications.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "eventually.h"
#include "link/link.h"
#include "platform/tavik_path.h"
#include "probe_state.h"
#include "scripted_game_computer.h"
#include "suite_tree.h"

namespace {

using Clock = std::chrono::steady_clock;
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
  ScriptedGameComputer game(std::chrono::milliseconds(9000));
  ASSERT_TRUE(game.listening());
  TestGameCommunications(state);
  EXPECT_EQ(Pane(), Working);
}

TEST_F(GameTest, AnswerAfterElevenSecondsIsAFailure) {
  WriteDevs(EthernetSettings);
  ScriptedGameComputer game(std::chrono::milliseconds(11000));
  ASSERT_TRUE(game.listening());
  auto start = Clock::now();
  TestGameCommunications(state);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(10900));
  EXPECT_EQ(Pane(), "ports report\nFAILURE to echo from game machine\nIS the game menu really running?\n");
  EXPECT_EQ(game.echoRequests(), 1);
}

TEST_F(GameTest, MessagesWaitingBeforeTheEchoNeverCount) {
  WriteDevs(EthernetSettings);
  ScriptedGameComputer game(std::chrono::milliseconds(2000), 5);
  ASSERT_TRUE(game.listening());
  ReadDeviceSettingsInto(state.settings);
  ASSERT_EQ(ConnectToGameComputer(state), 0);  // the greetings arrive during its one-second wait
  ASSERT_NE(LinkPending(state.gameLink, -1), 0);
  auto start = Clock::now();
  EXPECT_EQ(EchoGameComputer(state.gameLink), 0);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1900));
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

}  // namespace
