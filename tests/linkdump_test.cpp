// linkdump over record files that the link wrote, over a clock that wraps, over damaged and foreign
// files, and the program itself following a file while the link writes it.
#include "linkdump_run.h"

#include "child_process.h"
#include "link/link_events.h"
#include "link/link_record_file.h"
#include "link_test_support.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

namespace {

class LinkDumpTest : public LinkRecordTest {
 protected:
  // Runs linkdump: its exit code, with its output in out_ and its messages in err_.
  int Dump(
      const std::vector<std::string>& args, const std::function<bool()>& again = [] { return false; }) {
    std::ostringstream out, err;
    int code = RunLinkDump(args, out, err, again);
    out_ = out.str();
    err_ = err.str();
    return code;
  }
  // The output's lines, or the part of each that `part` keeps.
  std::vector<std::string> Lines(std::string (*part)(const std::string&) = nullptr) const {
    std::vector<std::string> lines;
    std::istringstream text(out_);
    for (std::string line; std::getline(text, line);) lines.push_back(part ? part(line) : line);
    return lines;
  }
  // Without their time column.
  std::vector<std::string> Bodies() const {
    return Lines([](const std::string& l) { return l.substr(l.find(' ', l.find_first_not_of(' ')) + 1); });
  }
  // The first characters: the time, the direction and the tag.
  std::vector<std::string> Starts() const {
    return Lines([](const std::string& l) { return l.substr(0, 18); });
  }
  static std::string Encoded(const std::vector<LinkRecord>& records) {
    std::string bytes;
    for (const LinkRecord& record : records) {
      std::uint8_t encoded[LinkRecordSize];
      LinkEncodeRecord(record, encoded);
      bytes.append(reinterpret_cast<const char*>(encoded), LinkRecordSize);
    }
    return bytes;
  }
  static void WriteRecords(const std::string& name, const std::vector<LinkRecord>& records,
                           const std::string& tail = "") {
    WriteFile(name, Encoded(records) + tail);
  }
  static std::string TrafficHeader(const LinkTrafficHeader& header) {
    std::uint8_t bytes[LinkTrafficHeaderSize];
    LinkEncodeTrafficHeader(header, bytes);
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
  }
  static LinkRecord Event(std::uint16_t code, std::uint32_t time) {
    return {LinkRecordEventType, code, time, 1, 2, 3, {}};
  }

