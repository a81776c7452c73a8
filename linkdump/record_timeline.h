// The records of several files of one recording merged into the order they happened, on one time line
// unwrapped from the link's 32-bit microsecond clock.
#pragma once

#include "record_reader.h"

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

// Microseconds until the link's 32-bit clock wraps (about 71.6 minutes).
constexpr std::int64_t TimestampRange = std::int64_t{1} << 32;

// A record in its place on the time line.
struct PlacedRecord {
  int file;  // which file it came from
  DumpRecord record;
  std::int64_t time;  // microseconds after the first record placed (negative when earlier than that)
};

// The link stamps records under one lock from one clock, so the records of one program run form a
// single sequence in time, of which each file holds a part in order. The timeline rebuilds it: the next
// record is always the earliest of the files' next records, and each one is placed after the record
// before it by the clock's difference, where a record earlier than the one before it by more than half
// the clock's range (2^31 microseconds, about 35.8 minutes) is taken to have wrapped. It holds one record
// of each file, the file's next, so that files are merged as streams whatever their size.
class RecordTimeline {
 public:
  explicit RecordTimeline(int files)
      : next_(static_cast<std::size_t>(files)), waiting_(static_cast<std::size_t>(files), false) {}

  // Gives a file's next record, for a file that has none waiting: the one after the record of it taken
  // last, or its first.
  void Add(int file, DumpRecord record);
  // Places the earliest waiting record: true with it in `placed`, false when no file has one waiting. A
  // file whose record was taken must be given its next one (or have none left) before the next call,
  // for the order to be the files' merged one. Records given later, as when a file is followed while it
  // grows, continue the same time line.
  bool Take(PlacedRecord* placed);

 private:
  // A waiting record's place in order_: its clock reading, then its file, as the earlier of two records
  // with the same reading is the one of the file named first.
  using Key = std::pair<std::uint32_t, int>;

  // The file whose waiting record comes next after the clock reading `from`, or -1 when none waits.
  int Earliest(std::uint32_t from) const;
  // The file whose first record starts the time line, or -1 when none waits.
  int First() const;

  std::vector<DumpRecord> next_;  // per file: its waiting record, when waiting_ says it has one
  std::vector<bool> waiting_;
  std::set<Key> order_;                 // the waiting records
  std::set<Key>::node_type spareNode_;  // the place of the record taken last, kept for the next one given
  bool started_ = false;
  std::uint32_t lastClock_ = 0;  // the clock reading of the last record placed
  std::int64_t lastTime_ = 0;    // and its place on the time line
};

// Microseconds from the clock reading `from` to `to`: their difference, plus the clock's range when `to`
// is earlier by more than half the range (the clock wrapped in between).
std::int64_t ClockStep(std::uint32_t from, std::uint32_t to);
