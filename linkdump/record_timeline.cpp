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

// The first record is one that no other first record precedes by less than half the clock's range, so
// that files whose first records straddle a wrap start from the one before it, whichever file is listed
// first. Only when each one is preceded by another (first records spread over the whole range) is the
// earliest seen from the first file's first record taken.
int RecordTimeline::First() const {
  int listedFirst = -1;
  for (std::size_t file = 0; file < waiting_.size(); ++file) {
    if (waiting_[file].empty()) continue;
    if (listedFirst < 0) listedFirst = static_cast<int>(file);
    std::uint32_t clock = waiting_[file].front().Clock();
    bool preceded = false;
    for (const std::deque<DumpRecord>& other : waiting_)
      preceded = preceded || (!other.empty() && static_cast<std::int32_t>(other.front().Clock() - clock) < 0);
    if (!preceded) return static_cast<int>(file);
  }
  return listedFirst < 0 ? -1 : Earliest(waiting_[static_cast<std::size_t>(listedFirst)].front().Clock());
}

std::vector<PlacedRecord> RecordTimeline::Take() {
  std::vector<PlacedRecord> placed;
  if (!started_) {
    int first = First();
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
