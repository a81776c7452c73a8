// Serial links: the serial side's operations that the object, connection and queue code call. Until the
// serial port driver is part of the library, no serial port can be opened.
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

int LinkOpenSerial(LinkConnection*, const char*, int) { return 4; }

void LinkResetSerial(LinkConnection* link) { link->errorCount = 0; }

int PollSerialLine(LinkConnection*) { return 0; }

int LinkWriteSerial(LinkConnection* link, const void*, int) { return link->comPort == 0 ? 1 : 2; }
