// What linkping prints, as text lines or as one JSON object a line: the first line, each request's
// outcome, the link's drops and returns, the summary and, when nothing came back, the reason.
#pragma once

#include <cstdio>
#include <string>

#include "ping_target.h"

// The round trips of the answered requests, in milliseconds.
class RoundTrips {
 public:
  void Add(double milliseconds);
  int count() const { return count_; }
  double last() const { return last_; }
  double min() const { return min_; }
  double max() const { return max_; }
  // The mean, and the mean deviation as ping reports it: the square root of the mean square less the
  // square of the mean. Both 0 while nothing was added.
  double average() const;
  double deviation() const;

 private:
  int count_ = 0;
  double last_ = 0;
  double min_ = 0;
  double max_ = 0;
  double sum_ = 0;
  double squares_ = 0;
};

struct PingSummary {
  int sent = 0;
  RoundTrips trips;         // one per answered request
  long long elapsedMs = 0;  // from the first request to the end
};

enum class LinkChange { Up, Dropped, Back };

// One way of printing. Each call writes whole lines to `out` and flushes it; `address` is the target's
// address as the technician named it, `clock` the time of day (HH:MM:SS).
struct PingReportFormat {
  void (*start)(std::FILE* out, const PingTarget& target);
  void (*reply)(std::FILE* out, const std::string& address, int seq, double milliseconds);
  void (*loss)(std::FILE* out, const std::string& address, int seq);
  void (*change)(std::FILE* out, const std::string& address, LinkChange change, const char* clock);
  void (*summary)(std::FILE* out, const std::string& address, const PingSummary& summary);
  void (*failure)(std::FILE* out, const std::string& address, const PingFailure& failure);
};

extern const PingReportFormat PingTextFormat;
extern const PingReportFormat PingJsonFormat;
