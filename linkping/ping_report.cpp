// The two ways of printing: text lines in ping's words, and JSON objects for programs that read them.
#include "ping_report.h"

#include <algorithm>
#include <cmath>

#include "game_link.h"

void RoundTrips::Add(double milliseconds) {
  min_ = count_ == 0 ? milliseconds : std::min(min_, milliseconds);
  max_ = count_ == 0 ? milliseconds : std::max(max_, milliseconds);
  ++count_;
  last_ = milliseconds;
  sum_ += milliseconds;
  squares_ += milliseconds * milliseconds;
}

double RoundTrips::average() const { return count_ == 0 ? 0 : sum_ / count_; }

double RoundTrips::deviation() const {
  if (count_ == 0) return 0;
  const double mean = average();
  return std::sqrt(std::max(0.0, squares_ / count_ - mean * mean));
}

namespace {

const char* const ChangeWords[] = {"up", "dropped", "back"};

const char* ChangeWord(LinkChange change) { return ChangeWords[static_cast<int>(change)]; }

// The share of requests lost in per cent, to three figures: a single loss among many never reads as 0.
std::string LostPercent(const PingSummary& s) {
  char text[32];
  const int lost = s.sent - s.trips.count();
  std::snprintf(text, sizeof text, "%.3g", s.sent == 0 ? 0.0 : 100.0 * lost / s.sent);
  return text;
}

void Finish(std::FILE* out) { std::fflush(out); }

// --- text ----------------------------------------------------------------------------------------------

void TextStart(std::FILE* out, const PingTarget& target) {
  std::fprintf(out, "LINKPING %s: echo requests (code %d, subcode %d)\n", DescribePingTarget(target).c_str(),
               GameRequestCode, EchoSubcode);
  Finish(out);
}

void TextReply(std::FILE* out, const std::string& address, int seq, double milliseconds) {
  std::fprintf(out, "reply from %s: seq=%d time=%.3f ms\n", address.c_str(), seq, milliseconds);
  Finish(out);
}

void TextLoss(std::FILE* out, const std::string& address, int seq) {
  std::fprintf(out, "no reply from %s: seq=%d\n", address.c_str(), seq);
  Finish(out);
}

void TextChange(std::FILE* out, const std::string& address, LinkChange change, const char* clock) {
  std::fprintf(out, "link to %s %s at %s\n", address.c_str(), ChangeWord(change), clock);
  Finish(out);
}

void TextSummary(std::FILE* out, const std::string& address, const PingSummary& s) {
  std::fprintf(out, "--- %s linkping statistics ---\n%d sent, %d received, %s%% lost, time %s ms\n", address.c_str(),
               s.sent, s.trips.count(), LostPercent(s).c_str(), std::to_string(s.elapsedMs).c_str());
  if (s.trips.count() > 0)
    std::fprintf(out, "round trip min/avg/max/mdev = %.3f/%.3f/%.3f/%.3f ms\n", s.trips.min(), s.trips.average(),
                 s.trips.max(), s.trips.deviation());
  Finish(out);
}

void TextFailure(std::FILE* out, const std::string&, const PingFailure& failure) {
  std::fprintf(out, "linkping: %s\n", failure.text.c_str());
  Finish(out);
}

// --- JSON ----------------------------------------------------------------------------------------------

std::string JsonText(const std::string& text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    char escaped[8];
    if (c == '"' || c == '\\')
      std::snprintf(escaped, sizeof escaped, "\\%c", c);
    else if (c < 0x20)
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
    else
      std::snprintf(escaped, sizeof escaped, "%c", c);
    quoted += escaped;
  }
  return quoted + "\"";
}

// Starts an object with its event and address; the caller adds the rest and closes it.
void JsonOpen(std::FILE* out, const char* event, const std::string& address) {
  std::fprintf(out, "{\"event\":\"%s\",\"address\":%s", event, JsonText(address).c_str());
}

void JsonClose(std::FILE* out) {
  std::fprintf(out, "}\n");
  Finish(out);
}

void JsonStart(std::FILE*, const PingTarget&) {}

void JsonReply(std::FILE* out, const std::string& address, int seq, double milliseconds) {
  JsonOpen(out, "reply", address);
  std::fprintf(out, ",\"seq\":%d,\"time_ms\":%.3f", seq, milliseconds);
  JsonClose(out);
}

void JsonLoss(std::FILE* out, const std::string& address, int seq) {
  JsonOpen(out, "loss", address);
  std::fprintf(out, ",\"seq\":%d", seq);
  JsonClose(out);
}

void JsonChange(std::FILE* out, const std::string& address, LinkChange change, const char* clock) {
  JsonOpen(out, ChangeWord(change), address);
  std::fprintf(out, ",\"at\":\"%s\"", clock);
  JsonClose(out);
}

void JsonSummary(std::FILE* out, const std::string& address, const PingSummary& s) {
  JsonOpen(out, "summary", address);
  std::fprintf(out, ",\"sent\":%d,\"received\":%d,\"lost_percent\":%s,\"time_ms\":%s", s.sent, s.trips.count(),
               LostPercent(s).c_str(), std::to_string(s.elapsedMs).c_str());
  if (s.trips.count() > 0)
    std::fprintf(out, ",\"round_trip_ms\":{\"min\":%.3f,\"avg\":%.3f,\"max\":%.3f,\"mdev\":%.3f}", s.trips.min(),
                 s.trips.average(), s.trips.max(), s.trips.deviation());
  JsonClose(out);
}

void JsonFailure(std::FILE* out, const std::string& address, const PingFailure& failure) {
  JsonOpen(out, "failure", address);
  std::fprintf(out, ",\"reason\":%s,\"message\":%s", JsonText(failure.reason).c_str(), JsonText(failure.text).c_str());
  JsonClose(out);
}

}  // namespace

const PingReportFormat PingTextFormat{TextStart, TextReply, TextLoss, TextChange, TextSummary, TextFailure};
const PingReportFormat PingJsonFormat{JsonStart, JsonReply, JsonLoss, JsonChange, JsonSummary, JsonFailure};
