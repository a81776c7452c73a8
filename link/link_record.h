// Per-connection binary record files and their settings file CMLLOG.INI: event and text records of 40 bytes
// and full-traffic companion files, buffered in memory until close or written at once (WRITENOW).
#pragma once

#include "link/link.h"
#include "link/link_record_file.h"

#include <cstdint>
#include <cstdio>

// Process-wide state of this module: one settings block and one table of 18 record slots, all guarded by
// the record lock (link_locks.h). Slots 1-8 are record files, slot s + 9 is the full-traffic companion
// of slot s; slots 0 and 9 stay unused so that 0 can mean "no slot".
constexpr int LinkRecordSlotCount = 18;
constexpr int LinkRecordFiles = 8;
constexpr int LinkCompanionOffset = 9;
constexpr std::uint32_t LinkRecordBlock = 800000;         // buffer bytes per unit of RECORD
constexpr std::uint32_t LinkCompanionCapacity = 5000000;  // buffer bytes of a full-traffic companion
constexpr int LinkRecordUnread = -9999;                   // RECORD while CMLLOG.INI has not been read

struct LinkLogSettings {
  int record;     // RECORD: 0 or below no records; N > 0 buffers of N x 800000 bytes
  int bluetooth;  // BLUETOOTH: read by the serial link's break resynchronisation
  int logAll;     // LOGALL: full-traffic companions
  char ident[9];  // IDENT: inserted into every record file name
  int writeNow;   // WRITENOW: records go straight to disk, debug lines are flushed
};

// What is written, kept in LinkRecordSlot::writtenMark.
enum LinkWrittenMark { WrittenNothing = 0, WrittenBuffer = 1, WrittenText = 2, WrittenEvent = 3 };

struct LinkRecordSlot {
  std::uint8_t* buffer;
  std::uint32_t capacity;
  std::uint32_t used;
  std::FILE* file;
  std::uint8_t sequence;  // used in the file name; 0 after a close
  int writtenMark;
  char name[101];
};

// Opens the record file of one direction (LinkDirectionReceive first, then LinkDirectionTransmit) with a
// three-letter tag ("CRX", "STX", ...); reads CMLLOG.INI first while the settings are unread.
void LinkOpenRecord(LinkConnection* link, int direction, const char* tag);
// Event record: the stored order is b, a, c.
void LinkRecordEvent(LinkConnection* link, int direction, int code, std::uint32_t a, std::uint32_t b, std::uint32_t c);
void LinkRecordText(LinkConnection* link, int direction, int code, const char* text);
// Full-traffic record: kind >= 0 logs the link message at data; kind < 0 logs -kind raw bytes.
void LinkLogMessage(LinkConnection* link, int direction, int kind, const void* data);
// Closes both directions' files and their companions; an empty file is deleted.
void LinkCloseRecords(LinkConnection* link);

// Marks the settings unread, so that the next record open reads CMLLOG.INI again.
void LinkMarkLogSettingsUnread();
// Reads CMLLOG.INI of the current directory now, as the first record open does while the settings are
// unread; a missing file switches records off.
void LinkReadLogSettings();
// A copy of the current settings.
LinkLogSettings LinkCurrentLogSettings();
int LinkLogBluetooth();

// 's' for a server connection, 'c' for a client: the first character of a connection's debug lines.
char LinkRoleChar(const LinkConnection* link);
