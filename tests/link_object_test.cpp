// Connection objects and what they keep: creation, the registry of 16, the object count, release of foreign
// pointers, user buffers, classes, handles, the object layer's debug lines; the receive queues, message
// building and stream reassembly, driven without sockets; and the key/value lists kept beside the objects:
// storing, matching, deleting, settings messages and the changed keys.
#include "link_object.h"

#include "link/link.h"
#include "link_keyvalue.h"
#include "link_queue.h"
#include "link_record.h"
#include "link_test_support.h"
#include "link_transport.h"
#include "link_wire.h"

#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

class LinkObjectTest : public ::testing::Test {
 protected:
  void TearDown() override {
    LinkHandleSlot(0, 0);
    for (LinkConnection* link : links_) LinkRelease(link);
    EXPECT_EQ(LinkObjectCount(), 0);
  }
  LinkConnection* Create() {
    LinkConnection* link = LinkCreate();
    links_.push_back(link);
    return link;
  }
  std::vector<LinkConnection*> links_;
};

// Memory aligned for the record and one byte larger, owned by the test: ASan reports a release that frees it.
struct alignas(LinkConnection) RecordMemory {
  std::uint8_t bytes[sizeof(LinkConnection) + 1];
};

std::vector<int> ClassTable(const LinkConnection* link) { return {link->classOf, link->classOf + 256}; }

TEST_F(LinkObjectTest, NewObjectIsZeroExceptTheDefaultDatagramCodes) {
  LinkConnection* link = Create();
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(LinkObjectSize(), static_cast<int>(sizeof(LinkConnection)));
  EXPECT_EQ((std::tuple{link->userBuffer, link->status, link->streamSeq, link->queues[0].count, link->comPort}),
            (std::tuple{0, 0, 0u, 0, 0}));
  EXPECT_EQ(link->queues[1].slots[95], nullptr);
  std::vector<int> defaults(256, ClassStream);
  std::fill(defaults.begin() + 160, defaults.begin() + 176, ClassDatagram);
  defaults[239] = ClassDatagram;
  EXPECT_EQ(ClassTable(link), defaults);
}

TEST_F(LinkObjectTest, SeventeenthObjectIsReturnedButNotRegistered) {
  for (int i = 0; i < 16; ++i) {
    LinkConnection* link = Create();
    EXPECT_EQ((std::tuple{LinkIsValid(link), LinkRegistryIndex(link)}), (std::tuple{1, i}));
  }
  LinkConnection* extra = LinkCreate();
  ASSERT_NE(extra, nullptr);
  EXPECT_EQ(
      (std::tuple{LinkIsValid(extra), LinkIsInvalid(extra, 5), LinkSetLineWatch(extra, 1), LinkDisconnect(extra)}),
      (std::tuple{0, 1, -1, 0}));
  EXPECT_EQ(LinkObjectCount(), 17);
  LinkRelease(extra);  // freed all the same: ASan reports a leak otherwise
  EXPECT_EQ((std::tuple{LinkObjectCount(), LinkRegistryHighest()}), (std::tuple{16, 15}));
}

TEST_F(LinkObjectTest, RegistryEntriesAreReusedLowestFirst) {
  LinkConnection* entry[16];
  for (auto& link : entry) link = LinkCreate();
  EXPECT_EQ(LinkRegistryHighest(), 15);
  LinkRelease(entry[3]);
  EXPECT_EQ(LinkRegistryHighest(), 15);
  entry[3] = LinkCreate();
  EXPECT_EQ(LinkRegistryIndex(entry[3]), 3);

  LinkRelease(entry[14]);
  LinkRelease(entry[15]);  // the highest: the highest index in use drops by one only
  EXPECT_EQ(LinkRegistryHighest(), 14);
  entry[14] = LinkCreate();
  EXPECT_EQ(LinkRegistryIndex(entry[14]), 14);
  entry[15] = LinkCreate();
  EXPECT_EQ(LinkRegistryIndex(entry[15]), 15) << "the registry grows again up to 16";
  for (auto* link : entry) LinkRelease(link);
}

