// The link's record files as they are stored: the 40-byte event and text records, the full-traffic
// records of the companion files, and the rule that names both. The library writes by these
// definitions, and a reader of record files reads by them.
#pragma once

#include <cstdint>

// A record file has no header: 40-byte records in the order they were written, little-endian.
constexpr int LinkRecordSize = 40;
constexpr int LinkRecordTextSize = 32;  // text of a text record, zero-padded, unterminated at 32
constexpr std::uint16_t LinkRecordEventType = 0;
constexpr std::uint16_t LinkRecordTextType = 1;

// A full-traffic file has no header either: records of an 8-byte header and the data, each as long as
// its length field says.
constexpr int LinkTrafficHeaderSize = 8;

// The two record files of a connection: receive and transmit.
constexpr int LinkDirectionReceive = 0;
constexpr int LinkDirectionTransmit = 1;

// Names: IDENT, the three-letter tag ("CRX", "STX", ...: its last two letters are RX or TX), the slot
// (1 to 8) and the slot's sequence number (0 to 255). A full-traffic file adds the suffix to the name.
constexpr const char* LinkRecordNameFormat = "cml%s%s%d%d.bin";
constexpr const char* LinkTrafficNameSuffix = "FULL";
constexpr int LinkRecordIdentMax = 8;

// One event or text record.
struct LinkRecord {
  std::uint16_t type;  // LinkRecordEventType or LinkRecordTextType
  std::uint16_t code;  // event code (link_events.h, or the application's own)
  std::uint32_t time;  // LinkTimestamp when it was recorded: microseconds, wrapping at 32 bits
  std::uint32_t a;     // an event's three values; 0 in a text record
  std::uint32_t b;
  std::uint32_t c;
  char text[LinkRecordTextSize + 1];  // a text record's text, terminated; empty in an event record
};

// Lays the record out in 40 bytes: value b is stored before value a, and an event's last 20 bytes are
// zero. No result.
void LinkEncodeRecord(const LinkRecord& record, std::uint8_t* bytes);
// Reads 40 bytes into the record: true for an event or text record; false for any other type, with
// only type, code and time filled in.
bool LinkDecodeRecord(const std::uint8_t* bytes, LinkRecord* record);

// The header of one full-traffic record.
struct LinkTrafficHeader {
  std::uint32_t time;    // LinkTimestamp when it was logged
  std::uint16_t kind;    // a message: the kind the caller gave (the class of a received code); raw
                         // serial bytes: their count
  std::uint16_t length;  // the whole record: header and data
};

// Writes the 8-byte header; no result.
void LinkEncodeTrafficHeader(const LinkTrafficHeader& header, std::uint8_t* bytes);
// Reads an 8-byte header.
LinkTrafficHeader LinkDecodeTrafficHeader(const std::uint8_t* bytes);
// True when a full-traffic record's data (header.length - 8 bytes) is one whole link message, whose own
// length field names exactly those bytes; false for raw serial bytes.
bool LinkTrafficIsMessage(const LinkTrafficHeader& header, const std::uint8_t* data);

// What a record file's name says.
struct LinkRecordName {
  char ident[LinkRecordIdentMax + 1];
  char tag[4];
  int direction;  // LinkDirectionReceive or LinkDirectionTransmit by the tag; -1 for another tag
  int slot;       // 1 to 8
  int sequence;   // 0 to 255
  bool traffic;   // a full-traffic file: the name ends in the suffix (told for any name)
};

// Splits a file name (without folders) built by the naming rule, its letters matched in any case as
// Windows matches names: true when it has that form. `traffic` is filled in either way, so that a
// renamed file still tells its kind.
bool LinkParseRecordName(const char* name, LinkRecordName* parts);
