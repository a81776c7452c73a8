// A client's reading of the announcements servers send while it is not connected. One that names the
// client's peer, or whose name has the peer's address, matches: it is recorded and never queued. Any
// other is queued as an ordinary datagram. A name whose answer is not at hand is looked up in the
// background (link_resolver.h) while its announcement waits here, on the link thread, which never waits
// for a name server: it decides a waiting announcement when the answer comes or its wait is over.
#pragma once

#include "link/link.h"

#include <cstdint>

// How long an announcement waits for its name's answer before it counts as a stranger's: less than the
// second between two announcements of a server, so that a server's next announcement never finds its
// last one still waiting. An answer from the hosts file, a local name server or the local network's
// multicast names comes within milliseconds; a name server that has not answered in that time is one the
// system is waiting out (for seconds) before it asks again or elsewhere.
constexpr std::uint32_t LinkAnnouncementWaitMs = 900;
// Announcements that wait at once, each of another name.
constexpr int LinkAnnouncementsWaiting = 4;
// The announced host name: the text at offset 4, at most 64 characters.
constexpr int LinkAnnouncementNameOffset = 4;
constexpr int LinkAnnouncementNameSize = 64;

class LinkAnnouncementReader {
 public:
  // Takes an announcement that arrived while the link was unconnected: a match records event 125 and sets
  // connectState 4, a stranger's is queued, one whose name has no answer at hand waits. A name's newer
  // announcement ends the wait of the one before, and one that finds no place free is decided at once.
  void Take(LinkConnection* link, const std::uint8_t* message, int length);
  // Decides the waiting announcements whose answer came or whose wait is over; all of them, by the
  // answers at hand, when `all` (the thread is ending).
  void DecideWaiting(LinkConnection* link, bool all);
  // True while an announcement waits.
  bool Waiting() const { return waiting_ > 0; }

 private:
  struct Held {
    bool used = false;
    std::uint32_t heardAt = 0;
    int length = 0;
    char name[LinkAnnouncementNameSize + 1] = {};
    std::uint8_t message[LinkReceiveBufferSize];
  };
  // Decides one announcement heard at `heardAt`; false while it is to wait on (never when `final`).
  bool Decide(LinkConnection* link, const Held& announcement, bool final);
  Held held_[LinkAnnouncementsWaiting];
  int waiting_ = 0;
};