TEST_F(LinkObjectTest, ObjectCountCyclesAndMarksTheLogSettingsUnread) {
  EXPECT_EQ(LinkObjectCount(), 0);
  LinkConnection* first = LinkCreate();
  LinkConnection* second = LinkCreate();
  EXPECT_EQ((std::tuple{LinkObjectCount(), LinkCleanup()}), (std::tuple{2, 2}));
  LinkRelease(first);
  LinkRelease(second);
  EXPECT_EQ((std::tuple{LinkObjectCount(), LinkCurrentLogSettings().record}), (std::tuple{0, LinkRecordUnread}));
  LinkConnection* again = LinkCreate();
  EXPECT_EQ((std::tuple{LinkObjectCount(), LinkRegistryIndex(again)}), (std::tuple{1, 0}));
  LinkRelease(again);
}

TEST_F(LinkObjectTest, ReleaseIgnoresPointersTheLibraryDoesNotHold) {
  LinkConnection* link = LinkCreate();
  LinkConnection* other = Create();
  LinkRelease(link);
  LinkRelease(link);  // already released: no double free, the count is not lowered twice
  EXPECT_EQ(LinkObjectCount(), 1);
  LinkConnection stranger{};
  LinkRelease(&stranger);
  LinkRelease(nullptr);
  EXPECT_EQ(LinkObjectCount(), 1);
  EXPECT_EQ((std::tuple{LinkIsValid(other), LinkIsValid(&stranger), LinkIsValid(nullptr), LinkIsInvalid(nullptr, 0)}),
            (std::tuple{1, 0, 0, 1}));
}

TEST_F(LinkObjectTest, UserBufferIsCheckedInitialisedAndNeverFreed) {
  auto block = std::make_unique<RecordMemory>();
  std::uint8_t* memory = block->bytes;
  int size = LinkObjectSize();
  EXPECT_TRUE(LinkInitBuffer(nullptr, size) == nullptr && LinkInitBuffer(memory, size - 1) == nullptr);
  EXPECT_EQ(LinkInitBuffer(memory + 1, size), nullptr) << "misaligned for the record";
  EXPECT_EQ(LinkObjectCount(), 0);

  std::memset(memory, 0xAB, sizeof(LinkConnection));
  LinkConnection* link = LinkInitBuffer(memory, size);
  ASSERT_EQ(static_cast<void*>(link), memory);
  EXPECT_EQ((std::tuple{link->userBuffer, link->status, link->classOf[239], LinkIsValid(link)}),
            (std::tuple{1, 0, ClassDatagram, 1}));
  EXPECT_EQ(LinkInitBuffer(memory, size), nullptr) << "a live object is not wiped";
  EXPECT_EQ(LinkObjectCount(), 1);
  LinkRelease(link);  // not freed: the test owns the memory
  EXPECT_EQ((std::tuple{LinkIsValid(link), LinkObjectCount()}), (std::tuple{0, 0}));
  link = LinkInitBuffer(memory, size);  // the same memory may be initialised again once released
  EXPECT_EQ(LinkIsValid(link), 1);
  LinkRelease(link);
}

TEST_F(LinkObjectTest, SetClassCoversTheInclusiveRangeOfLowBytes) {
  LinkConnection* link = Create();
  std::vector<int> want = ClassTable(link);  // every code of a range, and nothing beside it
  LinkSetClass(link, 144, 191, ClassDatagram);
  std::fill(want.begin() + 144, want.begin() + 192, ClassDatagram);
  EXPECT_EQ(ClassTable(link), want);
  LinkSetClass(link, 200, 199, ClassLatest);
  EXPECT_EQ(ClassTable(link), want) << "an empty range";
  LinkSetClass(link, 130, 130, ClassBroadcast);
  want[130] = ClassBroadcast;
  EXPECT_EQ(ClassTable(link), want);
  LinkSetClass(link, 250, 0x1FB, ClassLatest);  // only the low byte of the last code counts: 251
  want[250] = want[251] = ClassLatest;
  EXPECT_EQ(ClassTable(link), want);
  LinkSetClass(nullptr, 0, 255, 1);
}

