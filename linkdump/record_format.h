// One line of text, or one JSON object, per record: the time, the file's direction and tag, and what the
// record says, with event names and value meanings from the link's own event table.
#pragma once

#include "record_timeline.h"

#include <string>

// Where a record came from, as its line shows it.
struct DumpSource {
  std::string fileName;  // the file's name without folders
  std::string label;     // the name's IDENT, tag, slot and sequence ("CRX10"), or the whole name
  std::string tag;       // "CRX"; empty when the name does not have the link's form
  int direction;         // LinkDirectionReceive, LinkDirectionTransmit, or -1 when unknown
};

// The source of a file as its reader sees it.
DumpSource SourceOf(const RecordFileReader& reader);

struct FormatOptions {
  bool rawTime = false;  // the clock's own reading instead of seconds since the first record
  bool json = false;     // one JSON object per record instead of a line of text
  int labelWidth = 0;    // the labels' column width in text lines
};

// Appends the record to `text` as one line, without its line end.
void AppendRecord(std::string* text, const PlacedRecord& placed, const DumpSource& source,
                  const FormatOptions& options);
