// One record file read in pieces: whole records are taken from the front of the piece held, which is
// topped up from the file when the next record is not whole in it, so the same reader serves a finished
// file and one that is still being written, in memory of one piece whatever the file's size.
#include "record_reader.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

namespace {

// A piece holds the longest full-traffic record, whose length field has 16 bits, so that every record
// can be taken whole from the buffer.
constexpr std::size_t pieceSize = 65536;
static_assert(pieceSize >= UINT16_MAX, "a piece holds the longest full-traffic record");

std::string Number(std::uint64_t value) { return std::to_string(value); }

}  // namespace

RecordFileReader::RecordFileReader(std::string path)
    : path_(std::move(path)), fileName_(std::filesystem::path(path_).filename().string()) {
  nameKnown_ = LinkParseRecordName(fileName_.c_str(), &name_);
  traffic_ = name_.traffic;  // a renamed file too tells its kind by the suffix
}

RecordFileReader::~RecordFileReader() {
  if (file_ != nullptr) std::fclose(file_);
}

ReadProblem RecordFileReader::Open(std::string* message) {
  file_ = std::fopen(path_.c_str(), "rb");
  if (file_ == nullptr)
    return Stop(ReadProblem::Unreadable, message, std::string("cannot open it: ") + std::strerror(errno));
  // The piece is the stream's only buffer: reads go from the system straight into it.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  buffer_.resize(pieceSize);
  return ReadProblem::None;
}

bool RecordFileReader::Next(DumpRecord* record, ReadProblem* problem, std::string* message) {
  *problem = ReadProblem::None;
  if (stopped_ || file_ == nullptr) return false;
  return traffic_ ? NextTraffic(record, problem, message) : NextRecord(record, problem, message);
}

bool RecordFileReader::Hold(std::size_t bytes, ReadProblem* problem, std::string* message) {
  if (Held() >= bytes) return true;
  const std::size_t held = Held();
  std::memmove(buffer_.data(), buffer_.data() + begin_, held);
  begin_ = 0;
  end_ = held + std::fread(buffer_.data() + held, 1, buffer_.size() - held, file_);
  if (end_ < buffer_.size()) {
    if (std::ferror(file_)) {
      *problem = Stop(ReadProblem::Unreadable, message, std::string("read error: ") + std::strerror(errno));
      return false;
    }
    // At the end for now. A file being written may grow: a seek where the stream stands makes the next
    // read ask the system again, which a C runtime's stream need not do after it met the end once.
    std::clearerr(file_);
    std::fseek(file_, 0, SEEK_CUR);
  }
  return Held() >= bytes;
}

bool RecordFileReader::NextRecord(DumpRecord* record, ReadProblem* problem, std::string* message) {
  if (!Hold(static_cast<std::size_t>(LinkRecordSize), problem, message)) return false;
  if (!LinkDecodeRecord(buffer_.data() + begin_, &record->record)) {
    std::string which =
        taken_ == 0 ? "its first record" : "record " + Number(taken_ + 1) + " (at byte " + Number(heldOffset_) + ")";
    *problem = Stop(ReadProblem::NotRecordFile, message,
                    "not a record file: " + which + " has type " + Number(record->record.type) +
                        ", and record files hold only types 0 (event) and 1 (text)");
    return false;
  }
  record->traffic = false;
  record->data.clear();
  Consume(static_cast<std::size_t>(LinkRecordSize));
  return true;
}

bool RecordFileReader::NextTraffic(DumpRecord* record, ReadProblem* problem, std::string* message) {
  if (!Hold(static_cast<std::size_t>(LinkTrafficHeaderSize), problem, message)) return false;
  const LinkTrafficHeader header = LinkDecodeTrafficHeader(buffer_.data() + begin_);
  const std::size_t length = header.length;
  if (length < static_cast<std::size_t>(LinkTrafficHeaderSize)) {
    *problem = Stop(ReadProblem::NotRecordFile, message,
                    "not a full-traffic file: record " + Number(taken_ + 1) + " (at byte " + Number(heldOffset_) +
                        ") gives its length as " + Number(length) + ", less than its own " +
                        Number(LinkTrafficHeaderSize) + "-byte header");
    return false;
  }
  if (!Hold(length, problem, message)) return false;  // the rest is still to come
  const std::uint8_t* data = buffer_.data() + begin_ + LinkTrafficHeaderSize;
  record->traffic = true;
  record->header = header;
  record->data.assign(data, data + (length - LinkTrafficHeaderSize));
  Consume(length);
  return true;
}

void RecordFileReader::Consume(std::size_t bytes) {
  begin_ += bytes;
  heldOffset_ += bytes;
  ++taken_;
}

ReadProblem RecordFileReader::Finish(std::string* message) {
  if (stopped_ || Held() == 0) return ReadProblem::None;
  const std::string held = Number(Held());
  const std::string where = " at byte " + Number(heldOffset_) + ", after " + Number(taken_) +
                            (taken_ == 1 ? " whole record" : " whole records");
  if (!traffic_ && taken_ == 0)
    return Stop(ReadProblem::NotRecordFile, message,
                "not a record file: " + held + " bytes, less than one " + Number(LinkRecordSize) + "-byte record");
  if (!traffic_)
    return Stop(ReadProblem::Damaged, message,
                "the last record is cut off: " + held + " of its " + Number(LinkRecordSize) + " bytes" + where);
  if (Held() < static_cast<std::size_t>(LinkTrafficHeaderSize))
    return Stop(
        ReadProblem::Damaged, message,
        "the last record is cut off: " + held + " of its " + Number(LinkTrafficHeaderSize) + " header bytes" + where);
  LinkTrafficHeader header = LinkDecodeTrafficHeader(buffer_.data() + begin_);
  return Stop(ReadProblem::Damaged, message,
              "the last record runs past the end: its length is " + Number(header.length) + " bytes, but " + held +
                  " bytes are left" + where);
}

ReadProblem RecordFileReader::Stop(ReadProblem problem, std::string* message, const std::string& text) {
  stopped_ = true;
  begin_ = end_ = 0;
  std::vector<std::uint8_t>().swap(buffer_);
  *message = text;
  return problem;
}
