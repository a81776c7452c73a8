// Soak run: connect and disconnect cycles of a client and a server link on loopback, several pairs side by
// side. Prints one line: how many cycles connected, and the process's open descriptors, threads and
// resident memory before, half-way and after, which must not grow.
// Usage: soak_link_cycles [cycles] [pairs]
#include "link/link.h"
#include "link_programs_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One pair's share of the cycles; both ends are stopped at once, as each waits for its own thread.
void RunPair(int port, int cycles, std::atomic<int>& connected) {
  LinkConnection* server = LinkCreate();
  LinkConnection* client = LinkCreate();
  for (int i = 0; i < cycles; i++) {
    bool opened = LinkConnect(server, "ethernet", "127.0.0.1", port, LinkFlagServer) == 0 &&
                  LinkConnect(client, "ethernet", "127.0.0.1", port, 0) == 0;
    if (opened && linktest::WaitFor([&] { return LinkStatus(client) != 0 && LinkStatus(server) != 0; }, 5000))
      connected++;
    std::thread stopServer([server] { LinkDisconnect(server); });
    LinkDisconnect(client);
    stopServer.join();
  }
  LinkRelease(client);
  LinkRelease(server);
}

void RunPairs(int cycles, int pairs, std::atomic<int>& connected) {
  std::vector<std::thread> workers;
  for (int p = 0, port = 41000; p < pairs; p++) {
    port = linkprograms::FreePort(port + 2);
    workers.emplace_back(RunPair, port, cycles / pairs + (p < cycles % pairs ? 1 : 0), std::ref(connected));
  }
  for (auto& worker : workers) worker.join();
}

}  // namespace

int main(int argc, char** argv) {
  int cycles = argc > 1 ? std::atoi(argv[1]) : 10000;
  int pairs = std::clamp(argc > 2 ? std::atoi(argv[2]) : 8, 1, 8);  // 16 objects fill the registry
  std::atomic<int> connected{0};
  RunPairs(pairs, pairs, connected);  // one cycle per pair first, so that what the library keeps is in place
  connected = 0;
  linkprograms::ProcessFigures before = linkprograms::Figures();
  auto start = Clock::now();
  RunPairs(cycles / 2, pairs, connected);
  linkprograms::ProcessFigures half = linkprograms::Figures();
  RunPairs(cycles - cycles / 2, pairs, connected);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  linkprograms::ProcessFigures after = linkprograms::Figures();
  std::printf(
      "connect/disconnect cycles: %d of %d connected (%d pairs, %.0f s); before, half-way, after: "
      "descriptors %d, %d, %d; threads %d, %d, %d; resident memory %.1f, %.1f, %.1f MiB; heap in use %.0f, "
      "%.0f, %.0f KiB\n",
      connected.load(), cycles, pairs, seconds, before.descriptors, half.descriptors, after.descriptors, before.threads,
      half.threads, after.threads, before.residentMiB, half.residentMiB, after.residentMiB, before.heapInUseKiB,
      half.heapInUseKiB, after.heapInUseKiB);
  return connected == cycles && after.descriptors <= before.descriptors && after.threads <= before.threads ? 0 : 1;
}
