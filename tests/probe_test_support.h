// Scratch folders, the current directory, environment settings and file reading for the linkprobe and
// toolboard tests.
#pragma once

#include <filesystem>
#include <string>

#include "read_file.h"
#include "scratch_tree.h"
#include "test_environment.h"

// Makes `dir` (and its folders) the current directory while it lives.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::string& dir) : previous_(std::filesystem::current_path()) {
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
  }
  ~ScopedCurrentDirectory() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

namespace probetest {

using ::ReadWholeFile;
using ::ScopedEnv;
using ::ScratchTree;

}  // namespace probetest