TEST_F(LinkObjectTest, SerialSettingsOfTheObject) {
  LinkConnection* link = Create();
  EXPECT_EQ((std::tuple{LinkSetLineWatch(link, 3), LinkSetLineWatch(link, 0)}), (std::tuple{0, 3})) << "the one before";
  LinkSetSerialModes(link, 1, 2);
  EXPECT_EQ((std::tuple{link->shortFrames, link->rawMode}), (std::tuple{-1, 2}));
  EXPECT_NE(LinkGetShortFrames(link), 0);
  LinkSetTransport(link, &LinkSocketTransport);
  EXPECT_EQ((std::tuple{LinkGetShortFrames(link), LinkGetShortFrames(nullptr)}), (std::tuple{0, 0}))
      << "a socket link has no short frames";
  LinkSetSerialModes(nullptr, 1, 1);
}

TEST_F(LinkObjectTest, HandleTableCreatesFindsAndReleases) {
  EXPECT_EQ((std::tuple{LinkHandleSlot(8, 1), LinkHandleSlot(-1, 1)}), (std::tuple{-1, -1})) << "no such handles";
  std::intptr_t made = LinkHandleSlot(7, 1);
  LinkConnection* seven = LinkFromHandle(7);
  ASSERT_NE(seven, nullptr);
  EXPECT_EQ(made, reinterpret_cast<std::intptr_t>(seven));
  EXPECT_EQ(LinkHandleSlot(7, 1), made) << "a filled entry is kept";
  EXPECT_TRUE(LinkFromHandle(8) == nullptr && LinkFromHandle(2) == nullptr);

  LinkSetClassByHandle(7, 128, 128, ClassLatest);
  EXPECT_EQ(seven->classOf[128], ClassLatest);
  EXPECT_EQ((std::tuple{LinkIsInvalidByHandle(7, 0), LinkIsInvalidByHandle(2, 0)}), (std::tuple{0, 1}));
  EXPECT_EQ((std::tuple{LinkDisconnectByHandle(2), LinkDisconnectByHandle(7)}), (std::tuple{0, 0}));

  LinkHandleSlot(1, 1);
  EXPECT_EQ(LinkObjectCount(), 2);
  EXPECT_EQ((std::tuple{LinkHandleSlot(3, 0), LinkObjectCount()}), (std::tuple{3, 0})) << "all released";
  EXPECT_EQ(LinkFromHandle(7), nullptr);

  LinkHandleSlot(4, 1);
  EXPECT_EQ((std::tuple{LinkHandleSlot(4, -1), LinkFromHandle(4), LinkObjectCount()}), (std::tuple{0, nullptr, 0}));
}

TEST_F(LinkObjectTest, ReleasingAHandleObjectDirectlyEmptiesItsHandle) {
  auto object = reinterpret_cast<LinkConnection*>(LinkHandleSlot(5, 1));
  LinkRelease(object);
  EXPECT_EQ((std::tuple{LinkFromHandle(5), LinkIsInvalidByHandle(5, 0)}), (std::tuple{nullptr, 1}));
}

TEST_F(LinkObjectTest, CleanupEmptiesTheListsOnlyWithoutObjects) {
  LinkSetValue("RATE", "5");
  LinkConnection* link = Create();
  EXPECT_EQ((std::tuple{LinkCleanup(), LinkSettingsEntries().size()}), (std::tuple{1, 1u}));
  LinkRelease(link);
  links_.clear();
  EXPECT_EQ((std::tuple{LinkCleanup(), LinkSettingsEntries().size()}), (std::tuple{0, 0u}));
}

