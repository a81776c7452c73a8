// Record files and their settings: files read back byte for byte after close or, with WRITENOW, at once;
// the exclusive creation that never opens an earlier file again; and the clocks that stamp the records,
// counter readings converted with their 32-bit wrap.
#include "link_record.h"

#include "link/link.h"
#include "link/link_events.h"
#include "link_clock.h"
#include "link_newfile.h"
#include "link_object.h"
#include "link_queue.h"
#include "link_test_support.h"
#include "link_transport.h"
#include "link_wire.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <tuple>

namespace {

using Words = std::vector<std::uint32_t>;
using Slots = std::pair<std::uint32_t, std::uint32_t>;

// A record's type and code and the three words after its time, in the order they lie on disk.
Words Fields(const Bytes& bytes, std::size_t record) {
  std::size_t at = record * LinkRecordSize;
  return {U16At(bytes, at), U16At(bytes, at + 2), U32At(bytes, at + 8), U32At(bytes, at + 12), U32At(bytes, at + 16)};
}

std::string TextAt(const Bytes& bytes, std::size_t record) {
  const char* text = reinterpret_cast<const char*>(bytes.data() + record * LinkRecordSize + 8);
  return std::string(text, strnlen(text, 32));
}

Slots SlotsOf(const LinkConnection* link) { return {link->rxRecord, link->txRecord}; }

// Closes the connection's record files and reads one back.
Bytes Closed(LinkConnection* link, const char* file) {
  LinkCloseRecords(link);
  return ReadAll(file);
}

TEST_F(LinkRecordTest, BufferedEventsAndTextsAreWrittenAtCloseInOrder) {
  LinkConnection* link = OpenedUnder("RECORD=1\nWRITENOW=0\n");
  EXPECT_EQ(SlotsOf(link), Slots(1, 2));
  ASSERT_TRUE(Exists("cmlCRX10.bin") && Exists("cmlCTX20.bin"));

  std::uint32_t before = LinkTimestamp();
  LinkRecordEvent(link, LinkDirectionReceive, 50, 1, 2, 3);
  LinkRecordText(link, LinkDirectionReceive, 100, "5510 0.0.0.0");
  LinkRecordText(link, LinkDirectionReceive, 200, "0123456789abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(LinkTraceEvent(link, 77, 0xA0A0A0A0u, 0xB0B0B0B0u, 0xC0C0C0C0u), 1);
  std::uint32_t after = LinkTimestamp();
  EXPECT_EQ(ReadFile("cmlCRX10.bin").size(), 0u) << "buffered records touch the disk only at close";

  LinkCloseRecords(link);
  EXPECT_EQ(SlotsOf(link), Slots(0, 0));
  EXPECT_FALSE(Exists("cmlCTX20.bin")) << "a direction that recorded nothing is deleted";
  Bytes bytes = ReadFile("cmlCRX10.bin");
  ASSERT_EQ(bytes.size(), 4u * LinkRecordSize);
  EXPECT_EQ(Fields(bytes, 0), (Words{0, 50, 2, 1, 3})) << "value b is stored before value a";
  EXPECT_LE(U32At(bytes, 4) - before, after - before);
  EXPECT_EQ((std::tuple{Fields(bytes, 1)[0], Fields(bytes, 1)[1]}), (std::tuple{1u, 100u})) << "a text record";
  EXPECT_EQ(TextAt(bytes, 1), "5510 0.0.0.0");
  EXPECT_EQ(bytes[LinkRecordSize + 8 + 12], 0) << "short texts are zero-padded";
  EXPECT_EQ(TextAt(bytes, 2), "0123456789abcdefghijklmnopqrstuv") << "only 32 characters, unterminated";
  EXPECT_EQ(Fields(bytes, 3), (Words{0, 77, 0xB0B0B0B0u, 0xA0A0A0A0u, 0xC0C0C0C0u}));
}

TEST_F(LinkRecordTest, WriteNowPutsEachRecordOnDiskAtOnce) {
  LinkConnection* link = OpenedUnder("RECORD=1\nWRITENOW=1\n", "SRX", "STX");
  LinkRecordEvent(link, LinkDirectionTransmit, 41, 7, 8, 9);
  EXPECT_EQ(ReadFile("cmlSTX20.bin").size(), 40u);
  LinkRecordText(link, LinkDirectionTransmit, 100, "now");
  EXPECT_EQ(ReadFile("cmlSTX20.bin").size(), 80u);
  Bytes bytes = Closed(link, "cmlSTX20.bin");
  ASSERT_EQ(bytes.size(), 80u);
  EXPECT_EQ(Fields(bytes, 0), (Words{0, 41, 8, 7, 9}));
  EXPECT_EQ(TextAt(bytes, 1), "now");
  EXPECT_FALSE(Exists("cmlSRX10.bin")) << "an empty direction is deleted in direct mode too";
}

TEST_F(LinkRecordTest, FullTrafficCompanionHoldsMessagesAndRawBytes) {
  LinkConnection* link = OpenedUnder("RECORD=1\nLOGALL=1\nWRITENOW=0\n");
  ASSERT_TRUE(Exists("cmlCRX10.binFULL"));
  std::uint8_t message[12] = {0xE0, 4, 12, 0, 'a', 'b', 'c', 'd', 1, 0, 0, 0};
  LinkLogMessage(link, LinkDirectionReceive, 1, message);
  const std::uint8_t raw[3] = {0x10, 0x20, 0x30};
  LinkLogMessage(link, LinkDirectionReceive, -3, raw);
  EXPECT_EQ(ReadFile("cmlCRX10.binFULL").size(), 0u);
  Bytes bytes = Closed(link, "cmlCRX10.binFULL");
  ASSERT_EQ(bytes.size(), 20u + 11u);
  EXPECT_EQ(Words({U16At(bytes, 4), U16At(bytes, 6)}), Words({1, 20}));
  EXPECT_TRUE(std::equal(message, message + 12, bytes.begin() + 8));
  EXPECT_EQ(Words({U16At(bytes, 24), U16At(bytes, 26)}), Words({3, 11})) << "raw bytes store their count as the kind";
  EXPECT_TRUE(std::equal(raw, raw + 3, bytes.begin() + 28));
  EXPECT_EQ(Files(), (std::vector<std::string>{"CMLLOG.INI", "cmlCRX10.binFULL"}))
      << "no events were recorded, nor anything sent";
}

TEST_F(LinkRecordTest, FullTrafficRecordNeverReadsPastAReceiveBuffer) {
  LinkConnection* link = OpenedUnder("RECORD=1\nLOGALL=1\nWRITENOW=0\n");
  Bytes message(LinkReceiveBufferSize, 0x55);
  message[0] = 0x90;
  message[2] = message[3] = 0xFF;  // length field 65535
  LinkLogMessage(link, LinkDirectionReceive, 0, message.data());
  Bytes bytes = Closed(link, "cmlCRX10.binFULL");
  ASSERT_EQ(bytes.size(), 8u + LinkReceiveBufferSize);
  EXPECT_EQ(U16At(bytes, 6), 8u + LinkReceiveBufferSize);
}

TEST_F(LinkRecordTest, NamesCarryIdentSlotAndFirstFreeSequence) {
  WriteFile("cmlabCRX10.bin", "old0");
  WriteFile("cmlabCRX11.bin", "old1");
  LinkConnection* link = OpenedUnder("RECORD=2\nIDENT=ab cd\nWRITENOW=0\n");
  LinkRecordEvent(link, LinkDirectionReceive, 1, 0, 0, 0);
  EXPECT_EQ(Closed(link, "cmlabCRX12.bin").size(), 40u);
  EXPECT_EQ(ReadFile("cmlabCRX10.bin").size(), 4u) << "earlier files stay as they were";
  EXPECT_EQ(ReadFile("cmlabCRX11.bin").size(), 4u);

  // After the close the slot's sequence starts again from 0 and again skips the files on disk.
  LinkOpenRecord(link, LinkDirectionReceive, "CRX");
  LinkRecordEvent(link, LinkDirectionReceive, 1, 0, 0, 0);
  LinkCloseRecords(link);
  EXPECT_TRUE(Exists("cmlabCRX13.bin"));
  EXPECT_EQ(ReadFile("cmlabCRX12.bin").size(), 40u);
}

TEST_F(LinkRecordTest, CompanionOfAnEarlierRunIsNeverOverwritten) {
  WriteFile("cmlCRX10.binFULL", "earlier traffic");
  LinkConnection* link = OpenedUnder("RECORD=1\nLOGALL=1\nWRITENOW=0\n");
  EXPECT_TRUE(Exists("cmlCRX11.bin"));
  EXPECT_EQ(Closed(link, "cmlCRX10.binFULL").size(), 15u);
}

TEST_F(LinkRecordTest, EightDirectionsGetSlotsAndTheNinthNone) {
  WriteFile("CMLLOG.INI", "RECORD=1\nWRITENOW=0\n");
  const Slots expected[] = {{1, 2}, {3, 4}, {5, 6}, {7, 8}, {0, 0}};
  for (const Slots& slots : expected) EXPECT_EQ(SlotsOf(Opened()), slots);
  LinkRecordEvent(links_[4], LinkDirectionReceive, 5, 0, 0, 0);  // nothing to record into, nothing breaks
  EXPECT_EQ(Files().size(), 9u) << "eight record files and the ini file";

  LinkCloseRecords(links_[1]);
  EXPECT_EQ(Opened()->rxRecord, 3u) << "the lowest free slot is taken";
}

TEST_F(LinkRecordTest, FullBufferKeepsTheFirstRecords) {
  LinkConnection* link = OpenedUnder("RECORD=1\nWRITENOW=0\n");
  for (std::uint32_t i = 0; i < 20005; ++i) LinkRecordEvent(link, LinkDirectionReceive, 1, i, 0, 0);
  Bytes bytes = Closed(link, "cmlCRX10.bin");
  ASSERT_EQ(bytes.size(), 19999u * LinkRecordSize);
  EXPECT_EQ(Fields(bytes, 19998)[3], 19998u);
}

TEST_F(LinkRecordTest, NoSettingsFileMeansNoRecords) {
  int bluetooth = LinkLogBluetooth();
  LinkConnection* link = Opened();
  LinkRecordEvent(link, LinkDirectionReceive, 1, 0, 0, 0);
  LinkLogMessage(link, LinkDirectionReceive, -1, "x");
  LinkCloseRecords(link);
  EXPECT_EQ(link->rxRecord, 0u);
  EXPECT_TRUE(Files().empty());
  EXPECT_EQ(LinkCurrentLogSettings().record, 0);
  EXPECT_EQ(LinkCurrentLogSettings().bluetooth, bluetooth) << "BLUETOOTH keeps its value";
}

TEST_F(LinkRecordTest, NoFileWhenAllNamesAreTakenOrTheBufferIsTooLarge) {
  for (int sequence = 0; sequence < 256; ++sequence) WriteFile("cmlCRX1" + std::to_string(sequence) + ".bin", "");
  LinkConnection* link = OpenedUnder("RECORD=1\nWRITENOW=0\n");
  EXPECT_EQ(SlotsOf(link), Slots(0, 1)) << "the slot stays free for the next direction";
  LinkRecordEvent(link, LinkDirectionReceive, 1, 0, 0, 0);
  LinkCloseRecords(link);
  EXPECT_EQ(Files().size(), 257u);
  ReleaseAll();

  // 6000 x 800000 bytes does not fit 32 bits.
  EXPECT_EQ(OpenedUnder("RECORD=6000\n", "SRX", "STX")->rxRecord, 0u);
  EXPECT_FALSE(Exists("cmlSRX10.bin"));
}

TEST_F(LinkRecordTest, SettingsFileKeysFollowTheLineRules) {
  const std::string garbage("\x01\xff\x00RECORD=9\n\x80\x90\n", 15);
  OpenedUnder(std::string(259, 'A') + "RECORD=4\n" + garbage + "BLUETOOTH=0\nLOGALL=x\nIDENT=ABCDEFGHIJK\n" +
              "WRITENOW=5\n WRITENOW=1\nrecord=7\n");
  LinkLogSettings settings = LinkCurrentLogSettings();
  EXPECT_EQ(settings.record, 4) << "the rest of a line over 259 characters is read as its own line";
  EXPECT_EQ(settings.bluetooth, 0);
  EXPECT_EQ(settings.logAll, 0) << "text that is not a number gives 0";
  EXPECT_STREQ(settings.ident, "ABCDEFGH");
  EXPECT_EQ(settings.writeNow, 5) << "keys are matched at the line start, case-sensitively";
  EXPECT_TRUE(Exists("cmlABCDEFGHCRX10.bin"));
}

TEST_F(LinkRecordTest, IdentIsCutAtBlankAndLineEnd) {
  OpenedUnder("IDENT=first\nRECORD=1\r\nIDENT=x y\r\n");
  EXPECT_STREQ(LinkCurrentLogSettings().ident, "x");
  ReleaseAll();

  OpenedUnder("RECORD=1\r\nIDENT=pc2\r\n");
  EXPECT_STREQ(LinkCurrentLogSettings().ident, "pc2");
  EXPECT_TRUE(Exists("cmlpc2CRX10.bin"));
}

TEST_F(LinkRecordTest, SettingsAreReadAgainOnlyAfterTheLastObjectIsReleased) {
  OpenedUnder("RECORD=1\nIDENT=one\nWRITENOW=0\n");
  OpenedUnder("RECORD=1\nIDENT=two\nWRITENOW=0\n");
  EXPECT_STREQ(LinkCurrentLogSettings().ident, "one") << "edits while an object lives have no effect";
  ReleaseAll();
  EXPECT_EQ((std::tuple{LinkObjectCount(), LinkCurrentLogSettings().record}), (std::tuple{0, LinkRecordUnread}));
  EXPECT_EQ(ReadFile("cmloneCRX30.bin").size(), 40u) << "release closed the files after the close event";
  EXPECT_FALSE(Exists("cmloneCTX40.bin"));

  Opened();
  EXPECT_STREQ(LinkCurrentLogSettings().ident, "two");
  EXPECT_TRUE(Exists("cmltwoCRX10.bin"));
}

TEST_F(LinkRecordTest, DisconnectOfASerialLinkRecordsItsCloseAndClosesTheFiles) {
  LinkConnection* serial = OpenedUnder("RECORD=1\nWRITENOW=0\n", "MRX", "MTX");
  EXPECT_EQ((std::tuple{LinkDisconnect(serial), serial->rxRecord}), (std::tuple{0, 0u}));
  Bytes bytes = ReadFile("cmlMRX10.bin");
  ASSERT_EQ(bytes.size(), 40u);
  EXPECT_EQ(Fields(bytes, 0)[1], 313u);
  EXPECT_FALSE(Exists("cmlMTX20.bin"));

  LinkConnection* socket = Opened("CRX", "CTX");
  LinkSetTransport(socket, &LinkSocketTransport);
  LinkRecordEvent(socket, LinkDirectionTransmit, 42, 0, 0, 0);
  EXPECT_EQ(LinkDisconnect(socket), 0);
  EXPECT_EQ(ReadFile("cmlCTX20.bin").size(), 40u);
}

TEST_F(LinkRecordTest, MalformedMessageAndFullQueueAreRecordedApart) {
  LinkConnection* link = OpenedUnder("RECORD=1\nWRITENOW=0\n");
  std::uint8_t m[8] = {130, 0, 6, 0, 0, 0, 0, 0};  // a length field of 6 cannot frame a message
  EXPECT_EQ(LinkEnqueueMessage(link, m, sizeof m, LinkStreamQueue, "test"), 1);
  m[2] = 8;
  for (std::uint32_t seq = 1; seq <= 97; ++seq) {
    LinkPutU32(m + 4, seq);
    LinkEnqueueMessage(link, m, sizeof m, LinkStreamQueue, "test");
  }
  EXPECT_EQ(link->errorCount, 2u);
  Bytes bytes = Closed(link, "cmlCRX10.bin");
  Words malformed = Fields(bytes, 0), full = Fields(bytes, bytes.size() / LinkRecordSize - 1);
  EXPECT_EQ((std::tuple{malformed[1], malformed[3], malformed[4]}), (std::tuple{LinkEventMessageMalformed, 6u, 8u}))
      << "code, a (the length field), c (the bytes)";
  EXPECT_EQ((std::tuple{full[1], full[2]}), (std::tuple{LinkEventMessageDropped, 97u})) << "code, b (the sequence)";
}

TEST_F(LinkRecordTest, DebugLinesNameTheRecordFiles) {
  WriteFile("CMLLOG.INI", "RECORD=1\nWRITENOW=0\n");
  LinkSetDebugFile("debug.txt");
  LinkConnection* link = LinkCreate();
  links_.push_back(link);
  link->isServer = 1;
  LinkOpenRecord(link, LinkDirectionReceive, "SRX");
  LinkCloseRecords(link);
  LinkSetDebugFile(nullptr);
  std::string text = ReadText("debug.txt");
  EXPECT_NE(text.find("s Opened logfile cmlSRX10.bin\n"), std::string::npos);
  EXPECT_NE(text.find("s closed logfile cmlSRX10.bin\n"), std::string::npos);
}

TEST_F(LinkRecordTest, ThreadsRecordingAtOnceLoseNothing) {
  LinkSetDebugFile("debug.txt");
  LinkConnection* shared = OpenedUnder("RECORD=1\nLOGALL=1\nWRITENOW=0\n");
  LinkConnection* own[3] = {Opened(), Opened(), Opened()};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      const std::uint8_t message[8] = {0x90, 0, 8, 0, 0, 0, 0, 0};
      for (std::uint32_t i = 0; i < 500; ++i) {
        LinkRecordEvent(shared, LinkDirectionReceive, 10 + t, i, 0, 0);
        LinkRecordEvent(own[t], LinkDirectionTransmit, 20, i, 0, 0);
        LinkLogMessage(shared, LinkDirectionReceive, 1, message);
        LinkDebugPrint("c thread %d record %u\n", t, i);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  LinkCloseRecords(shared);
  LinkSetDebugFile(nullptr);
  EXPECT_EQ((std::tuple{ReadFile("cmlCRX10.bin").size(), ReadFile("cmlCRX10.binFULL").size()}),
            (std::tuple{1500u * LinkRecordSize, 1500u * 16}));
  for (LinkConnection* link : own) LinkCloseRecords(link);
  for (const char* file : {"cmlCTX40.bin", "cmlCTX60.bin", "cmlCTX80.bin"})
    EXPECT_EQ(ReadFile(file).size(), 500u * LinkRecordSize) << file;
  std::ifstream debug("debug.txt");
  int threadLines = 0;
  for (std::string line; std::getline(debug, line);)
    if (line.rfind("c thread ", 0) == 0 && line.find(" record ") != std::string::npos) ++threadLines;
  EXPECT_EQ(threadLines, 1500) << "every debug line arrives whole";
}

TEST_F(LinkDirectoryTest, NewFileIsCreatedOnlyWhereNoneExistsAndWrittenBinary) {
  std::FILE* file = LinkCreateNewFile("cmlCRX10.bin");
  ASSERT_NE(file, nullptr);
  const unsigned char bytes[] = {0x0a, 0x00, 0x0d, 0x0a, 0x1a, 0xff};
  ASSERT_EQ(std::fwrite(bytes, 1, sizeof bytes, file), sizeof bytes);
  std::fclose(file);

  errno = 0;
  EXPECT_EQ(LinkCreateNewFile("cmlCRX10.bin"), nullptr) << "an earlier file is never opened again";
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(ReadFile("cmlCRX10.bin"), Bytes(bytes, bytes + sizeof bytes));
  EXPECT_EQ(LinkCreateNewFile("no-such-folder/cmlCRX11.bin"), nullptr);
}

constexpr std::uint64_t twoTo32 = 1ull << 32;

TEST(LinkClockTest, MillisecondsTruncateAndWrapAt32Bits) {
  EXPECT_EQ(LinkCountToMilliseconds(1999999, 1000000000), 1u);
  EXPECT_EQ(LinkCountToMilliseconds(12345, 1000), 12345u);
  EXPECT_EQ(LinkCountToMilliseconds(twoTo32 + 5, 1000), 5u);
  EXPECT_EQ(LinkCountToMilliseconds((twoTo32 + 7) * 1000, 1000000), 7u);

  std::uint32_t before = LinkCountToMilliseconds(twoTo32 - 10, 1000);
  std::uint32_t after = LinkCountToMilliseconds(twoTo32 + 5, 1000);
  EXPECT_EQ(after - before, 15u) << "intervals across the wrap by unsigned subtraction";
}

TEST(LinkClockTest, MicrosecondsKeepFractionsAndTimestampsWrap) {
  EXPECT_DOUBLE_EQ(LinkCountToMicroseconds(1, 3), 1000000.0 / 3);
  EXPECT_DOUBLE_EQ(LinkCountToMicroseconds(twoTo32, 1000000), 4294967296.0);
  EXPECT_EQ(LinkMicrosecondsToTimestamp(4294967296.0 + 7.9), 7u);
  EXPECT_EQ(LinkMicrosecondsToTimestamp(41.99), 41u);
  std::uint32_t before = LinkMicrosecondsToTimestamp(4294967290.0);
  EXPECT_EQ(LinkMicrosecondsToTimestamp(4294967296.0 + 4) - before, 10u);
}

TEST(LinkClockTest, RunningClocksAdvanceInTheirUnits) {
  std::uint32_t startMs = LinkMilliseconds();
  double startUs = LinkMicroseconds();
  std::uint32_t startStamp = LinkTimestamp();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::uint32_t ms = LinkMilliseconds() - startMs;
  double us = LinkMicroseconds() - startUs;
  std::uint32_t stamp = LinkTimestamp() - startStamp;
  // Each in microseconds: the sleep, and not much more.
  for (double elapsed : {ms * 1000.0, us, static_cast<double>(stamp)}) {
    EXPECT_GE(elapsed, 49000.0);
    EXPECT_LT(elapsed, 2000000.0);
  }
  EXPECT_NE(LinkClockFrequency(), 0u);
}

}  // namespace
