// Receive queues, message building and stream reassembly, driven directly without sockets.
#include "link/link.h"
#include "link_queue.h"
#include "link_test_support.h"
#include "link_transport.h"
#include "link_wire.h"

#include <cstring>
#include <tuple>
#include <vector>

namespace {

class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link = LinkCreate();
    ASSERT_NE(link, nullptr);
    LinkSetTransport(link, &LinkSocketTransport);  // a socket link: no serial polling
  }
  void TearDown() override { LinkRelease(link); }

  int Enqueue(const Bytes& m, int queue) {
    return LinkEnqueueMessage(link, m.data(), static_cast<int>(m.size()), queue, "test");
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

  LinkConnection* link = nullptr;
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

}  // namespace
