// Merging and unwrapping: each step picks the file whose next record follows the last one placed most
// closely, by the same wrap rule that places it.
#include "record_timeline.h"

#include <utility>

namespace {
constexpr std::int64_t halfRange = TimestampRange / 2;
} // namespace

std::int64_t ClockStep(std::uint32_t from, std::uint32_t to) {
  std::int64_t step = static_cast<std::int64_t>(to) - static_cast<std::int64_t>(from);
  return step < -halfRange ? step + TimestampRange : step;
}

void RecordTimeline::Add(int file, DumpRecord record) {
  waiting_[static_cast<std::size_t>(file)].push_back(std::move(record));
}

int RecordTimeline::Earliest(std::uint32_t from) const {
  int best = -1;
  std::int64_t bestStep = 0;
  for (std::size_t file = 0; file < waiting_.size(); ++file) {
    if (waiting_[file].empty()) continue;
    std::int64_t step = ClockStep(from, waiting_[file].front().Clock());
    if (best < 0 || step < bestStep) {
      best = static_cast<int>(file);
      bestStep = step;
    }
  }
  return best;
}

std::vector<PlacedRecord> RecordTimeline::Take() {
  std::vector<PlacedRecord> placed;
  if (!started_) {
    // The first record is the earliest of the first records, seen from any one of them.
    int first = -1;
    for (std::size_t file = 0; file < waiting_.size() && first < 0; ++file)
      if (!waiting_[file].empty()) first = Earliest(waiting_[file].front().Clock());
    if (first < 0) return placed;
    started_ = true;
    lastClock_ = waiting_[static_cast<std::size_t>(first)].front().Clock();
  }
  for (int file = Earliest(lastClock_); file >= 0; file = Earliest(lastClock_)) {
    std::deque<DumpRecord>& queue = waiting_[static_cast<std::size_t>(file)];
    std::uint32_t clock = queue.front().Clock();
    lastTime_ += ClockStep(lastClock_, clock);
    lastClock_ = clock;
    placed.push_back({file, std::move(queue.front()), lastTime_});
    queue.pop_front();
  }
  return placed;
}
