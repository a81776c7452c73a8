// Serial links: closing a connection of kind 0.
#include "link/link_serial.h"

#include "link/link_record.h"

int LinkCloseSerial(LinkConnection* link) {
  LinkRecordEvent(link, LinkDirectionReceive, 313, static_cast<std::uint32_t>(link->comPort), 0, 0);
  LinkCloseRecords(link);
  if (link->comPort == 0) return 0;
  link->comPort = 0;
  link->status = 0;
  return 0;
}
