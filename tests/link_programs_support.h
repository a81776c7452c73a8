// Helpers for the link's benchmark and soak programs on Linux, beside the socket tests' own: ports taken in
// turn, what the process holds (open descriptors, threads, resident memory) and one thread's processor time.
#pragma once

#include "link_socket_support.h"

#include <malloc.h>
#include <pthread.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace linkprograms {

// The first free T port from `from` on, in steps of 2.
inline int FreePort(int from = 41000) {
  for (int port = from;; port += 2)
    if (linktest::TPortFree(port)) return port;
}

// Entries of a folder; /proc/self/fd counts the descriptor of the listing itself, before and after alike.
inline int CountEntries(const char* folder) {
  int n = 0;
  for (auto it = std::filesystem::directory_iterator(folder); it != std::filesystem::directory_iterator(); ++it) n++;
  return n;
}

// What the process holds at one moment. Resident memory also grows when the allocator's free lists
// spread over more pages, which the bytes in use tell apart from memory never given back.
struct ProcessFigures {
  int descriptors;
  int threads;
  double residentMiB;
  double heapInUseKiB;
};

inline ProcessFigures Figures() {
  struct mallinfo2 heap = mallinfo2();
  ProcessFigures f{CountEntries("/proc/self/fd"), CountEntries("/proc/self/task"), 0,
                   static_cast<double>(heap.uordblks + heap.hblkhd) / 1024.0};
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) f.residentMiB = std::stod(line.substr(6)) / 1024.0;
  return f;
}

// The processor time a running thread has used, in seconds.
inline double ThreadCpuSeconds(std::thread& thread) {
  clockid_t clock;
  timespec used{};
  if (pthread_getcpuclockid(thread.native_handle(), &clock) != 0 || clock_gettime(clock, &used) != 0) return 0;
  return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

}  // namespace linkprograms
