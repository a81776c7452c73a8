// The run of linkdump: arguments, the files of the folders named, reading every file (once, or round
// after round with -f) as a stream merged into one time line and printed as it is placed, and the exit
// code.
#include "linkdump_run.h"

#include "record_format.h"
#include "record_reader.h"
#include "record_timeline.h"

#include "link/link_record_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>
#include <utility>

namespace {

namespace fs = std::filesystem;

constexpr auto followInterval = std::chrono::milliseconds(200);
constexpr std::size_t outputPiece = 65536;  // the lines are handed to the output this many bytes at a time
constexpr double clockRangeMinutes = TimestampRange / 60e6;

constexpr const char* usage =
    "usage: linkdump [--raw-time] [--json] [-f] FILE|FOLDER...\n"
    "Prints the link's record files (cml*.bin) and full-traffic files (cml*.binFULL), one record a line,\n"
    "merged by time. A folder stands for the record files in it.\n"
    "  --raw-time  the clock's own microsecond reading instead of seconds since the first record\n"
    "  --json      one JSON object per record\n"
    "  -f          follow the files as they grow, until interrupted\n"
    "  -h, --help  this text\n";

struct Options {
  FormatOptions format;
  bool follow = false;
  bool help = false;
  std::vector<std::string> paths;
};

// The options and paths of the command line; false with a message for anything else.
bool ParseArguments(const std::vector<std::string>& args, Options* options, std::string* message) {
  bool optionsEnd = false;
  for (const std::string& arg : args) {
    if (optionsEnd || arg.empty() || arg[0] != '-' || arg == "-")
      options->paths.push_back(arg);
    else if (arg == "--")
      optionsEnd = true;
    else if (arg == "--raw-time")
      options->format.rawTime = true;
    else if (arg == "--json")
      options->format.json = true;
    else if (arg == "-f" || arg == "--follow")
      options->follow = true;
    else if (arg == "-h" || arg == "--help")
      options->help = true;
    else {
      *message = "unknown option " + arg;
      return false;
    }
  }
  if (options->paths.empty() && !options->help) {
    *message = "no record file or folder named";
    return false;
  }
  return true;
}

// One run's files and what went wrong with them.
class Run {
 public:
  Run(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  // Takes a file, or a folder's record files in name order.
  void AddPath(const std::string& path);
  // Opens every file taken; false when none could be opened.
  bool OpenAll();
  // Reads and prints one round: whatever each file holds beyond the last round, merged in time order; a
  // file leaves the round when it holds no whole record more. True while a file may grow.
  bool PrintRound(FormatOptions format);
  // Ends every file: what a file holds after its last whole record is damage.
  void FinishAll();
  // Prints the messages about the files since the last time.
  void PrintMessages();
  // A warning when the files were written too far apart for the clock to place them.
  void CheckWritingTimes();
  int ExitCode() const { return exitCode_; }

 private:
  void Report(const std::string& path, int code, const std::string& message);
  void Report(const RecordFileReader& reader, ReadProblem problem, const std::string& message);
  // Gives the timeline the file's next record, if it holds a whole one; a problem ends its reading.
  void Pull(std::size_t file);
  // Hands the lines built so far to the output.
  void Write();

  std::ostream& out_;
  std::ostream& err_;
  std::vector<std::unique_ptr<RecordFileReader>> readers_;
  std::vector<DumpSource> sources_;
  std::vector<bool> reading_;  // per file: opened, and not stopped by a problem
  std::unique_ptr<RecordTimeline> timeline_;
  std::vector<std::pair<ReadProblem, std::string>> roundProblems_;  // per file, told in the files' order
  std::string lines_;                                               // built and not yet handed to out_
  std::vector<std::string> messages_;  // told after the records, where a reader sees them last
  int exitCode_ = LinkDumpOk;
};

void Run::Report(const std::string& path, int code, const std::string& message) {
  messages_.push_back("linkdump: " + path + ": " + message);
  exitCode_ = std::max(exitCode_, code);
}

void Run::Report(const RecordFileReader& reader, ReadProblem problem, const std::string& message) {
  int code = problem == ReadProblem::Damaged         ? LinkDumpDamaged
             : problem == ReadProblem::NotRecordFile ? LinkDumpNotRecordFile
                                                     : LinkDumpUnreadable;
  Report(reader.Path(), code, message);
}

void Run::AddPath(const std::string& path) {
  std::error_code error;
  if (!fs::is_directory(path, error)) {
    readers_.push_back(std::make_unique<RecordFileReader>(path));
    return;
  }
  std::vector<fs::path> files;
  for (fs::directory_iterator entry(path, error), end; !error && entry != end; entry.increment(error)) {
    LinkRecordName name;
    if (entry->is_regular_file(error) && LinkParseRecordName(entry->path().filename().string().c_str(), &name))
      files.push_back(entry->path());
  }
  if (error)
    Report(path, LinkDumpUnreadable, "cannot read the folder: " + error.message());
  else if (files.empty())
    Report(path, LinkDumpUnreadable, "no record files (cml*.bin, cml*.binFULL) in this folder");
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) readers_.push_back(std::make_unique<RecordFileReader>(file.string()));
}

bool Run::OpenAll() {
  timeline_ = std::make_unique<RecordTimeline>(static_cast<int>(readers_.size()));
  bool any = false;
  for (const auto& reader : readers_) {
    std::string message;
    ReadProblem problem = reader->Open(&message);
    if (problem != ReadProblem::None) Report(*reader, problem, message);
    reading_.push_back(problem == ReadProblem::None);
    sources_.push_back(SourceOf(*reader));
    any = any || reading_.back();
  }
  return any;
}

void Run::Pull(std::size_t file) {
  DumpRecord record;
  std::pair<ReadProblem, std::string>& problem = roundProblems_[file];
  if (readers_[file]->Next(&record, &problem.first, &problem.second))
    timeline_->Add(static_cast<int>(file), std::move(record));
  else if (problem.first != ReadProblem::None)
    reading_[file] = false;
}

void Run::Write() {
  out_.write(lines_.data(), static_cast<std::streamsize>(lines_.size()));
  lines_.clear();
}

bool Run::PrintRound(FormatOptions format) {
  for (const DumpSource& source : sources_)
    format.labelWidth = std::max(format.labelWidth, static_cast<int>(source.label.size()));
  roundProblems_.assign(readers_.size(), {ReadProblem::None, ""});
  for (std::size_t i = 0; i < readers_.size(); ++i)
    if (reading_[i]) Pull(i);
  PlacedRecord placed{};
  while (timeline_->Take(&placed)) {
    AppendRecord(&lines_, placed, sources_[static_cast<std::size_t>(placed.file)], format);
    lines_ += '\n';
    if (lines_.size() >= outputPiece) Write();
    Pull(static_cast<std::size_t>(placed.file));
  }
  Write();
  out_.flush();
  bool growing = false;
  for (std::size_t i = 0; i < readers_.size(); ++i) {
    if (roundProblems_[i].first != ReadProblem::None)
      Report(*readers_[i], roundProblems_[i].first, roundProblems_[i].second);
    growing = growing || reading_[i];
  }
  return growing;
}

void Run::FinishAll() {
  for (std::size_t i = 0; i < readers_.size(); ++i) {
    std::string message;
    ReadProblem problem = reading_[i] ? readers_[i]->Finish(&message) : ReadProblem::None;
    if (problem != ReadProblem::None) Report(*readers_[i], problem, message);
  }
}

void Run::PrintMessages() {
  for (const std::string& message : messages_) err_ << message << "\n";
  messages_.clear();
}

void Run::CheckWritingTimes() {
  std::vector<fs::file_time_type> times;
  for (std::size_t i = 0; i < readers_.size(); ++i) {
    std::error_code error;
    fs::file_time_type time = fs::last_write_time(readers_[i]->Path(), error);
    if (reading_[i] && !error) times.push_back(time);
  }
  if (times.size() < 2) return;
  auto [first, last] = std::minmax_element(times.begin(), times.end());
  double minutes = std::chrono::duration<double, std::ratio<60>>(*last - *first).count();
  if (minutes <= clockRangeMinutes) return;
  char text[300];
  std::snprintf(text, sizeof text,
                "linkdump: warning: these files were written up to %.0f minutes apart, longer than the clock's "
                "%.1f-minute range: records of different runs may be out of order; read each run's files on their own",
                minutes, clockRangeMinutes);
  messages_.push_back(text);
}

}  // namespace

int RunLinkDump(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                const std::function<bool()>& keepFollowing) {
  Options options;
  std::string message;
  if (!ParseArguments(args, &options, &message)) {
    err << "linkdump: " << message << "\n" << usage;
    return LinkDumpUsage;
  }
  if (options.help) {
    out << usage;
    return LinkDumpOk;
  }
  Run run(out, err);
  for (const std::string& path : options.paths) run.AddPath(path);
  if (!run.OpenAll()) {
    run.PrintMessages();
    return run.ExitCode();
  }
  if (!options.follow) {
    run.PrintRound(options.format);
    run.FinishAll();
    run.CheckWritingTimes();
    run.PrintMessages();
    return run.ExitCode();
  }
  while (run.PrintRound(options.format)) {
    run.PrintMessages();
    if (!keepFollowing()) break;
    std::this_thread::sleep_for(followInterval);
  }
  run.PrintMessages();
  return run.ExitCode();
}
