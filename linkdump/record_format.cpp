// Text lines and JSON objects of records. Event names and value meanings are looked up in the link's
// event table (LinkFindEvent), so a code the table gains is named here without a change.
#include "record_format.h"

#include "link/link.h"
#include "link/link_events.h"

#include <cstring>
#include <string_view>

namespace {

constexpr const char* unusedValue = "-";  // the table's meaning of a value recorded as 0
constexpr std::uint32_t decimalBelow = 65536;
constexpr std::uint32_t negativeFrom = 0xFFFF0000u;  // -65536 as a 32-bit value
constexpr std::size_t secondsWidth = 11;             // the time column: seconds since the first record
constexpr std::size_t clockWidth = 10;               // or the clock's own reading
constexpr std::size_t codeWidth = 3;
constexpr std::size_t microsecondDigits = 6;
constexpr std::uint32_t microsecondsPerSecond = 1000000;
constexpr const char* lowerDigits = "0123456789abcdef";
constexpr const char* upperDigits = "0123456789ABCDEF";

// The lines are built by appending to one text, digit by digit where printf would parse its format for
// every field: linkdump prints millions of records.

void Decimal(std::string& text, std::uint64_t value) {
  char digits[20];
  char* end = digits + sizeof digits;
  char* first = end;
  do *--first = static_cast<char>('0' + value % 10);
  while ((value /= 10) != 0);
  text.append(first, end);
}

// Spaces before what was appended from `start` on, so that it fills `width` characters.
void RightAligned(std::string& text, std::size_t start, std::size_t width) {
  const std::size_t length = text.size() - start;
  if (length < width) text.insert(start, width - length, ' ');
}

void HexDigits(std::string& text, std::uint32_t value, int digits, const char* set) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) text += set[(value >> shift) & 0xF];
}

bool Printable(std::uint8_t byte) { return byte >= 0x20 && byte < 0x7F; }

// Seconds with microseconds: "12.000345", "-0.000002".
void Seconds(std::string& text, std::int64_t microseconds) {
  std::uint64_t magnitude =
      microseconds < 0 ? 0 - static_cast<std::uint64_t>(microseconds) : static_cast<std::uint64_t>(microseconds);
  if (microseconds < 0) text += '-';
  Decimal(text, magnitude / microsecondsPerSecond);
  text += '.';
  const std::size_t start = text.size();
  Decimal(text, magnitude % microsecondsPerSecond);
  text.insert(start, microsecondDigits - (text.size() - start), '0');
}

// Small numbers in decimal, small negative ones (an error result kept in 32 bits) with their sign, the
// rest (message words, bytes, clock readings) in hexadecimal.
void Value(std::string& text, std::uint32_t value) {
  if (value < decimalBelow) {
    Decimal(text, value);
  } else if (value >= negativeFrom) {
    text += '-';
    Decimal(text, 0 - value);
  } else {
    text += "0x";
    HexDigits(text, value, 8, upperDigits);
  }
}

void Hex(std::string& text, const std::uint8_t* bytes, std::size_t count, const char* between) {
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += between;
    HexDigits(text, bytes[i], 2, lowerDigits);
  }
}

// The bytes in hexadecimal and, between bars, as characters ('.' where not printable).
void HexAndCharacters(std::string& text, const std::uint8_t* bytes, std::size_t count) {
  Hex(text, bytes, count, " ");
  text += " |";
  for (std::size_t i = 0; i < count; ++i) text += Printable(bytes[i]) ? static_cast<char>(bytes[i]) : '.';
  text += '|';
}

void QuotedText(std::string& text, const char* quoted) {
  text += '"';
  for (const char* c = quoted; *c != '\0'; ++c) {
    auto byte = static_cast<std::uint8_t>(*c);
    if (*c == '"' || *c == '\\') {
      text += '\\';
      text += *c;
    } else if (Printable(byte)) {
      text += *c;
    } else {
      text += "\\x";
      HexDigits(text, byte, 2, lowerDigits);
    }
  }
  text += '"';
}

