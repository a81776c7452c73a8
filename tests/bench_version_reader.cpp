// Benchmark: the version reader on crafted program files shaped for the most work per byte (a full
// resource directory behind the loader's largest section table, and a section table far past it),
// against the same reader on an ordinary program file. Usage: bench_version_reader [rounds]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "version_test_support.h"

namespace {

constexpr unsigned LoaderSectionLimit = 96, LargestSectionCount = 65535, FullDirectory = 65534;

// Milliseconds per read of `image`, the best of `rounds`, and whether it gave a version.
double BestReadMs(const std::vector<std::uint8_t>& image, int rounds, bool& read) {
  double best = 1e9;
  for (int i = 0; i < rounds; ++i) {
    FileVersionInfo info;
    const auto start = std::chrono::steady_clock::now();
    read = ReadVersionFromImage(image.data(), image.size(), info) && info.hasFixed;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (took.count() < best) best = took.count();
  }
  return best;
}

void Report(const char* what, const std::vector<std::uint8_t>& image, int rounds) {
  bool read = false;
  const double ms = BestReadMs(image, rounds, read);
  std::printf("%-52s %9zu bytes %9.3f ms  %s\n", what, image.size(), ms, read ? "read" : "refused");
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
  const auto ordinary = ReadAll(Fixture("full64.exe"));
  std::vector<std::uint8_t> block;
  if (!ExtractPeVersionResource(ordinary.data(), ordinary.size(), block)) {
    std::fprintf(stderr, "bench_version_reader: no version resource in %s\n", Fixture("full64.exe").c_str());
    return 1;
  }
  Report("baseline: an ordinary program file", ordinary, rounds);
  Report("96 sections, 65535 resource types", CraftedPe(LoaderSectionLimit, FullDirectory, block), rounds);
  Report("65535 sections, 65535 resource types", CraftedPe(LargestSectionCount, FullDirectory, block), rounds);
  return 0;
}
