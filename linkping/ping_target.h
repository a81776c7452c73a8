// Which link linkping tests and how each kind of link is opened, watched and explained: an address of the
// command line (a socket link, or a serial link for COMn), or the game link of the suite's settings
// (DEVS.NIN) as the game communications test takes it.
#pragma once

#include <string>

#include "device_settings.h"
#include "ping_options.h"

struct LinkConnection;
struct PingTarget;

// Why a run could not test the link, in plain words: `reason` is a short key (refused, unreachable, no
// such port, port in use, ...), `text` the sentence for the technician.
struct PingFailure {
  const char* reason = "";
  std::string text;
};

// What differs between a socket link and a serial link, chosen once by the target.
struct PingLinkKind {
  // The words around the number where the target is named: "127.0.0.1 port 5510", "COM2 at 115200 baud".
  const char* numberBefore;
  const char* numberAfter;
  // Opens the link on a new object: true, or false with why the link did not open.
  bool (*open)(LinkConnection* link, const PingTarget& target, PingFailure& failure);
  // Whether the link carries requests now. `lineSeen` keeps, for a serial link, that its peer's line
  // (DSR) has been on: after that, the line going off is the link dropping; a cable without the line
  // never drops.
  bool (*carries)(LinkConnection* link, bool& lineSeen);
  // Why a link that never carried a request did not.
  PingFailure (*neverCarried)(LinkConnection* link, const PingTarget& target);
};

struct PingTarget {
  const PingLinkKind* kind = nullptr;
  std::string address;  // as LinkConnect takes it: a host, a dotted address or COMn
  int number = 0;       // the T port of a socket link, the baud rate of a serial one
};

// The target as the technician reads it: its address and its port or baud rate.
std::string DescribePingTarget(const PingTarget& target);

// Chooses the link to test from the options or, when they name no address, from the suite's settings
// (null when there is no DEVS.NIN): true with `target` filled, else false with why in `failure`.
bool ChoosePingTarget(const PingOptions& options, const DeviceSettings* settings, PingTarget& target,
                      PingFailure& failure);