TEST_F(LinkDirectoryTest, CreateAndReleaseWriteTheirDebugLines) {
  LinkSetDebugFile("first.txt");
  LinkConnection* link = LinkCreate();
  unsigned address = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(link));
  LinkRelease(link);
  LinkSetDebugFile("second.txt");
  LinkDebugPrint("%s %d\n", "second", 2);
  LinkSetDebugFile(nullptr);
  LinkDebugPrint("not written anywhere\n");

  char expected[200];
  std::snprintf(expected, sizeof expected,
                "Alloc object : %x\nConnection status : 0\nFree  %x\nFree object was found\n", address, address);
  EXPECT_EQ(ReadText("first.txt"), expected);
  EXPECT_EQ(ReadText("second.txt"), "second 2\n");

  std::FILE* stream = std::tmpfile();
  LinkSetDebugStream(stream);
  LinkDebugPrint("x");
  LinkSetDebugFile(nullptr);  // closes only what it opened itself, and clears the stream
  LinkDebugPrint("y");
  EXPECT_EQ(std::ftell(stream), 1);
  std::fclose(stream);
}

class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(link, nullptr);
    LinkSetTransport(link, &LinkSocketTransport);  // a socket link: no serial polling
  }
  void TearDown() override { LinkRelease(link); }

  int Enqueue(const Bytes& m, int q) {
    return LinkEnqueueMessage(link, m.data(), static_cast<int>(m.size()), q, "test");
  }
  // Feeds bytes to the reassembly as one TCP receive would.
  void Stream(const Bytes& bytes) {
    std::uint32_t have = link->rxHave;
    ASSERT_LE(have + bytes.size(), sizeof link->rxBuffer);
    std::memcpy(link->rxBuffer + have, bytes.data(), bytes.size());
    LinkReassembleStream(link, have, static_cast<int>(bytes.size()));
  }
  // The bytes the reassembly holds and the messages in the stream queue.
  std::tuple<std::uint32_t, int> Held() const { return {link->rxHave, link->queues[0].count}; }
  // The next message of the selected queues at once, or nothing.
  Bytes Received(int selector) { return ::Received(link, selector, 0); }
  std::vector<std::uint32_t> DrainSequences(int selector) {
    std::vector<std::uint32_t> seqs;
    for (Bytes m = Received(selector); !m.empty(); m = Received(selector)) seqs.push_back(LinkGetU32(&m[m.size() - 4]));
    return seqs;
  }

  LinkConnection* link = LinkCreate();
};

TEST_F(QueueTest, BuildMessageNumbersStreamAndDatagramCodesApart) {
  std::uint8_t buffer[32];
  std::memset(buffer, 0xEE, sizeof buffer);
  ASSERT_EQ(LinkBuildMessage(link, buffer, sizeof buffer, 224, 4, nullptr, 0), 8);
  EXPECT_EQ(Bytes(buffer, buffer + 9), Join({Frame(224, 4), {0}})) << "and the whole buffer is cleared";
  EXPECT_EQ(LinkMessageLength(nullptr, buffer), 8);

  const char payload[] = "abc";
  ASSERT_EQ(LinkBuildMessage(link, buffer, sizeof buffer, 160, 0, payload, 3), 11);  // class 1 by default
  EXPECT_EQ(std::memcmp(buffer + 4, "abc", 3), 0);
  EXPECT_EQ(LinkGetU32(buffer + 7), 1u) << "datagram codes have their own counter";
  ASSERT_EQ(LinkBuildMessage(link, buffer, sizeof buffer, 130, 0, nullptr, 0), 8);
  EXPECT_EQ(LinkGetU32(buffer + 4), 2u);

  EXPECT_EQ(LinkBuildMessage(link, buffer, 10, 130, 0, payload, 3), 0) << "does not fit";
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(LinkBuildMessage(nullptr, buffer, sizeof buffer, 130, 0, nullptr, 0), 0);
}

