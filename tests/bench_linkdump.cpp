// Benchmark: linkdump over one record file of a million records (40 MB), and over the same records split
// among the eight files of four connections, beside od dumping the same bytes as words, in one run. Each
// program's output goes to /dev/null; the figures are wall time, records a second and peak memory.
// Usage: bench_linkdump [records]
#include "link/link_events.h"
#include "link/link_record_file.h"
#include "child_process.h"
#include "scratch_tree.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr long defaultRecords = 1000000;
constexpr std::uint32_t firstClock = 0xFFFFFFFFu - 20000000u;  // the clock wraps 20 s into the recording
constexpr std::uint32_t clockStep = 37;                        // microseconds between records
constexpr int textEvery = 16;                                  // one record in so many is a text record
constexpr int splitFiles = 8;                                  // four connections, two directions each
constexpr const char* odPath = "/usr/bin/od";
constexpr int RunLimitMs = 600000;  // far longer than any run takes

struct Measure {
  int status = -1;
  double seconds = 0;
  double megabytes = 0;
};

// Runs the program with its output to /dev/null: its exit status, wall time and peak resident memory.
Measure Run(const std::vector<std::string>& command) {
  ChildStart quiet;
  quiet.output = ChildOutput::ToFile;
  quiet.outputFile = "/dev/null";
  const auto start = std::chrono::steady_clock::now();
  ChildProcess program(command[0], {command.begin() + 1, command.end()}, quiet);
  Measure measure;
  measure.status = program.Wait(RunLimitMs);
  measure.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  measure.megabytes = program.PeakMegabytes();
  return measure;
}

LinkRecord RecordAt(long index) {
  const std::uint32_t time = firstClock + static_cast<std::uint32_t>(index) * clockStep;
  if (index % textEvery != 0)
    return {LinkRecordEventType, LinkEventStreamSent, time, static_cast<std::uint32_t>(index), 1, 0x6C6C6568u, {}};
  LinkRecord record{LinkRecordTextType, LinkEventClientStarted, time, 0, 0, 0, {}};
  std::snprintf(record.text, sizeof record.text, "record %ld", index);
  return record;
}

// Writes the records to `files` files in the folder, record i to file i % files, named as a recording's.
std::vector<std::string> WriteRecording(const fs::path& folder, long records, int files) {
  std::vector<std::string> names;
  std::vector<std::ofstream> streams;
  for (int file = 0; file < files; ++file) {
    names.push_back(
        (folder / ("cml" + std::string(file % 2 ? "CTX" : "CRX") + std::to_string(file / 2 + 1) + "0.bin")).string());
    streams.emplace_back(names.back(), std::ios::binary);
  }
  std::uint8_t bytes[LinkRecordSize];
  for (long i = 0; i < records; ++i) {
    LinkEncodeRecord(RecordAt(i), bytes);
    streams[static_cast<std::size_t>(i % files)].write(reinterpret_cast<const char*>(bytes), sizeof bytes);
  }
  return names;
}

void Print(const char* what, const Measure& measure, long records) {
  if (measure.status != 0) {
    std::printf("%-34s failed (exit status %d)\n", what, measure.status);
    return;
  }
  std::printf("%-34s %7.3f s %12.0f records/s %8.1f MB peak\n", what, measure.seconds, records / measure.seconds,
              measure.megabytes);
}

}  // namespace

int main(int argc, char** argv) {
  long records = argc > 1 ? std::atol(argv[1]) : defaultRecords;
  const ScratchTree tree("bench_linkdump");
  tree.Dir("one");
  tree.Dir("split");
  const fs::path one = tree.Path("one"), split = tree.Path("split");
  std::string file = WriteRecording(one, records, 1).front();
  WriteRecording(split, records, splitFiles);
  std::printf("%ld records, %.1f MB\n", records, static_cast<double>(fs::file_size(file)) / 1e6);
  Print("od -A d -t x4 (baseline)", Run({odPath, "-A", "d", "-t", "x4", file}), records);
  Print("linkdump, one file", Run({LINKDUMP_PATH, file}), records);
  Print("linkdump --json, one file", Run({LINKDUMP_PATH, "--json", file}), records);
  Print("linkdump, 8 files of a folder", Run({LINKDUMP_PATH, split.string()}), records);
  return 0;
}