  std::string out_, err_;
};

TEST_F(LinkDumpTest, TheFilesOfAConnectionReadAsOneStoryInOrder) {
  LinkConnection* link = OpenedUnder("RECORD=1\nLOGALL=1\nWRITENOW=0\n");
  const std::uint8_t message[14] = {130, 7, 14, 0, 'h', 'e', 'l', 'l', 'o', '!', 1, 0, 0, 0};
  const std::uint8_t raw[3] = {0x01, 'A', 'B'};
  // One record per clock tick, so that the order of the time stamps is the order of writing.
  auto tick = [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
  LinkRecordText(link, LinkDirectionReceive, LinkEventClientStarted, "5510 0.0.0.0");
  tick();
  LinkRecordEvent(link, LinkDirectionTransmit, LinkEventStreamSent, 0x000E0782, 1, 0x6C6C6568);
  tick();
  LinkLogMessage(link, LinkDirectionTransmit, 11, message);
  tick();
  LinkLogMessage(link, LinkDirectionReceive, 0, message);
  tick();
  LinkRecordEvent(link, LinkDirectionReceive, LinkEventQueuedStream, 0x000E0782, 1, 0x6C6C6568);
  tick();
  LinkTraceEvent(link, 777, 0xFFFFFFFF, 70000, 0);
  tick();
  LinkLogMessage(link, LinkDirectionReceive, -3, raw);
  LinkCloseRecords(link);

  ASSERT_EQ(Dump({directory_.string()}), LinkDumpOk) << err_;
  EXPECT_EQ(err_, "");
  const std::vector<std::string> expected = {
      "rx CRX10 100 ClientStarted \"5510 0.0.0.0\"",
      "tx CTX20  42 StreamSent a=0x000E0782 (first word), b=1 (sequence), c=0x6C6C6568 (second word)",
      "tx CTX20 message kind 11: code 130 subcode 7 length 14 sequence 1, payload 68 65 6c 6c 6f 21 |hello!|",
      "rx CRX10 message kind 0: code 130 subcode 7 length 14 sequence 1, payload 68 65 6c 6c 6f 21 |hello!|",
      "rx CRX10   0 QueuedStream a=0x000E0782 (first word), b=1 (sequence), c=0x6C6C6568 (second word)",
      "rx CRX10 777 (unknown) a=-1, b=0x00011170, c=0",
      "rx CRX10 raw 3 bytes: 01 41 42 |.AB|"};
  EXPECT_EQ(Bodies(), expected) << out_;
  EXPECT_EQ(out_.substr(0, 12), "   0.000000 ") << "times count from the first record";

  ASSERT_EQ(Dump({"--json", "cmlCRX10.bin", "cmlCTX20.binFULL"}), LinkDumpOk);
  const std::vector<std::string> json = Lines();
  ASSERT_GE(json.size(), 2u) << out_;
  const std::string &first = json[0], &second = json[1];
  EXPECT_EQ(first.find("{\"time\":0.000000,\"clock\":"), 0u) << first;
  EXPECT_NE(first.find(
                ",\"file\":\"cmlCRX10.bin\",\"tag\":\"CRX\",\"direction\":\"receive\",\"record\":\"text\",\"code\":100,"
                "\"name\":\"ClientStarted\""),
            std::string::npos)
      << first;
  EXPECT_NE(second.find("\"direction\":\"transmit\",\"record\":\"message\",\"kind\":11,\"code\":130,\"subcode\":7,"
                        "\"length\":14,\"sequence\":1,\"payload\":\"68656c6c6f21\"}"),
            std::string::npos)
      << second;
}

TEST_F(LinkDumpTest, WrappedClockIsUnwrappedAcrossFiles) {
  WriteRecords("cmlSRX10.bin", {Event(LinkEventQueuedDatagram, 0xFFFFFF00u), Event(LinkEventUnqueued, 0x00000010u),
                                Event(LinkEventServerPoked, 0x90000010u), Event(LinkEventServerPoked, 0x00000005u)});
  WriteRecords("cmlSTX20.bin", {Event(LinkEventStreamSent, 0xFFFFFF80u), Event(LinkEventDatagramSent, 0x00000100u)});
  ASSERT_EQ(Dump({"cmlSRX10.bin", "cmlSTX20.bin"}), LinkDumpOk) << err_;
  const std::vector<std::string> expected = {
      "   0.000000 rx SRX",   // 2^32 - 256
      "   0.000128 tx STX",   // 128 later
      "   0.000272 rx SRX",   // wrapped: 16 after 2^32
      "   0.000512 tx STX",   // 256 after 2^32
      "2415.919376 rx SRX",   // later by more than half the range is still later
      "4294.967557 rx SRX"};  // earlier by more than half the range: wrapped again
  EXPECT_EQ(Starts(), expected) << out_;

  ASSERT_EQ(Dump({"--raw-time", "cmlSTX20.bin"}), LinkDumpOk);
  EXPECT_EQ(out_.substr(0, 14), "4294967168 tx ");

  // Named first, the file whose first record follows the wrap still starts after the other's.
  WriteRecords("cmlSTX20.bin", {Event(LinkEventStreamSent, 0x00000010u), Event(LinkEventDatagramSent, 0x00000100u)});
  WriteRecords("cmlSRX10.bin", {Event(LinkEventQueuedDatagram, 0xFFFFFFF0u), Event(LinkEventUnqueued, 0x00000020u)});
  ASSERT_EQ(Dump({"cmlSTX20.bin", "cmlSRX10.bin"}), LinkDumpOk) << err_;
  EXPECT_EQ(Starts(), (std::vector<std::string>{"   0.000000 rx SRX", "   0.000032 tx STX", "   0.000048 rx SRX",
                                                "   0.000272 tx STX"}))
      << out_;
}

// The files are read piece by piece: 40-byte records straddle the pieces' boundaries, and full-traffic
// records of the longest length (a 16-bit length field's) fill a piece nearly whole.
TEST_F(LinkDumpTest, FilesLongerThanAPieceMergeWholeAcrossAWrap) {
  constexpr std::uint32_t base = 0xFFFFF000u;  // the clock wraps a third of the way through
  constexpr std::uint32_t perFile = 4000;
  const std::uint32_t trafficAt[] = {999, 2500, 3998};
  std::vector<LinkRecord> receive, transmit;
  std::vector<std::uint32_t> expected;
  for (std::uint32_t i = 0; i < perFile; ++i) {
    receive.push_back(Event(LinkEventStreamSent, base + 3 * i));
    transmit.push_back(Event(LinkEventStreamSent, base + 3 * i + 1));
    expected.insert(expected.end(), {3 * i, 3 * i + 1});
  }
  WriteRecords("cmlCRX10.bin", receive);
  WriteRecords("cmlCTX20.bin", transmit);
  std::string traffic;
  constexpr std::uint16_t longest = 0xFFFF;
  for (std::uint32_t at : trafficAt) {
    const std::uint16_t raw = longest - LinkTrafficHeaderSize;
    traffic += TrafficHeader({base + 3 * at + 2, raw, longest}) + std::string(raw, 'x');
    expected.push_back(3 * at + 2);
  }
  WriteFile("cmlCTX20.binFULL", traffic + "cut");
  std::sort(expected.begin(), expected.end());

  ASSERT_EQ(Dump({"cmlCRX10.bin", "cmlCTX20.bin", "cmlCTX20.binFULL"}), LinkDumpDamaged) << err_;
  EXPECT_NE(err_.find("cut off: 3 of its 8 header bytes at byte 196605, after 3 whole records"), std::string::npos)
      << err_;
  std::vector<std::uint32_t> times;  // microseconds after the first record
  for (const std::string& line : Lines()) times.push_back(static_cast<std::uint32_t>(std::stod(line) * 1e6 + 0.5));
  EXPECT_EQ(times, expected);

  // Many files whose records have the same clock readings: each reading's records in the files' order.
  std::filesystem::create_directory("many");
  constexpr int files = 40;
  const std::vector<LinkRecord> same = {Event(1, 50), Event(1, 60), Event(1, 70)};
  std::vector<std::string> labels;
  for (std::size_t reading = 0; reading < same.size(); ++reading)
    for (int file = 0; file < files; ++file) labels.push_back("F" + std::to_string(10 + file) + "CRX10");
  for (int file = 0; file < files; ++file) WriteRecords("many/cmlF" + std::to_string(10 + file) + "CRX10.bin", same);
  ASSERT_EQ(Dump({"many"}), LinkDumpOk) << err_;
  std::vector<std::string> shown;
  for (const std::string& body : Bodies()) shown.push_back(body.substr(3, body.find(' ', 3) - 3));
  EXPECT_EQ(shown, labels);
}

TEST_F(LinkDumpTest, BadInputIsToldWithItsExitCodeAfterTheRecordsBeforeIt) {
  WriteRecords("cut.bin", {Event(1, 10), Event(1, 20)}, std::string(13, '\0'));
  LinkRecord strange = Event(1, 30);
  strange.type = 7;
  WriteRecords("cmlCRX10.bin", {Event(1, 10), strange, Event(1, 40)});
  WriteFile("short.bin", "RECORD=1\n");
  WriteFile("cmlCRX10.binFULL", TrafficHeader({10, 3, 11}) + "abc" + TrafficHeader({20, 0, 100}) + "short");

  struct Case {
    std::vector<std::string> args;
    int code;
    std::size_t lines;
    std::string message;
  };
  const Case cases[] = {
      {{"cut.bin"}, LinkDumpDamaged, 2, "cut.bin: the last record is cut off: 13 of its 40 bytes at byte 80"},
      {{"cmlCRX10.binFULL"}, LinkDumpDamaged, 1, "the last record runs past the end: its length is 100 bytes, but 13"},
      {{"cmlCRX10.bin"}, LinkDumpNotRecordFile, 1, "not a record file: record 2 (at byte 40) has type 7"},
      {{"short.bin"}, LinkDumpNotRecordFile, 0, "not a record file: 9 bytes, less than one 40-byte record"},
      {{"cut.bin", "cmlCRX10.bin", "missing.bin"}, LinkDumpUnreadable, 3, "missing.bin: cannot open it"},
      {{"--bogus", "cut.bin"}, LinkDumpUsage, 0, "unknown option --bogus"},
      {{}, LinkDumpUsage, 0, "no record file or folder named"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Dump(c.args), c.code) << c.message;
    EXPECT_EQ(static_cast<std::size_t>(std::count(out_.begin(), out_.end(), '\n')), c.lines) << c.message << "\n"
                                                                                             << out_;
    EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
  }
}

// A record whose first bytes were read in one round is finished by the bytes of a later one: the reader
// keeps what it holds and reads on past the end it met.
TEST_F(LinkDumpTest, FollowTakesARecordFinishedInALaterRoundWhole) {
  const std::string bytes = Encoded({Event(LinkEventStreamSent, 10), Event(LinkEventUnqueued, 20)});
  const std::size_t cut = LinkRecordSize + LinkRecordSize / 2;
  WriteFile("cmlCRX10.bin", bytes.substr(0, cut));
  int rounds = 0;
  auto finishTheRecord = [&] {
    if (++rounds == 1) std::ofstream("cmlCRX10.bin", std::ios::binary | std::ios::app) << bytes.substr(cut);
    return rounds == 1;
  };
  EXPECT_EQ(Dump({"-f", "cmlCRX10.bin"}, finishTheRecord), LinkDumpOk) << err_;
  EXPECT_EQ(err_, "");
  const std::vector<std::string> bodies = Bodies();
  ASSERT_EQ(bodies.size(), 2u) << out_;
  EXPECT_EQ(bodies[0].substr(0, 24), "rx CRX10  42 StreamSent ");
  EXPECT_EQ(bodies[1], "rx CRX10  30 Unqueued a=1 (first word), b=2 (sequence), c=3 (second word)");
}

TEST_F(LinkDumpTest, FollowPrintsEachRecordAsTheLinkWritesIt) {
  LinkConnection* link = OpenedUnder("RECORD=1\nWRITENOW=1\n");
  LinkTraceEvent(link, LinkEventClientConnectPending, 0, 0, 0);
  ChildProcess follower(LINKDUMP_PATH, {"-f", (directory_ / "cmlCRX10.bin").string()});
  ASSERT_TRUE(follower.started());
  std::string text;
  EXPECT_TRUE(ReadUntil(follower, text, "rx CRX10 103 ClientConnectPending\n", 10000)) << text;
  LinkRecordEvent(link, LinkDirectionReceive, LinkEventClientConnected, 0, 0, 0);
  EXPECT_TRUE(ReadUntil(follower, text, "rx CRX10 104 ClientConnected\n", 10000)) << text;
  EXPECT_EQ(follower.Wait(0), -1) << "still following";
}

}  // namespace