TEST_F(QueueTest, DeliversBySmallestSequenceAndCountsGaps) {
  for (std::uint32_t seq : {5u, 3u, 4u}) ASSERT_EQ(Enqueue(Frame(130, 0, {}, seq), LinkStreamQueue), 0);
  EXPECT_EQ((std::tuple{link->seqGaps[0], LinkQuery(link, 2)}), (std::tuple{1u, 130}))
      << "5 first is no gap, 3 after 5 is one, 4 after 3 is fine";
  EXPECT_EQ(DrainSequences(0), (std::vector<std::uint32_t>{3, 4, 5}));

  // Unsigned comparison: 0xFFFFFFF0 is newer than nothing but older than nothing smaller.
  Enqueue(Frame(130, 0, {}, 0xFFFFFFF0u), LinkStreamQueue);
  Enqueue(Frame(130, 0, {}, 7), LinkStreamQueue);
  EXPECT_EQ(DrainSequences(0), (std::vector<std::uint32_t>{7, 0xFFFFFFF0u}));
}

TEST_F(QueueTest, FullQueueDropsAndCountsThenAcceptsAgain) {
  for (std::uint32_t seq = 1; seq <= 96; seq++) ASSERT_EQ(Enqueue(Frame(130, 0, {}, seq), LinkStreamQueue), 0);
  EXPECT_EQ((std::tuple{Enqueue(Frame(130, 0, {}, 97), LinkStreamQueue), link->errorCount}), (std::tuple{1, 1u}));
  EXPECT_EQ(Received(0), Frame(130, 0));
  EXPECT_EQ((std::tuple{Enqueue(Frame(130, 0, {}, 98), LinkStreamQueue), link->queues[0].count}), (std::tuple{0, 96}));
}

TEST_F(QueueTest, LatestOnlyReplacesItsTwinOnlyWhileConnected) {
  LinkSetClass(link, 200, 200, ClassLatest);
  Enqueue(Frame(200, 1, Bytes(4, 0x11)), LinkDatagramQueue);
  Enqueue(Frame(200, 1, Bytes(4, 0x22), 2), LinkDatagramQueue);
  EXPECT_EQ(link->queues[1].count, 2) << "not connected: both kept";
  LinkFlush(link);

  link->status = 3;
  Enqueue(Frame(200, 1, Bytes(4, 0x11)), LinkDatagramQueue);
  Enqueue(Frame(200, 2, Bytes(4, 0x33), 2), LinkDatagramQueue);  // another subcode: no twin
  Enqueue(Frame(200, 1, Bytes(4, 0x22), 3), LinkDatagramQueue);
  ASSERT_EQ(link->queues[1].count, 2);
  EXPECT_EQ(Received(1), Frame(200, 2, Bytes(4, 0x33), 2));
  EXPECT_EQ(Received(1), Frame(200, 1, Bytes(4, 0x22), 3)) << "the newer content";
}

TEST_F(QueueTest, ReceiveSelectorsPendingAndQueries) {
  Enqueue(Frame(130, 0, Bytes(12)), LinkStreamQueue);
  Enqueue(Frame(153, 0), LinkDatagramQueue);
  EXPECT_EQ((std::tuple{LinkPending(link, -1), LinkPending(link, 0), LinkPending(link, 1)}), (std::tuple{3, 1, 2}));
  EXPECT_EQ((std::tuple{LinkQuery(link, 0), LinkQuery(link, 1), LinkQuery(link, 3), LinkQuery(link, 4)}),
            (std::tuple{1, 1, 12, 0}));

  std::uint8_t small[4];
  EXPECT_EQ(LinkReceive(link, -1, small, sizeof small), 4) << "stream queue first, cut to the buffer";
  EXPECT_EQ(small[0], 130);
  EXPECT_EQ((std::tuple{LinkQuery(link, 1), LinkQuery(link, 2)}), (std::tuple{0, 0}))
      << "the rest of a cut one is gone";
  EXPECT_EQ(Received(-1), Frame(153, 0));
  EXPECT_EQ((std::tuple{Received(-1).size(), LinkPending(link, -1)}), (std::tuple{0u, 0}));
}

