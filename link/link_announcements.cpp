// The client's announcement reader: a few announcements held on the link thread, each asked about at the
// resolver until its name's answer decides it or its wait is over.
#include "link_announcements.h"

#include "link/link_events.h"
#include "link_queue.h"
#include "link_record.h"
#include "link_resolver.h"
#include "link_shared.h"
#include "link_socket_fields.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

bool EqualsIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; a++, b++)
    if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

void Matched(LinkConnection* link, int length) {
  if (LinkLoad(link->status) == 0) LinkStore(link->connectState, LinkConnectStateAgain);
  LinkRecordEvent(link, LinkDirectionReceive, LinkEventClientAnnouncementMatched, static_cast<std::uint32_t>(length), 0,
                  0);
}

}  // namespace

bool LinkAnnouncementReader::Decide(LinkConnection* link, const Held& a, bool final) {
  LinkNameVerdict verdict = LinkNameElsewhere;
  if (a.name[0] != '\0')
    verdict = EqualsIgnoringCase(a.name, link->peerName)
                  ? LinkNameAtAddress
                  : LinkAnnouncementResolver().Check(a.name, LinkAddressOf(link->tcpPeer).address, a.heardAt);
  if (verdict == LinkNameUnknown && !final && LinkMilliseconds() - a.heardAt < LinkAnnouncementWaitMs) return false;
  if (verdict == LinkNameAtAddress)
    Matched(link, a.length);
  else
    LinkEnqueueMessage(link, a.message, a.length, LinkDatagramQueue, "udpsocket");
  return true;
}

void LinkAnnouncementReader::Take(LinkConnection* link, const std::uint8_t* message, int length) {
  Held arrived;
  arrived.heardAt = LinkMilliseconds();
  arrived.length = length;
  std::memcpy(arrived.message, message, static_cast<size_t>(length));
  if (length > LinkAnnouncementNameOffset)
    std::memcpy(arrived.name, message + LinkAnnouncementNameOffset,
                static_cast<size_t>(std::min(LinkAnnouncementNameSize, length - LinkAnnouncementNameOffset)));
  if (Decide(link, arrived, false)) return;

  Held* place = nullptr;
  for (Held& h : held_)
    if (h.used && EqualsIgnoringCase(h.name, arrived.name)) {
      Decide(link, h, true);
      place = &h;
    }
  for (Held& h : held_)
    if (place == nullptr && !h.used) place = &h;
  if (place == nullptr) {
    Decide(link, arrived, true);
    return;
  }
  if (!place->used) waiting_++;
  *place = arrived;
  place->used = true;
}

void LinkAnnouncementReader::DecideWaiting(LinkConnection* link, bool all) {
  for (Held& h : held_)
    if (h.used && Decide(link, h, all)) {
      h.used = false;
      waiting_--;
    }
}
