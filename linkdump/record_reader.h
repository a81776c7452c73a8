// Reading one record file or full-traffic file of the link, as far as it has been written, one record at a
// time through a buffer of one piece of the file: whole records come out, a record that is not whole yet
// waits for the rest, and damage stops the file with a message.
#pragma once

#include "link/link_record_file.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One record as read: an event or text record, or a full-traffic record with its data.
struct DumpRecord {
  bool traffic = false;
  LinkRecord record{};             // when traffic is false
  LinkTrafficHeader header{};      // when traffic is true
  std::vector<std::uint8_t> data;  // a full-traffic record's data: a link message or raw serial bytes

  // The record's time stamp: the link's 32-bit microsecond clock.
  std::uint32_t Clock() const { return traffic ? header.time : record.time; }
};

// What stops a file, from the mildest: a file with damage at its end, one that holds something other
// than records, one that cannot be read at all.
enum class ReadProblem { None, Damaged, NotRecordFile, Unreadable };

class RecordFileReader {
 public:
  // The file's kind (record file or full-traffic file) and its tag come from its name.
  explicit RecordFileReader(std::string path);
  ~RecordFileReader();
  RecordFileReader(const RecordFileReader&) = delete;
  RecordFileReader& operator=(const RecordFileReader&) = delete;

  // Opens the file: ReadProblem::None, or Unreadable with the reason in message.
  ReadProblem Open(std::string* message);
  // The file's next whole record: true with it in `record`. False when no whole record follows yet, with
  // ReadProblem::None in `problem` (a record not yet whole waits for the next call), or when a problem
  // ends the file, with the problem and its message; later calls then read nothing.
  bool Next(DumpRecord* record, ReadProblem* problem, std::string* message);
  // At the end of the input: bytes of a record that was begun and never finished are a cut-off record
  // (ReadProblem::Damaged, or NotRecordFile when no whole record came before them).
  ReadProblem Finish(std::string* message);

  // The path the reader was made with, as given (folders included).
  const std::string& Path() const { return path_; }
  // The file's name without folders.
  const std::string& FileName() const { return fileName_; }
  // True when the name has the link's form; Name() then says what it holds.
  bool NameKnown() const { return nameKnown_; }
  const LinkRecordName& Name() const { return name_; }

 private:
  // True when at least `bytes` bytes are held, reading on into the buffer when fewer are; false with a
  // problem only for a read error.
  bool Hold(std::size_t bytes, ReadProblem* problem, std::string* message);
  bool NextRecord(DumpRecord* record, ReadProblem* problem, std::string* message);
  bool NextTraffic(DumpRecord* record, ReadProblem* problem, std::string* message);
  // Drops a record's bytes from the front of what is held.
  void Consume(std::size_t bytes);
  std::size_t Held() const { return end_ - begin_; }
  ReadProblem Stop(ReadProblem problem, std::string* message, const std::string& text);

  std::string path_;
  std::string fileName_;
  LinkRecordName name_{};
  bool nameKnown_ = false;
  bool traffic_ = false;
  std::FILE* file_ = nullptr;
  std::vector<std::uint8_t> buffer_;  // one piece of the file: bytes read and not yet taken as records sit
  std::size_t begin_ = 0;             // at buffer_[begin_, end_)
  std::size_t end_ = 0;
  std::uint64_t heldOffset_ = 0;  // where buffer_[begin_] is in the file
  std::uint64_t taken_ = 0;       // records taken so far
  bool stopped_ = false;
};
