// Soak run: a hostile peer at full speed against a client and a server link on loopback: random bytes,
// every bad length and valid frames on each TCP connection (dropped every 5 s), and a datagram flood with
// pokes and announcements of random names, which a stand-in for the slowest name servers answers (2 s, no
// address: no lookup leaves this machine). Both links reopen half-way. Prints a line per link and one for
// the process; exits with 1 when a valid frame is out of order, a link does not reopen or takes no valid
// frame of a kind, or threads beyond the resolver's running lookups are left behind.
// Usage: soak_link_hostile [seconds]
#include "link/link.h"
#include "link_net.h"
#include "link_programs_support.h"
#include "link_resolver.h"
#include "link_wire.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using linktest::At;
using linktest::Loopback;
using Bytes = std::vector<std::uint8_t>;

constexpr int StreamCode = 150;    // valid stream frames
constexpr int DatagramCode = 165;  // valid datagram frames (a datagram class from the start)
constexpr std::uint32_t Magic = 0x5A17C0DEu;
constexpr auto ConnectionLife = std::chrono::seconds(5);

std::atomic<bool> running{true};
std::atomic<int> lookups{0};

int NoAddressAfterTwoSeconds(const char*, std::uint32_t*, int, int* found) {
  lookups++;
  std::this_thread::sleep_for(std::chrono::seconds(2));
  *found = 0;
  return LinkErrHostNotFound;
}

// A valid frame: magic, the sequence number inverted, then the sequence number itself.
Bytes ValidFrame(int code, std::uint32_t seq) {
  Bytes m(16);
  m[0] = static_cast<std::uint8_t>(code);
  LinkPutU16(m.data() + 2, 16);
  LinkPutU32(m.data() + 4, Magic);
  LinkPutU32(m.data() + 8, ~seq);
  LinkPutU32(m.data() + 12, seq);
  return m;
}

bool IsValidFrame(const std::uint8_t* m, int n, int code) {
  return n == 16 && m[0] == code && LinkGetU32(m + 4) == Magic && LinkGetU32(m + 8) == ~LinkGetU32(m + 12);
}

// Length fields no receiver can use, taken in turn: below the header's size, then above the longest message.
std::uint16_t NextBadLength(std::uint32_t& turn) {
  std::uint32_t t = turn++ % (LinkHeaderSize + 65535 - LinkMaxMessageLength);
  return static_cast<std::uint16_t>(t < LinkHeaderSize ? t : LinkMaxMessageLength + 1 + (t - LinkHeaderSize));
}

// The next piece of hostile stream or datagram traffic; valid frames are numbered by `valid`.
Bytes HostilePiece(std::mt19937& random, int validCode, std::uint32_t& valid, std::uint32_t& badTurn) {
  switch (random() % 4) {
    case 0: {
      Bytes junk(1 + random() % 200);
      for (auto& b : junk) b = static_cast<std::uint8_t>(random());
      return junk;
    }
    case 1: {
      Bytes bad(8 + random() % 40, 0);
      bad[0] = static_cast<std::uint8_t>(128 + random() % 128);
      LinkPutU16(bad.data() + 2, NextBadLength(badTurn));
      return bad;
    }
    default:
      return ValidFrame(validCode, ++valid);
  }
}

Bytes Announcement(std::mt19937& random) {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789-";
  Bytes a(72, 0);
  a[0] = LinkAnnounceCode;
  a[1] = static_cast<std::uint8_t>(random());
  LinkPutU16(a.data() + 2, 72);
  int length = 1 + static_cast<int>(random() % 64);
  for (int i = 0; i < length; i++) a[4 + static_cast<size_t>(i)] = static_cast<std::uint8_t>(letters[random() % 37]);
  return a;
}

// Sends every byte unless the connection fails, the deadline passes or the run ends.
bool SendAll(LinkSocket s, const Bytes& bytes, Clock::time_point deadline) {
  for (size_t done = 0; done < bytes.size();) {
    if (!running || Clock::now() > deadline) return false;
    int n = LinkNetSend(s, bytes.data() + done, static_cast<int>(bytes.size() - done));
    if (n > 0)
      done += static_cast<size_t>(n);
    else if (n < 0 && LinkNetLastError() != LinkErrWouldBlock)
      return false;
    else
      linktest::Ready(s, true, 50);
  }
  return true;
}

// Floods one connection for its life; `sent` counts the valid frames of all of them.
void FloodConnection(LinkSocket s, std::mt19937& random, std::uint32_t& valid, std::uint32_t& badTurn,
                     std::atomic<std::uint32_t>& sent) {
  LinkNetSetNonBlocking(s);
  auto deadline = Clock::now() + ConnectionLife;
  while (SendAll(s, HostilePiece(random, StreamCode, valid, badTurn), deadline)) {
  }
  LinkNetClose(s);
  sent = valid;
}