void JsonString(std::string& text, std::string_view value) {
  text += '"';
  for (char c : value) {
    auto byte = static_cast<std::uint8_t>(c);
    if (c == '"' || c == '\\') {
      text += '\\';
      text += c;
    } else if (Printable(byte)) {
      text += c;
    } else {
      text += "\\u";  // record texts are bytes: each one as the character of that number
      HexDigits(text, byte, 4, lowerDigits);
    }
  }
  text += '"';
}

// What a message in a full-traffic record holds.
struct MessageFields {
  unsigned code, subcode, length;
  std::uint32_t sequence;
  const std::uint8_t* payload;
  std::size_t payloadLength;
};

MessageFields ReadMessage(const std::vector<std::uint8_t>& data) {
  const std::uint8_t* m = data.data();
  std::size_t n = data.size();
  const std::uint8_t* sequence = m + n - 4;
  return {m[LinkOffsetCode],
          m[LinkOffsetSubcode],
          static_cast<unsigned>(m[LinkOffsetLength] | m[LinkOffsetLength + 1] << 8),
          static_cast<std::uint32_t>(sequence[0] | sequence[1] << 8 | sequence[2] << 16) |
              static_cast<std::uint32_t>(sequence[3]) << 24,
          m + LinkOffsetPayload,
          n - LinkHeaderSize};
}

void EventText(std::string& text, const LinkRecord& record) {
  const LinkEventInfo* event = LinkFindEvent(record.code);
  const std::size_t start = text.size();
  Decimal(text, record.code);
  RightAligned(text, start, codeWidth);
  text += ' ';
  text += event != nullptr ? event->name : "(unknown)";
  if (record.type == LinkRecordTextType) {
    text += ' ';
    QuotedText(text, record.text);
    return;
  }
  const char names[3] = {'a', 'b', 'c'};
  const std::uint32_t values[3] = {record.a, record.b, record.c};
  const char* meanings[3] = {event ? event->a : nullptr, event ? event->b : nullptr, event ? event->c : nullptr};
  const char* separator = " ";
  for (int i = 0; i < 3; ++i) {
    bool unused = meanings[i] != nullptr && std::strcmp(meanings[i], unusedValue) == 0;
    if (unused && values[i] == 0) continue;
    text += separator;
    text += names[i];
    text += '=';
    Value(text, values[i]);
    if (meanings[i] != nullptr && !unused) {
      text += " (";
      text += meanings[i];
      text += ')';
    }
    separator = ", ";
  }
}

void TrafficText(std::string& text, const DumpRecord& record) {
  const std::vector<std::uint8_t>& data = record.data;
  if (LinkTrafficIsMessage(record.header, data.data())) {
    MessageFields m = ReadMessage(data);
    text += "message kind ";
    Decimal(text, record.header.kind);
    text += ": code ";
    Decimal(text, m.code);
    text += " subcode ";
    Decimal(text, m.subcode);
    text += " length ";
    Decimal(text, m.length);
    text += " sequence ";
    Decimal(text, m.sequence);
    if (m.payloadLength == 0) {
      text += ", no payload";
      return;
    }
    text += ", payload ";
    HexAndCharacters(text, m.payload, m.payloadLength);
    return;
  }
  text += "raw ";
  Decimal(text, data.size());
  text += " bytes";
  if (record.header.kind != data.size()) {
    text += " (kind ";
    Decimal(text, record.header.kind);
    text += ')';
  }
  if (data.empty()) return;
  text += ": ";
  HexAndCharacters(text, data.data(), data.size());
}

const char* Direction(int direction, const char* receive, const char* transmit, const char* unknown) {
  return direction == LinkDirectionReceive ? receive : direction == LinkDirectionTransmit ? transmit : unknown;
}

