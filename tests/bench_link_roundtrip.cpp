// Benchmark: 8-byte round trips between a client and a server link on loopback, both ends polling
// LinkReceive, against two bare TCP echoes: one that blocks in recv, and one that polls non-blocking
// sockets in the same yield loop as the link's callers (the fair baseline); and the processor time an
// idle connected pair uses.
// Usage: bench_link_roundtrip [rounds] [idle seconds]
#include "link/link.h"
#include "link_net.h"
#include "link_programs_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using linkprograms::FreePort;
using linktest::At;
using linktest::Loopback;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Microseconds(Clock::time_point since) {
  return std::chrono::duration<double, std::micro>(Clock::now() - since).count();
}

std::vector<double> LinkRoundTrips(LinkConnection* client, LinkConnection* server, int rounds) {
  std::atomic<bool> stop{false};
  std::thread echo([&] {
    unsigned char m[16];
    while (!stop) {
      int n = LinkReceive(server, 0, m, sizeof m);
      if (n != 0)
        LinkSend(server, m, n);
      else
        std::this_thread::yield();
    }
  });
  std::vector<double> times;
  unsigned char m[16];
  for (int i = 0; i < rounds; i++) {
    int length = LinkBuildMessage(client, m, sizeof m, 224, 4, nullptr, 0);
    auto start = Clock::now();
    LinkSend(client, m, length);
    while (LinkReceive(client, 0, m, sizeof m) == 0) std::this_thread::yield();
    times.push_back(Microseconds(start));
  }
  stop = true;
  echo.join();
  return times;
}

// How the bare echo waits for its bytes: blocked in recv, or polling a non-blocking socket and yielding
// between tries, as the link's callers poll LinkReceive.
enum class Waiting { Blocking, Polling };

// One transfer of the 8 bytes; false when the connection failed.
bool Transfer(LinkSocket s, unsigned char* bytes, bool sending) {
  for (int done = 0; done < 8;) {
    int n = sending ? LinkNetSend(s, bytes + done, 8 - done) : LinkNetReceive(s, bytes + done, 8 - done);
    if (n < 0 && LinkNetLastError() == LinkErrWouldBlock) {
      std::this_thread::yield();
      continue;
    }
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

bool Exchange(LinkSocket s, unsigned char* bytes, bool sendFirst) {
  return Transfer(s, bytes, sendFirst) && Transfer(s, bytes, !sendFirst);
}

void SetWaiting(LinkSocket s, Waiting waiting) {
  LinkNetSetNoDelay(s);
  if (waiting == Waiting::Polling) LinkNetSetNonBlocking(s);
}

// The round trips' times, or none when the echo cannot listen on `port`.
std::vector<double> TcpRoundTrips(int port, int rounds, Waiting waiting) {
  LinkSocket listener = LinkNetSocket(LinkNetStream);
  LinkNetSetReuseAddress(listener);
  if (LinkNetBind(listener, At(Loopback, port)) != 0 || LinkNetListen(listener) != 0) {
    std::printf("bare TCP echo: cannot listen on port %d (error %d)\n", port, LinkNetLastError());
    LinkNetClose(listener);
    return {};
  }
  std::thread echo([&] {
    LinkNetAddress peer;
    LinkSocket s = LinkNetAccept(listener, &peer);
    SetWaiting(s, waiting);
    unsigned char m[8];
    while (Exchange(s, m, false)) {
    }
    LinkNetClose(s);
  });
  LinkSocket s = LinkNetSocket(LinkNetStream);
  LinkNetConnect(s, At(Loopback, port));
  SetWaiting(s, waiting);
  std::vector<double> times;
  unsigned char m[8] = {224, 4, 8, 0, 1, 0, 0, 0};
  for (int i = 0; i < rounds; i++) {
    auto start = Clock::now();
    Exchange(s, m, true);
    times.push_back(Microseconds(start));
  }
  LinkNetClose(s);
  echo.join();
  LinkNetClose(listener);
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
  int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
  int port = FreePort();
  LinkConnection* server = LinkCreate();
  LinkConnection* client = LinkCreate();
  if (LinkConnect(server, "ethernet", "127.0.0.1", port, LinkFlagServer) != 0 ||
      LinkConnect(client, "ethernet", "127.0.0.1", port, 0) != 0 ||
      !linktest::WaitFor([&] { return LinkStatus(client) != 0 && LinkStatus(server) != 0; }, 5000)) {
    std::printf("link did not connect\n");
    return 1;
  }
  double linkMedian = Median(LinkRoundTrips(client, server, rounds));
  int blockingPort = FreePort(port + 2);
  std::vector<double> blocking = TcpRoundTrips(blockingPort, rounds, Waiting::Blocking);
  std::vector<double> polling = TcpRoundTrips(FreePort(blockingPort + 2), rounds, Waiting::Polling);
  if (blocking.empty() || polling.empty()) {
    LinkRelease(client);
    LinkRelease(server);
    return 1;
  }
  double blockingMedian = Median(blocking), pollingMedian = Median(polling);
  std::printf(
      "round trip of 8 bytes, median of %d: link %.1f us, bare TCP echo blocking %.1f us (link/blocking "
      "%.2f), polling %.1f us (link/polling %.2f)\n",
      rounds, linkMedian, blockingMedian, linkMedian / blockingMedian, pollingMedian, linkMedian / pollingMedian);

  std::clock_t before = std::clock();
  std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
  double cpu = static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
  std::printf("idle connected pair: %.3f s of processor time in %d s (%.3f%%)\n", cpu, idleSeconds,
              100.0 * cpu / idleSeconds);
  LinkRelease(client);
  LinkRelease(server);
  return 0;
}