TEST_F(QueueTest, FlushEmptiesQueuesAndRestartsSequenceCheck) {
  Enqueue(Frame(130, 0, {}, 10), LinkStreamQueue);
  link->rxHave = 5;
  LinkFlush(link);
  EXPECT_EQ((std::tuple{link->rxHave, LinkPending(link, -1), link->lastSeq[0]}), (std::tuple{0u, 0, 0u}));
  Enqueue(Frame(130, 0, {}, 42), LinkStreamQueue);
  EXPECT_EQ(link->seqGaps[0], 0u);
}

TEST_F(QueueTest, MalformedMessagesAreDroppedAndCounted) {
  const Bytes overSlot = Frame(130, 0, Bytes(1600));  // 1608 bytes: fits the receive buffer, not a slot
  for (const Bytes& m : {WithLength(Frame(130, 0), 0), WithLength(Frame(130, 0), 6),
                         WithLength(Frame(130, 0, Bytes(4)), 40), overSlot, Bytes{130, 0, 8}})
    EXPECT_EQ(Enqueue(m, LinkDatagramQueue), 1) << m.size() << " bytes";
  EXPECT_EQ((std::tuple{link->errorCount, LinkPending(link, 1)}), (std::tuple{5u, 0}));
  EXPECT_EQ(Enqueue(Frame(130, 0, Bytes(1592)), LinkDatagramQueue), 0) << "1600 bytes fit";
}

TEST_F(QueueTest, StreamCutsMergedAndSplitReads) {
  auto a = Frame(130, 1, Bytes(3));
  auto b = Frame(131, 2, Bytes(20), 2);
  auto c = Frame(132, 3, {}, 3);
  Stream(Join({a, b}));
  EXPECT_EQ(Held(), (std::tuple{0u, 2})) << "two messages in one read";

  // One message a byte at a time, then the start of the next together with the end of this one.
  for (size_t i = 0; i + 1 < c.size(); i++) Stream({c[i]});
  EXPECT_EQ(Held(), (std::tuple{7u, 2}));
  auto d = Frame(133, 4, Bytes(30), 4);
  Stream(Join({{c.back()}, Bytes(d.begin(), d.begin() + 10)}));
  EXPECT_EQ(Held(), (std::tuple{10u, 3})) << "queued once, after its last byte";
  Stream(Bytes(d.begin() + 10, d.end()));
  std::uint8_t buffer[64];
  std::vector<int> codes;
  while (int n = LinkReceive(link, 0, buffer, sizeof buffer)) {
    codes.push_back(buffer[0]);
    if (buffer[0] != 133) continue;
    EXPECT_EQ(n, 38);
    EXPECT_EQ(std::memcmp(buffer, d.data(), d.size()), 0);
  }
  EXPECT_EQ(codes, (std::vector<int>{130, 131, 132, 133}));
}

TEST_F(QueueTest, StreamResynchronisesAfterBadData) {
  Stream({1, 2, 3, 4, 5, 6, 7, 8, 9});
  EXPECT_EQ((std::tuple{link->rxHave, link->errorCount}), (std::tuple{0u, 0u}))
      << "data that does not start with a code of 128 or more";

  Stream(Join({WithLength(Frame(130, 0), 0), Frame(131, 0, {}, 2)}));
  EXPECT_EQ((std::tuple{link->rxHave, link->errorCount}), (std::tuple{0u, 1u}))
      << "a zero length field must not stall the stream";

  Stream(WithLength(Frame(130, 0), 5000));
  EXPECT_EQ((std::tuple{link->rxHave, link->errorCount}), (std::tuple{0u, 2u})) << "a length it cannot hold";

  Stream(Frame(134, 0, {}, 3));
  EXPECT_EQ((std::tuple{LinkQuery(link, 2), link->queues[0].count}), (std::tuple{134, 1}));
}

