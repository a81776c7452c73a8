// Scratch folders, environment settings and file reading for the linkprobe tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "scratch_tree.h"
#include "test_environment.h"

namespace probetest {

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using ::ScopedEnv;
using ::ScratchTree;

}  // namespace probetest
