// Merging and unwrapping: each step picks the file whose next record follows the last one placed most
// closely, by the same wrap rule that places it. The waiting records are kept in clock order, in which
// that file is found by one search, whatever the number of files.
#include "record_timeline.h"

#include <utility>

namespace {
constexpr std::int64_t halfRange = TimestampRange / 2;
}  // namespace

std::int64_t ClockStep(std::uint32_t from, std::uint32_t to) {
  std::int64_t step = static_cast<std::int64_t>(to) - static_cast<std::int64_t>(from);
  return step < -halfRange ? step + TimestampRange : step;
}

void RecordTimeline::Add(int file, DumpRecord record) {
  const auto index = static_cast<std::size_t>(file);
  const Key key{record.Clock(), file};
  next_[index] = std::move(record);
  waiting_[index] = true;
  if (spareNode_.empty()) {
    order_.insert(key);
    return;
  }
  spareNode_.value() = key;
  order_.insert(std::move(spareNode_));
}

// Seen from `from`, the clock readings from half the range before it on come first, in rising order;
// the readings earlier than that have wrapped and come after them, in rising order too. When `from` is
// within the first half of the range, no reading is that far before it.
int RecordTimeline::Earliest(std::uint32_t from) const {
  if (order_.empty()) return -1;
  const std::uint32_t unwrappedFrom = from >= halfRange ? static_cast<std::uint32_t>(from - halfRange) : 0;
  auto next = order_.lower_bound(Key{unwrappedFrom, 0});
  return (next != order_.end() ? next : order_.begin())->second;
}

// The first record is one that no other first record precedes by less than half the clock's range, so
// that files whose first records straddle a wrap start from the one before it, whichever file is listed
// first. Only when each one is preceded by another (first records spread over the whole range) is the
// earliest seen from the first file's first record taken.
int RecordTimeline::First() const {
  int listedFirst = -1;
  for (std::size_t file = 0; file < next_.size(); ++file) {
    if (!waiting_[file]) continue;
    if (listedFirst < 0) listedFirst = static_cast<int>(file);
    std::uint32_t clock = next_[file].Clock();
    bool preceded = false;
    for (std::size_t other = 0; other < next_.size(); ++other)
      preceded = preceded || (waiting_[other] && static_cast<std::int32_t>(next_[other].Clock() - clock) < 0);
    if (!preceded) return static_cast<int>(file);
  }
  return listedFirst < 0 ? -1 : Earliest(next_[static_cast<std::size_t>(listedFirst)].Clock());
}

bool RecordTimeline::Take(PlacedRecord* placed) {
  if (!started_) {
    int first = First();
    if (first < 0) return false;
    started_ = true;
    lastClock_ = next_[static_cast<std::size_t>(first)].Clock();
  }
  int file = Earliest(lastClock_);
  if (file < 0) return false;
  const auto index = static_cast<std::size_t>(file);
  const std::uint32_t clock = next_[index].Clock();
  lastTime_ += ClockStep(lastClock_, clock);
  lastClock_ = clock;
  placed->file = file;
  placed->record = std::move(next_[index]);
  placed->time = lastTime_;
  waiting_[index] = false;
  spareNode_ = order_.extract(Key{clock, file});
  return true;
}
