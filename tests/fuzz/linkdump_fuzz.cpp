// Fuzz target for linkdump's readers: the input becomes both a record file and a full-traffic file in one
// folder, which is read and printed as text and as JSON. Whatever the bytes, both runs print the same
// records and end with an exit code that speaks of the files.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "linkdump_run.h"
#include "scratch_tree.h"

namespace {

ScratchTree& Folder() {
  static ScratchTree folder("tavik-linkdump");
  return folder;
}

// The exit code and the number of lines printed.
std::pair<int, long> Dump(const char* option) {
  std::ostringstream out, err;
  int code = RunLinkDump({option, Folder().Root()}, out, err, [] { return false; });
  std::string text = out.str();
  return {code, static_cast<long>(std::count(text.begin(), text.end(), '\n'))};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  Folder().Write("cmlCRX10.bin", bytes);
  Folder().Write("cmlCRX10.binFULL", bytes);
  std::pair<int, long> text = Dump("--raw-time");
  std::pair<int, long> json = Dump("--json");
  if (text != json || text.first < LinkDumpOk || text.first > LinkDumpNotRecordFile) std::abort();
  return 0;
}