TEST_F(QueueTest, OversizedStreamMessageIsDroppedWithoutLosingTheNext) {
  auto big = Frame(130, 0, Bytes(1598));  // 1606 bytes: held whole, but longer than a slot
  Stream(Bytes(big.begin(), big.begin() + 1000));
  const Bytes rest = Join({Bytes(big.begin() + 1000, big.end()), Frame(131, 0, {}, 2)});
  // A receive takes at most what rxBuffer has room for: the rest of the big one and 2 bytes of the next.
  Stream(Bytes(rest.begin(), rest.begin() + 608));
  EXPECT_EQ(link->rxHave, 2u);
  Stream(Bytes(rest.begin() + 608, rest.end()));
  EXPECT_EQ((std::tuple{link->errorCount, link->queues[0].count, LinkQuery(link, 2)}), (std::tuple{1u, 1, 131}));
}

TEST_F(QueueTest, SendRejectsWhatCannotGo) {
  Bytes m = Frame(130, 0, Bytes(1593));  // 1601 bytes
  EXPECT_EQ(LinkSend(link, m.data(), 0), 32);
  EXPECT_EQ(LinkSend(link, Frame(127, 0).data(), 0), 33);
  EXPECT_EQ(LinkSend(link, Frame(130, 0).data(), 8), 10038) << "a socket link that was never opened has no socket";
  EXPECT_EQ(LinkSend(link, WithLength(Frame(130, 0), 0).data(), 8), 34);
  EXPECT_EQ(LinkSend(nullptr, m.data(), 0), 0) << "unregistered: nothing, 0";
}

TEST_F(QueueTest, HandleFormsReachTheObject) {
  ASSERT_NE(LinkHandleSlot(6, 1), 0);
  LinkConnection* h = LinkFromHandle(6);
  LinkSetTransport(h, &LinkSocketTransport);
  std::uint8_t buffer[16];
  ASSERT_EQ(LinkBuildMessageByHandle(6, buffer, sizeof buffer, 130, 0, nullptr, 0), 8);
  EXPECT_EQ(LinkMessageLengthByHandle(6, buffer), 8);
  std::memcpy(h->rxBuffer, buffer, 8);
  ASSERT_EQ(LinkEnqueue(h, 8, LinkStreamQueue, "test"), 0);
  EXPECT_EQ((std::tuple{LinkPendingByHandle(6, 0), LinkQueryByHandle(6, 2)}), (std::tuple{1, 130}));
  EXPECT_EQ(LinkReceiveByHandle(6, 0, buffer, sizeof buffer), 8);
  LinkFlushByHandle(6);
  EXPECT_EQ(LinkSendByHandle(5, buffer, 0), 0) << "an empty handle acts as an unregistered object";
  LinkHandleSlot(6, -1);
}

using Texts = std::vector<std::string>;
using KeyValue = std::pair<const char*, const char*>;

class LinkKeyValueTest : public ::testing::Test {
 protected:
  void SetUp() override { LinkClearKeyValueLists(); }
  void TearDown() override { LinkClearKeyValueLists(); }
};

// A settings message: text length at offset 6, text from offset 8.
std::vector<std::uint8_t> SettingsMessage(const std::string& text, std::size_t room = 0) {
  std::vector<std::uint8_t> message(8 + text.size() + room, 0);
  message[0] = 0x80;
  message[6] = static_cast<std::uint8_t>(text.size());
  message[7] = static_cast<std::uint8_t>(text.size() >> 8);
  std::memcpy(message.data() + 8, text.data(), text.size());
  return message;
}

TEST_F(LinkKeyValueTest, SetReplacesTheEntryOfTheSameKey) {
  for (const KeyValue& entry : {KeyValue{"RATE", "5"}, {"rate", "6"}, {"MODE", nullptr}})
    EXPECT_EQ(LinkSetValue(entry.first, entry.second), 1) << entry.first;
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"rate=6", "MODE"}));
  EXPECT_STREQ(LinkFindValue("RATE"), "=6");
  EXPECT_STREQ(LinkFindValue("RATE="), "6");
  EXPECT_STREQ(LinkFindValue("mode"), "");
  EXPECT_TRUE(LinkFindValue("SPEED") == nullptr && LinkFindValue(nullptr) == nullptr);
}

