// The link console as a user drives it: a slave and a master process exchanging test messages on
// loopback, keys fed through their standard input, output read from their standard output.
#include "child_process.h"
#include "eventually.h"
#include "link_socket_support.h"

#include <string>
#include <vector>

namespace {

// One console process with its keys and its console on pipes, and all it printed so far.
struct Console {
  explicit Console(const std::vector<std::string>& args) : process(LINKCONSOLE_PATH, args) {}
  void Key(char key) { ASSERT_TRUE(process.Write(std::string(1, key))); }
  // Reads output until it holds the text (counted from `from`) or the time is up.
  bool WaitForText(const std::string& wanted, int milliseconds, size_t from = 0) {
    return ReadUntil(process, text, wanted, milliseconds, from);
  }

  ChildProcess process;
  std::string text;
};

// The key's test message leaves one console and the other prints what it received.
void Sends(Console& from, char key, Console& to, const std::string& received) {
  const size_t mark = to.text.size();
  from.Key(key);
  const std::string sent = std::string("\nsent ") + static_cast<char>(key - 'a' + 'A') + "\nwaiting for user input :";
  ASSERT_TRUE(from.WaitForText(sent, 3000)) << from.text;
  ASSERT_TRUE(to.WaitForText(received, 3000, mark)) << to.text;
}

TEST(LinkConsole, WithoutArgumentsAsksForThemAndEndsWith4) {
  Console c({});
  ASSERT_TRUE(c.process.started());
  EXPECT_EQ(c.process.Wait(5000), 4);
  c.WaitForText("need", 1000);
  EXPECT_NE(c.text.find("debug messages enabled\nI am "), std::string::npos);
  EXPECT_NE(c.text.find("\nneed   s/e and id of slave\n"), std::string::npos);
}

// A wait that gives no time at all still reaps a console that has ended, so a poll of Wait(0) ends.
TEST(LinkConsole, WaitWithoutTimeTakesTheExitCodeOfAnEndedConsole) {
  Console c({});
  ASSERT_TRUE(c.process.started());
  EXPECT_FALSE(c.WaitForText("", 5000)) << "reads on until the console closes its output as it ends";
  EXPECT_TRUE(Eventually([&] { return c.process.Wait(0) == 4; }, 5));
}

// One test only: both ends use the console's fixed port 8881.
TEST(LinkConsole, SlaveAndMasterExchangeTestMessages) {
  Console slave({"e"});
  ASSERT_TRUE(slave.process.started());
  ASSERT_TRUE(slave.WaitForText("slave waiting\n\nwaiting for user input :", 8000)) << slave.text;
  Console master({"e", "127.0.0.1"});
  ASSERT_TRUE(master.process.started());
  ASSERT_TRUE(master.WaitForText("\nwaiting for user input :", 8000)) << master.text;
  EXPECT_EQ(master.text.find("error"), std::string::npos) << master.text;
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // the master connects

  Sends(master, 't', slave, "received 8 bytes\n 82  00  08  00 \n 01  00  00  00 \n");
  Sends(slave, 'u', master, "received 8 bytes\n 99  00  08  00 \n 01  00  00  00 \n");

  size_t mark = master.text.size();
  master.Key('r');
  ASSERT_TRUE(master.WaitForText("\nReset initiated\n", 3000, mark));
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  EXPECT_EQ(master.text.find("restart connection error", mark), std::string::npos) << master.text;
  master.Key('q');  // any other key does nothing
  Sends(master, 't', slave, "received 8 bytes\n 82  00  08  00 \n 02  00  00  00 \n");

  // Nine bytes print as three lines: bytes 0-3, 4-7 and 8.
  mark = slave.text.size();
  std::uint8_t nine[9] = {0xc8, 0x00, 0x09, 0x00, 0xab, 0x05, 0x00, 0x00, 0x00};
  linktest::SocketsReady sockets;
  linktest::UdpEnd sender(linktest::FreeTPort());
  ASSERT_EQ(sender.SendTo(8882, nine, sizeof nine), 9);  // the slave's UDP port is 8881 + 1
  EXPECT_TRUE(slave.WaitForText("received 9 bytes\n c8  00  09  00 \n ab  05  00  00 \n 00 \n", 3000, mark))
      << slave.text;

  master.Key('x');
  slave.Key('x');
  EXPECT_EQ(master.process.Wait(3000), 0);
  EXPECT_EQ(slave.process.Wait(3000), 0);
  EXPECT_TRUE(master.WaitForText("Disconnecting\n", 1000));
  EXPECT_TRUE(slave.WaitForText("Disconnecting\n", 1000));
}

}  // namespace