void TextLine(std::string& text, const PlacedRecord& placed, const DumpSource& source, const FormatOptions& options) {
  const DumpRecord& record = placed.record;
  const std::size_t start = text.size();
  if (options.rawTime) {
    Decimal(text, record.Clock());
    RightAligned(text, start, clockWidth);
  } else {
    Seconds(text, placed.time);
    RightAligned(text, start, secondsWidth);
  }
  text += ' ';
  text += Direction(source.direction, "rx", "tx", "--");
  text += ' ';
  text += source.label;
  if (source.label.size() < static_cast<std::size_t>(options.labelWidth))
    text.append(static_cast<std::size_t>(options.labelWidth) - source.label.size(), ' ');
  text += ' ';
  if (record.traffic)
    TrafficText(text, record);
  else
    EventText(text, record.record);
}

void JsonEvent(std::string& text, const LinkRecord& record) {
  const LinkEventInfo* event = LinkFindEvent(record.code);
  text += record.type == LinkRecordTextType ? ",\"record\":\"text\",\"code\":" : ",\"record\":\"event\",\"code\":";
  Decimal(text, record.code);
  text += ",\"name\":";
  if (event != nullptr) {
    JsonString(text, event->name);
    text += ",\"what\":";
    JsonString(text, event->what);
  } else {
    text += "null";
  }
  if (record.type == LinkRecordTextType) {
    text += ",\"text\":";
    JsonString(text, record.text);
    return;
  }
  text += ",\"a\":";
  Decimal(text, record.a);
  text += ",\"b\":";
  Decimal(text, record.b);
  text += ",\"c\":";
  Decimal(text, record.c);
  if (event == nullptr) return;
  text += ",\"means\":{\"a\":";
  JsonString(text, event->a);
  text += ",\"b\":";
  JsonString(text, event->b);
  text += ",\"c\":";
  JsonString(text, event->c);
  text += '}';
}

void JsonTraffic(std::string& text, const DumpRecord& record) {
  const std::vector<std::uint8_t>& data = record.data;
  if (LinkTrafficIsMessage(record.header, data.data())) {
    MessageFields m = ReadMessage(data);
    text += ",\"record\":\"message\",\"kind\":";
    Decimal(text, record.header.kind);
    text += ",\"code\":";
    Decimal(text, m.code);
    text += ",\"subcode\":";
    Decimal(text, m.subcode);
    text += ",\"length\":";
    Decimal(text, m.length);
    text += ",\"sequence\":";
    Decimal(text, m.sequence);
    text += ",\"payload\":\"";
    Hex(text, m.payload, m.payloadLength, "");
    text += '"';
    return;
  }
  text += ",\"record\":\"raw\",\"kind\":";
  Decimal(text, record.header.kind);
  text += ",\"bytes\":\"";
  Hex(text, data.data(), data.size(), "");
  text += '"';
}

void JsonLine(std::string& text, const PlacedRecord& placed, const DumpSource& source) {
  const DumpRecord& record = placed.record;
  text += "{\"time\":";
  Seconds(text, placed.time);
  text += ",\"clock\":";
  Decimal(text, record.Clock());
  text += ",\"file\":";
  JsonString(text, source.fileName);
  text += ",\"tag\":";
  if (source.tag.empty())
    text += "null";
  else
    JsonString(text, source.tag);
  text += ",\"direction\":";
  text += Direction(source.direction, "\"receive\"", "\"transmit\"", "null");
  if (record.traffic)
    JsonTraffic(text, record);
  else
    JsonEvent(text, record.record);
  text += '}';
}

}  // namespace

DumpSource SourceOf(const RecordFileReader& reader) {
  if (!reader.NameKnown()) return {reader.FileName(), reader.FileName(), "", -1};
  const LinkRecordName& name = reader.Name();
  return {reader.FileName(),
          std::string(name.ident) + name.tag + std::to_string(name.slot) + std::to_string(name.sequence), name.tag,
          name.direction};
}

void AppendRecord(std::string* text, const PlacedRecord& placed, const DumpSource& source,
                  const FormatOptions& options) {
  if (options.json)
    JsonLine(*text, placed, source);
  else
    TextLine(*text, placed, source, options);
}
