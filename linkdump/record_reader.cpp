// One record file read in pieces: whole records are taken from the front of what has been read, so the
// same reader serves a finished file and one that is still being written.
#include "record_reader.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

namespace {

constexpr std::size_t readChunk = 65536;

std::string Number(std::uint64_t value) { return std::to_string(value); }

} // namespace

RecordFileReader::RecordFileReader(std::string path)
    : path_(std::move(path)), fileName_(std::filesystem::path(path_).filename().string()) {
  nameKnown_ = LinkParseRecordName(fileName_.c_str(), &name_);
  traffic_ = name_.traffic; // a renamed file too tells its kind by the suffix
}

RecordFileReader::~RecordFileReader() {
  if (file_ != nullptr) std::fclose(file_);
}

ReadProblem RecordFileReader::Open(std::string* message) {
  file_ = std::fopen(path_.c_str(), "rb");
  if (file_ != nullptr) return ReadProblem::None;
  return Stop(ReadProblem::Unreadable, message, std::string("cannot open it: ") + std::strerror(errno));
}

ReadProblem RecordFileReader::ReadMore(std::vector<DumpRecord>* records, std::string* message) {
  if (stopped_ || file_ == nullptr) return ReadProblem::None;
  std::uint8_t chunk[readChunk];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file_)) > 0) pending_.insert(pending_.end(), chunk, chunk + got);
  if (std::ferror(file_))
    return Stop(ReadProblem::Unreadable, message, std::string("read error: ") + std::strerror(errno));
  // At the end for now. A file being written may grow: a seek where the stream stands makes the next read
  // ask the system again, which a C runtime's stream need not do after it met the end once.
  std::clearerr(file_);
  std::fseek(file_, 0, SEEK_CUR);
  return traffic_ ? TakeTraffic(records, message) : TakeRecords(records, message);
}

ReadProblem RecordFileReader::TakeRecords(std::vector<DumpRecord>* records, std::string* message) {
  std::size_t at = 0;
  for (; pending_.size() - at >= static_cast<std::size_t>(LinkRecordSize); at += LinkRecordSize) {
    DumpRecord record;
    if (!LinkDecodeRecord(pending_.data() + at, &record.record)) {
      std::string which = taken_ == 0
                              ? "its first record"
                              : "record " + Number(taken_ + 1) + " (at byte " + Number(pendingOffset_ + at) + ")";
      return Stop(ReadProblem::NotRecordFile, message,
                  "not a record file: " + which + " has type " + Number(record.record.type) +
                      ", and record files hold only types 0 (event) and 1 (text)");
    }
    records->push_back(std::move(record));
    ++taken_;
  }
  Consume(at);
  return ReadProblem::None;
}

ReadProblem RecordFileReader::TakeTraffic(std::vector<DumpRecord>* records, std::string* message) {
  std::size_t at = 0;
  while (pending_.size() - at >= static_cast<std::size_t>(LinkTrafficHeaderSize)) {
    DumpRecord record;
    record.traffic = true;
    record.header = LinkDecodeTrafficHeader(pending_.data() + at);
    const std::size_t length = record.header.length;
    if (length < static_cast<std::size_t>(LinkTrafficHeaderSize))
      return Stop(ReadProblem::NotRecordFile, message,
                  "not a full-traffic file: record " + Number(taken_ + 1) + " (at byte " + Number(pendingOffset_ + at) +
                      ") gives its length as " + Number(length) + ", less than its own " +
                      Number(LinkTrafficHeaderSize) + "-byte header");
    if (pending_.size() - at < length) break; // the rest is still to come
    const std::uint8_t* data = pending_.data() + at + LinkTrafficHeaderSize;
    record.data.assign(data, data + (length - LinkTrafficHeaderSize));
    records->push_back(std::move(record));
    ++taken_;
    at += length;
  }
  Consume(at);
  return ReadProblem::None;
}

void RecordFileReader::Consume(std::size_t bytes) {
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(bytes));
  pendingOffset_ += bytes;
}

ReadProblem RecordFileReader::Finish(std::string* message) {
  if (stopped_ || pending_.empty()) return ReadProblem::None;
  const std::string held = Number(pending_.size());
  const std::string where = " at byte " + Number(pendingOffset_) + ", after " + Number(taken_) +
                            (taken_ == 1 ? " whole record" : " whole records");
  if (!traffic_ && taken_ == 0)
    return Stop(ReadProblem::NotRecordFile, message,
                "not a record file: " + held + " bytes, less than one " + Number(LinkRecordSize) + "-byte record");
  if (!traffic_)
    return Stop(ReadProblem::Damaged, message,
                "the last record is cut off: " + held + " of its " + Number(LinkRecordSize) + " bytes" + where);
  if (pending_.size() < static_cast<std::size_t>(LinkTrafficHeaderSize))
    return Stop(
        ReadProblem::Damaged, message,
        "the last record is cut off: " + held + " of its " + Number(LinkTrafficHeaderSize) + " header bytes" + where);
  LinkTrafficHeader header = LinkDecodeTrafficHeader(pending_.data());
  return Stop(ReadProblem::Damaged, message,
              "the last record runs past the end: its length is " + Number(header.length) + " bytes, but " + held +
                  " bytes are left" + where);
}

ReadProblem RecordFileReader::Stop(ReadProblem problem, std::string* message, const std::string& text) {
  stopped_ = true;
  pending_.clear();
  *message = text;
  return problem;
}
