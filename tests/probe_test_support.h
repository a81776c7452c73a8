// Scratch folders, environment settings and file reading for the linkprobe tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "read_file.h"
#include "scratch_tree.h"
#include "test_environment.h"

namespace probetest {

using ::ReadWholeFile;
using ::ScopedEnv;
using ::ScratchTree;

}  // namespace probetest
