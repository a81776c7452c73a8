// The echo test. A request goes only over a link that carries it: one due while the link is down waits
// for it up to -W seconds. Each request carries its own number behind a marker, so that an echo of an
// earlier request, arriving late, never counts as the answer to the one waiting now; a message that is
// no echo of ours (a game computer may answer with a message of its own) counts, as in the game test.
#include "ping_session.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <thread>

#include "game_link.h"
#include "link/link.h"
#include "ping_options.h"
#include "ping_report.h"
#include "ping_target.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto PollPause = std::chrono::milliseconds(1);
constexpr std::uint8_t RequestMarker[] = {'l', 'p', 'n', 'g'};
constexpr int RequestPayloadSize = 8;  // the marker, then the request's number (u32, little-endian)

void PutNumber(std::uint8_t* bytes, std::uint32_t number) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(number >> (8 * i));
}

std::uint32_t NumberAt(const std::uint8_t* bytes) {
  std::uint32_t number = 0;
  for (int i = 3; i >= 0; --i) number = (number << 8) | bytes[i];
  return number;
}

// Whether a received message answers request `seq`: an echo of one of our requests answers only the
// request whose number it carries; any other message answers the request waiting now.
bool Answers(const std::uint8_t* message, int length, std::uint32_t seq) {
  const std::uint8_t* payload = message + LinkOffsetPayload;
  if (length < LinkHeaderSize + RequestPayloadSize || std::memcmp(payload, RequestMarker, sizeof RequestMarker) != 0)
    return true;
  return NumberAt(payload + sizeof RequestMarker) == seq;
}

// The time of day, HH:MM:SS.
std::string ClockText() {
  const std::time_t now = std::time(nullptr);
  char text[16] = "--:--:--";
  if (const std::tm* local = std::localtime(&now)) std::strftime(text, sizeof text, "%H:%M:%S", local);
  return text;
}

std::chrono::microseconds SecondsOf(double seconds) {
  return std::chrono::microseconds(static_cast<long long>(seconds * 1e6));
}

class PingSession {
 public:
  PingSession(LinkConnection* link, const PingTarget& target, const PingOptions& options,
              const PingReportFormat& format, std::FILE* out, const std::function<bool()>& interrupted)
      : link_(link), target_(target), options_(options), format_(format), out_(out), interrupted_(interrupted) {}

  // Makes the requests and prints the summary: the exit status.
  int Run();

 private:
  enum class State { NotYet, Up, Down };
  enum class Wait { Done, Deadline, Interrupted };
  enum class Outcome { Answered, Lost, Interrupted };

  bool Watch();
  template <typename Done>
  Wait WaitUntil(Clock::time_point deadline, Done done);
  Outcome Ask(std::uint32_t seq);
  void Drain();
  bool TakeAnswer(std::uint32_t seq);

  LinkConnection* link_;
  const PingTarget& target_;
  const PingOptions& options_;
  const PingReportFormat& format_;
  std::FILE* out_;
  const std::function<bool()>& interrupted_;
  State state_ = State::NotYet;
  bool lineSeen_ = false;
  Clock::time_point answeredAt_;
  PingSummary summary_;
};

// Reports the link coming up, dropping and coming back; false once the run is interrupted.
bool PingSession::Watch() {
  const bool carries = target_.kind->carries(link_, lineSeen_);
  if (carries != (state_ == State::Up)) {
    const LinkChange change =
        carries ? (state_ == State::NotYet ? LinkChange::Up : LinkChange::Back) : LinkChange::Dropped;
    format_.change(out_, target_.address, change, ClockText().c_str());
    state_ = carries ? State::Up : State::Down;
  }
  return !interrupted_();
}

// Watches every millisecond until `done` says true or the deadline passes.
template <typename Done>
PingSession::Wait PingSession::WaitUntil(Clock::time_point deadline, Done done) {
  for (;;) {
    if (!Watch()) return Wait::Interrupted;
    if (done()) return Wait::Done;
    if (Clock::now() >= deadline) return Wait::Deadline;
    std::this_thread::sleep_for(PollPause);
  }
}

// What arrived before a request answers none: the game test's rule. Both queues hold at most
// 2 x LinkQueueSlots messages, so a peer that never stops sending cannot hold the run here.
void PingSession::Drain() {
  std::uint8_t message[LinkReceiveBufferSize];
  for (int taken = 0; taken < 2 * LinkQueueSlots && LinkReceive(link_, -1, message, sizeof message) != 0; ++taken) {
  }
}