TEST_F(LinkKeyValueTest, KeysMatchOverTheirOwnLength) {
  LinkSetValue("KEYBOARD", "1");
  EXPECT_STREQ(LinkFindValue("KEY"), "BOARD=1");
  EXPECT_EQ(LinkFindValue("KEY="), nullptr);
  LinkSetValue("KEY", "2");  // "KEY" matches the entry KEYBOARD=1 and replaces it
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"KEY=2"}));
}

TEST_F(LinkKeyValueTest, TextsThatDoNotFitOrHaveNoKeyAreNotStored) {
  std::string key(200, 'K');
  std::string value(78, 'v');  // 200 + 1 + 78 + terminator = 280
  EXPECT_EQ(LinkSetValue(key.c_str(), value.c_str()), 1);
  value += 'v';
  EXPECT_EQ(LinkSetValue(key.c_str(), value.c_str()), 0) << "one byte over 280";
  EXPECT_STREQ(LinkFindValue(key.c_str()), ("=" + value.substr(1)).c_str());
  EXPECT_EQ((std::tuple{LinkSetValue("", "x"), LinkSetValue(nullptr, "x")}), (std::tuple{0, 0})) << "no key";
  EXPECT_EQ(LinkSettingsEntries().size(), 1u);
  EXPECT_EQ(LinkFindValue(""), nullptr);
}

TEST_F(LinkKeyValueTest, DeleteRemovesTheFirstMatchOrEverything) {
  for (const KeyValue& entry : {KeyValue{"A", "1"}, {"B", "2"}, {"C", "3"}}) LinkSetValue(entry.first, entry.second);
  LinkDeleteValue("b");
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"A=1", "C=3"}));
  for (const char* nothing : {"", "Z"}) LinkDeleteValue(nothing);
  EXPECT_EQ(LinkSettingsEntries().size(), 2u);
  LinkDeleteValue(nullptr);
  EXPECT_TRUE(LinkSettingsEntries().empty());
}

TEST_F(LinkKeyValueTest, SettingsMessageFillsBothLists) {
  LinkSetValue("B", "old");
  EXPECT_EQ(LinkParseSettings(SettingsMessage("A=1\nB\nC=3").data()), 2);
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"B", "A=1", "C=3"}));
  EXPECT_STREQ(LinkFindValue("A"), "=1");
  EXPECT_STREQ(LinkNextChangedKey(), "A");
  EXPECT_STREQ(LinkNextChangedKey(), "C");
  EXPECT_EQ(LinkNextChangedKey(), nullptr);
}

TEST_F(LinkKeyValueTest, SettingsMessageStopsAtItsLengthOrNul) {
  std::vector<std::uint8_t> message = SettingsMessage("X=1\nY=2", 8);
  std::memcpy(message.data() + 15, "\nZ=3", 4);  // beyond the text length: not read
  EXPECT_EQ(LinkParseSettings(message.data()), 2);
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"X=1", "Y=2"}));

  LinkClearKeyValueLists();
  EXPECT_EQ(LinkParseSettings(SettingsMessage(std::string("P=1\0Q=2", 7)).data()), 1);
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"P=1"}));
  EXPECT_EQ(LinkParseSettings(nullptr), 0);
}

TEST_F(LinkKeyValueTest, EmptyLinesAndEmptyKeysLeaveEntriesAlone) {
  LinkSetValue("FIRST", "1");
  EXPECT_EQ(LinkParseSettings(SettingsMessage("\n=5\nN=2\n\n").data()), 1);
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"FIRST=1", "N=2"}));
  EXPECT_EQ(LinkChangedKeyEntries(), (Texts{"N"}));
}

TEST_F(LinkKeyValueTest, NewMessageReplacesTheChangedKeys) {
  LinkParseSettings(SettingsMessage("A=1\nB=2").data());
  LinkParseSettings(SettingsMessage("C=1").data());
  EXPECT_EQ(LinkChangedKeyEntries(), (Texts{"C"}));
  LinkParseSettings(SettingsMessage(std::string(300, 'k') + "=1").data());
  EXPECT_EQ(std::strlen(LinkNextChangedKey()), 260u);
}

}  // namespace
