// Scratch folders, environment settings, file reading and FIFOs planted as files for the linkprobe tests.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <string>
#include <vector>

#include "scratch_tree.h"
#include "test_environment.h"

namespace probetest {

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Makes each of `fifos` a FIFO that no one writes to, runs `read`, and returns whether it ended within a
// few seconds. A reader caught in one is then set free (the FIFO opened for writing and closed, so that it
// reads an empty file), so that the test fails instead of hanging.
inline bool EndsDespiteFifos(const std::vector<std::string>& fifos, const std::function<void()>& read) {
  for (const std::string& fifo : fifos) mkfifo(fifo.c_str(), 0600);
  std::future<void> done = std::async(std::launch::async, read);
  const bool ended = done.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    for (const std::string& fifo : fifos) {
      const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) close(writer);
    }
  }
  return ended;
}

using ::ScopedEnv;
using ::ScratchTree;

}  // namespace probetest