LinkSocket Listen(int port) {
  LinkSocket listener = LinkNetSocket(LinkNetStream);
  LinkNetSetReuseAddress(listener);
  LinkNetBind(listener, At(Loopback, port));
  LinkNetListen(listener);
  return listener;
}

// Plays the server that the client link connects to; between connections it stops listening for a
// second, so that the client link spends that time unconnected, when announcements count.
void HostileServer(int port, std::atomic<std::uint32_t>& sent) {
  std::mt19937 random(1);
  std::uint32_t valid = 0, badTurn = 0;
  LinkSocket listener = Listen(port);
  while (running) {
    if (linktest::Ready(listener, false, 100) <= 0) continue;
    LinkNetAddress peer;
    LinkSocket s = LinkNetAccept(listener, &peer);
    if (s == LinkNetInvalid) continue;
    FloodConnection(s, random, valid, badTurn, sent);
    LinkNetClose(listener);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    listener = Listen(port);
  }
  LinkNetClose(listener);
}

// Plays a client of the server link.
void HostileClient(int port, std::atomic<std::uint32_t>& sent) {
  std::mt19937 random(2);
  std::uint32_t valid = 0, badTurn = 0;
  while (running) {
    LinkSocket s = LinkNetSocket(LinkNetStream);
    if (LinkNetConnect(s, At(Loopback, port)) == 0) {
      FloodConnection(s, random, valid, badTurn, sent);
    } else {
      LinkNetClose(s);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
}

struct Receipts {
  std::uint32_t stream = 0, datagram = 0;          // valid frames taken
  std::uint32_t lastStream = 0, lastDatagram = 0;  // their last sequence numbers
  std::uint32_t outOfOrder = 0;                    // a valid frame not after the one before it
  std::uint32_t other = 0;                         // anything else that framed as a message
};

void Take(const std::uint8_t* m, int n, Receipts& r) {
  bool stream = IsValidFrame(m, n, StreamCode);
  if (!stream && !IsValidFrame(m, n, DatagramCode)) {
    r.other++;
    return;
  }
  std::uint32_t seq = LinkGetU32(m + 12);
  std::uint32_t& last = stream ? r.lastStream : r.lastDatagram;
  if (seq <= last) r.outOfOrder++;
  last = seq;
  (stream ? r.stream : r.datagram)++;
}

// Takes everything that arrives, as an application would; `use` keeps it out of a restart.
void Consume(LinkConnection* link, std::mutex& use, Receipts& r) {
  std::uint8_t m[LinkReceiveBufferSize];
  while (running) {
    int n = 0;
    {
      std::lock_guard<std::mutex> hold(use);
      n = LinkReceive(link, -1, m, sizeof m);
    }
    if (n > 0)
      Take(m, n, r);
    else
      std::this_thread::yield();
  }
}

double LinkThreadCpu(LinkConnection* link) {
  auto* thread = reinterpret_cast<std::thread*>(link->thread);
  return thread != nullptr ? linkprograms::ThreadCpuSeconds(*thread) : 0;
}

struct LinkUnderTest {
  LinkUnderTest(const char* role, int tPort, int udpPort, int connectFlags)
      : name(role), link(LinkCreate()), port(tPort), datagramPort(udpPort), flags(connectFlags) {}

  const char* name;
  LinkConnection* link;
  int port, datagramPort;
  int flags;
  std::atomic<std::uint32_t> streamSent{0}, datagramSent{0};  // valid frames the peer sent
  std::mutex use;  // an application does not receive on a link while it opens the link again
  Receipts receipts;
  double threadCpu = 0;  // during the flood, over both openings
  double idleCpu = 0;    // in the seconds after the flood
  double disconnectMs = 0;
  int opened = -1;

  void Open() { opened = LinkConnect(link, "ethernet", "127.0.0.1", port, flags); }
  // Disconnects in the middle of the flood and opens again.
  void Restart() {
    std::lock_guard<std::mutex> hold(use);
    threadCpu += LinkThreadCpu(link);
    auto start = Clock::now();
    LinkDisconnect(link);
    disconnectMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    Open();
  }
};

// Datagrams to both links' UDP ports at full speed; each link's valid datagrams are numbered apart.
void DatagramFlood(LinkUnderTest* const (&links)[2], std::atomic<std::uint32_t>& names) {
  std::mt19937 random(3);
  std::uint32_t valid[2] = {0, 0}, badTurn = 0;
  const Bytes poke{LinkPokeCode, 0, LinkHeaderSize, 0, 0, 0, 0, 0};
  LinkSocket s = LinkNetSocket(LinkNetDatagram);
  while (running) {
    for (int i = 0; i < 2; i++) {
      std::uint32_t kind = random() % 8;
      Bytes d = kind == 0   ? Announcement(random)
                : kind == 1 ? poke
                            : HostilePiece(random, DatagramCode, valid[i], badTurn);
      if (kind == 0 && i == 0) names++;
      LinkNetSendTo(s, d.data(), static_cast<int>(d.size()), At(Loopback, links[i]->datagramPort));
      links[i]->datagramSent = valid[i];
    }
  }
  LinkNetClose(s);
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 60;
  const LinkResolverLimits limits;
  LinkAnnouncementResolver() = LinkResolver(NoAddressAfterTwoSeconds, limits);
  int clientPort = linkprograms::FreePort();
  int serverPort = linkprograms::FreePort(clientPort + 4);
  LinkUnderTest client("client", clientPort, clientPort, 0);
  LinkUnderTest server("server", serverPort, serverPort + 1, LinkFlagServer);
  LinkUnderTest* const links[2] = {&client, &server};
  for (LinkUnderTest* l : links) l->Open();
  if (client.opened != 0 || server.opened != 0) {
    std::printf("hostile peer: the links did not open (%d, %d)\n", client.opened, server.opened);
    return 1;
  }
  linkprograms::ProcessFigures start = linkprograms::Figures();
  std::atomic<std::uint32_t> names{0};
  std::vector<std::thread> threads;
  threads.emplace_back(HostileServer, clientPort, std::ref(client.streamSent));
  threads.emplace_back(HostileClient, serverPort, std::ref(server.streamSent));
  threads.emplace_back(DatagramFlood, std::cref(links), std::ref(names));
  for (LinkUnderTest* l : links) threads.emplace_back(Consume, l->link, std::ref(l->use), std::ref(l->receipts));

  double peakMiB = start.residentMiB;
  for (int s = 0; s < seconds; s++) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    peakMiB = std::max(peakMiB, linkprograms::Figures().residentMiB);
    if (s == seconds / 2 - 1)
      for (LinkUnderTest* l : links) l->Restart();
  }
  for (LinkUnderTest* l : links) l->threadCpu += LinkThreadCpu(l->link);
  running = false;
  for (auto& t : threads) t.join();
  // After the flood the threads go back to one select per half second.
  for (LinkUnderTest* l : links) l->idleCpu = -LinkThreadCpu(l->link);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  for (LinkUnderTest* l : links) l->idleCpu += LinkThreadCpu(l->link);
  linkprograms::ProcessFigures end = linkprograms::Figures();
  bool ordered = true, received = true;
  for (LinkUnderTest* l : links) {
    LinkDisconnect(l->link);  // errorCount is the link thread's to write while it runs
    const Receipts& r = l->receipts;
    std::printf(
        "hostile peer, %s link, %d s: valid stream frames %u of %u arrived, valid datagrams %u of %u, "
        "%u out of order; %u other messages framed; errorCount %u; link thread %.2f s of processor time "
        "during the flood, %.3f s in the 2 s after; disconnect mid-flood %.0f ms, opened again: %d\n",
        l->name, seconds, r.stream, l->streamSent.load(), r.datagram, l->datagramSent.load(), r.outOfOrder, r.other,
        l->link->errorCount, l->threadCpu, l->idleCpu, l->disconnectMs, l->opened);
    ordered = ordered && r.outOfOrder == 0;
    received = received && r.stream > 0 && r.datagram > 0;
  }
  std::printf(
      "hostile peer, process: resident memory %.1f MiB at the start, %.1f MiB at most, %.1f MiB at the end; "
      "heap in use %.0f KiB at the start, %.0f KiB at the end; threads %d at the start, %d at the end; %u "
      "announcements of random names sent to the client link, %d of their names looked up\n",
      start.residentMiB, peakMiB, end.residentMiB, start.heapInUseKiB, end.heapInUseKiB, start.threads, end.threads,
      names.load(), lookups.load());
  LinkRelease(client.link);
  LinkRelease(server.link);
  bool reopened = client.opened == 0 && server.opened == 0;
  // Lookups still running after the flood may hold a thread each; any thread more was left behind.
  bool threadsBounded = end.threads <= start.threads + limits.lookupsAtOnce;
  return ordered && reopened && received && threadsBounded ? 0 : 1;
}