bool PingSession::TakeAnswer(std::uint32_t seq) {
  std::uint8_t message[LinkReceiveBufferSize];
  for (int taken = 0; taken < 2 * LinkQueueSlots; ++taken) {
    const int length = LinkReceive(link_, -1, message, sizeof message);
    if (length == 0) return false;
    if (Answers(message, length, seq)) {
      answeredAt_ = Clock::now();
      return true;
    }
  }
  return false;
}

// One request: it waits up to -W seconds in all, first for the link to carry it, then for its answer.
PingSession::Outcome PingSession::Ask(std::uint32_t seq) {
  const Clock::time_point deadline = Clock::now() + SecondsOf(options_.waitSeconds);
  const Wait carried = WaitUntil(deadline, [this] { return state_ == State::Up; });
  if (carried == Wait::Interrupted) return Outcome::Interrupted;
  ++summary_.sent;
  if (carried == Wait::Deadline) return Outcome::Lost;
  Drain();
  std::uint8_t payload[RequestPayloadSize];
  std::memcpy(payload, RequestMarker, sizeof RequestMarker);
  PutNumber(payload + sizeof RequestMarker, seq);
  std::uint8_t request[LinkMaxMessageLength];
  LinkBuildMessage(link_, request, sizeof request, GameRequestCode, EchoSubcode, payload, sizeof payload);
  const Clock::time_point sentAt = Clock::now();
  LinkSend(link_, request, 0);
  const Wait answered = WaitUntil(deadline, [this, seq] { return TakeAnswer(seq); });
  if (answered == Wait::Done)
    summary_.trips.Add(std::chrono::duration<double, std::milli>(answeredAt_ - sentAt).count());
  return answered == Wait::Done ? Outcome::Answered : answered == Wait::Deadline ? Outcome::Lost : Outcome::Interrupted;
}

int PingSession::Run() {
  format_.start(out_, target_);
  const Clock::time_point begin = Clock::now();
  for (int seq = 1; options_.count == 0 || seq <= options_.count; ++seq) {
    const Outcome outcome = Ask(static_cast<std::uint32_t>(seq));
    if (outcome == Outcome::Interrupted) break;
    if (outcome == Outcome::Lost) {
      format_.loss(out_, target_.address, seq);
      continue;
    }
    format_.reply(out_, target_.address, seq, summary_.trips.last());
    if (seq == options_.count) break;
    if (WaitUntil(Clock::now() + SecondsOf(options_.intervalSeconds), [] { return false; }) == Wait::Interrupted) break;
  }
  summary_.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count();
  format_.summary(out_, target_.address, summary_);
  const int received = summary_.trips.count();
  if (received > 0) return received == summary_.sent ? PingAllAnswered : PingSomeLost;
  const PingFailure failure =
      state_ == State::NotYet ? target_.kind->neverCarried(link_, target_)
                              : PingFailure{"no answer", "the link to " + DescribePingTarget(target_) +
                                                             " carried the requests, but the game computer answered "
                                                             "none of them (is the game menu running?)"};
  format_.failure(out_, target_.address, failure);
  return PingNoneAnswered;
}

}  // namespace

int RunLinkPing(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
                const std::function<bool()>& interrupted) {
  PingOptions options;
  std::string problem;
  switch (ParsePingOptions(args, options, problem)) {
    case PingCommand::Help:
      std::fputs(PingUsage, out);
      return PingAllAnswered;
    case PingCommand::Bad:
      std::fprintf(err, "linkping: %s\n%s", problem.c_str(), PingUsage);
      return PingNoneAnswered;
    case PingCommand::Run:
      break;
  }
  const PingReportFormat& format = options.json ? PingJsonFormat : PingTextFormat;
  DeviceSettings settings;
  const bool settingsFound = options.address.empty() && ReadDeviceSettingsInto(settings);
  PingTarget target;
  PingFailure failure;
  if (!ChoosePingTarget(options, settingsFound ? &settings : nullptr, target, failure)) {
    format.failure(out, target.address, failure);
    return PingNoneAnswered;
  }
  LinkConnection* link = LinkCreate();
  if (link == nullptr) {
    format.failure(out, target.address,
                   PingFailure{"open failed",
                               "the link library could not start (no memory, or "
                               "no socket library)"});
    return PingNoneAnswered;
  }
  int status = PingNoneAnswered;
  if (target.kind->open(link, target, failure))
    status = PingSession(link, target, options, format, out, interrupted).Run();
  else
    format.failure(out, target.address, failure);
  LinkRelease(link);
  return status;
}
