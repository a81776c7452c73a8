// Text lines and JSON objects of records. Event names and value meanings are looked up in the link's
// event table (LinkFindEvent), so a code the table gains is named here without a change.
#include "record_format.h"

#include "link/link.h"
#include "link/link_events.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr const char* unusedValue = "-"; // the table's meaning of a value recorded as 0
constexpr std::uint32_t decimalBelow = 65536;
constexpr std::uint32_t negativeFrom = 0xFFFF0000u; // -65536 as a 32-bit value

std::string Printf(const char* format, ...) LINK_PRINTF_FORMAT(1, 2);
std::string Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  std::vsnprintf(&text[0], text.size() + 1, format, again);
  va_end(again);
  return text;
}

bool Printable(std::uint8_t byte) { return byte >= 0x20 && byte < 0x7F; }

// Seconds with microseconds: "12.000345", "-0.000002".
std::string Seconds(std::int64_t microseconds) {
  std::uint64_t magnitude =
      microseconds < 0 ? 0 - static_cast<std::uint64_t>(microseconds) : static_cast<std::uint64_t>(microseconds);
  return Printf("%s%" PRIu64 ".%06" PRIu64, microseconds < 0 ? "-" : "", magnitude / 1000000, magnitude % 1000000);
}

// Small numbers in decimal, small negative ones (an error result kept in 32 bits) with their sign, the
// rest (message words, bytes, clock readings) in hexadecimal.
std::string Value(std::uint32_t value) {
  if (value < decimalBelow) return Printf("%" PRIu32, value);
  if (value >= negativeFrom) return Printf("-%" PRIu32, 0 - value);
  return Printf("0x%08" PRIX32, value);
}

std::string Hex(const std::uint8_t* bytes, std::size_t count, const char* between) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += (i > 0 ? between : "") + Printf("%02x", bytes[i]);
  return text;
}

// The bytes in hexadecimal and, between bars, as characters ('.' where not printable).
std::string HexAndCharacters(const std::uint8_t* bytes, std::size_t count) {
  std::string text = Hex(bytes, count, " ") + " |";
  for (std::size_t i = 0; i < count; ++i) text += Printable(bytes[i]) ? static_cast<char>(bytes[i]) : '.';
  return text + "|";
}

std::string QuotedText(const char* text) {
  std::string quoted = "\"";
  for (const char* c = text; *c != '\0'; ++c) {
    auto byte = static_cast<std::uint8_t>(*c);
    if (*c == '"' || *c == '\\')
      quoted += std::string("\\") + *c;
    else if (Printable(byte))
      quoted += *c;
    else
      quoted += Printf("\\x%02x", byte);
  }
  return quoted + "\"";
}

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    auto byte = static_cast<std::uint8_t>(c);
    if (c == '"' || c == '\\')
      quoted += std::string("\\") + c;
    else if (Printable(byte))
      quoted += c;
    else
      quoted += Printf("\\u%04x", byte); // record texts are bytes: each one as the character of that number
  }
  return quoted + "\"";
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

std::string EventText(const LinkRecord& record) {
  const LinkEventInfo* event = LinkFindEvent(record.code);
  std::string text =
      Printf("%3u ", static_cast<unsigned>(record.code)) + (event != nullptr ? event->name : "(unknown)");
  if (record.type == LinkRecordTextType) return text + " " + QuotedText(record.text);
  const char* names[3] = {"a", "b", "c"};
  const std::uint32_t values[3] = {record.a, record.b, record.c};
  const char* meanings[3] = {event ? event->a : nullptr, event ? event->b : nullptr, event ? event->c : nullptr};
  const char* separator = " ";
  for (int i = 0; i < 3; ++i) {
    bool unused = meanings[i] != nullptr && std::string(meanings[i]) == unusedValue;
    if (unused && values[i] == 0) continue;
    text += separator + std::string(names[i]) + "=" + Value(values[i]);
    if (meanings[i] != nullptr && !unused) text += " (" + std::string(meanings[i]) + ")";
    separator = ", ";
  }
  return text;
}

std::string TrafficText(const DumpRecord& record) {
  const std::vector<std::uint8_t>& data = record.data;
  if (LinkTrafficIsMessage(record.header, data.data())) {
    MessageFields m = ReadMessage(data);
    std::string text = Printf("message kind %u: code %u subcode %u length %u sequence %" PRIu32, record.header.kind,
                              m.code, m.subcode, m.length, m.sequence);
    return text + (m.payloadLength == 0 ? ", no payload" : ", payload " + HexAndCharacters(m.payload, m.payloadLength));
  }
  std::string text = Printf("raw %u bytes", static_cast<unsigned>(data.size()));
  if (record.header.kind != data.size()) text += Printf(" (kind %u)", record.header.kind);
  return text + (data.empty() ? "" : ": " + HexAndCharacters(data.data(), data.size()));
}

std::string Direction(int direction, const char* receive, const char* transmit, const char* unknown) {
  return direction == LinkDirectionReceive ? receive : direction == LinkDirectionTransmit ? transmit : unknown;
}

std::string TextLine(const PlacedRecord& placed, const DumpSource& source, const FormatOptions& options) {
  const DumpRecord& record = placed.record;
  std::string time =
      options.rawTime ? Printf("%10" PRIu32, record.Clock()) : Printf("%11s", Seconds(placed.time).c_str());
  std::string label = source.label;
  if (label.size() < static_cast<std::size_t>(options.labelWidth))
    label.resize(static_cast<std::size_t>(options.labelWidth), ' ');
  std::string body = record.traffic ? TrafficText(record) : EventText(record.record);
  return time + " " + Direction(source.direction, "rx", "tx", "--") + " " + label + " " + body;
}

std::string JsonEvent(const LinkRecord& record) {
  const LinkEventInfo* event = LinkFindEvent(record.code);
  std::string json =
      Printf(",\"record\":\"%s\",\"code\":%u,\"name\":", record.type == LinkRecordTextType ? "text" : "event",
             static_cast<unsigned>(record.code));
  json += event != nullptr ? JsonString(event->name) + ",\"what\":" + JsonString(event->what) : "null";
  if (record.type == LinkRecordTextType) return json + ",\"text\":" + JsonString(record.text);
  json += Printf(",\"a\":%" PRIu32 ",\"b\":%" PRIu32 ",\"c\":%" PRIu32, record.a, record.b, record.c);
  if (event != nullptr)
    json += ",\"means\":{\"a\":" + JsonString(event->a) + ",\"b\":" + JsonString(event->b) +
            ",\"c\":" + JsonString(event->c) + "}";
  return json;
}

std::string JsonTraffic(const DumpRecord& record) {
  const std::vector<std::uint8_t>& data = record.data;
  if (LinkTrafficIsMessage(record.header, data.data())) {
    MessageFields m = ReadMessage(data);
    return Printf(",\"record\":\"message\",\"kind\":%u,\"code\":%u,\"subcode\":%u,\"length\":%u,\"sequence\":%" PRIu32,
                  record.header.kind, m.code, m.subcode, m.length, m.sequence) +
           ",\"payload\":\"" + Hex(m.payload, m.payloadLength, "") + "\"";
  }
  return Printf(",\"record\":\"raw\",\"kind\":%u", record.header.kind) + ",\"bytes\":\"" +
         Hex(data.data(), data.size(), "") + "\"";
}

std::string JsonLine(const PlacedRecord& placed, const DumpSource& source) {
  const DumpRecord& record = placed.record;
  std::string json = "{\"time\":" + Seconds(placed.time) + Printf(",\"clock\":%" PRIu32, record.Clock()) +
                     ",\"file\":" + JsonString(source.fileName) +
                     ",\"tag\":" + (source.tag.empty() ? "null" : JsonString(source.tag)) +
                     ",\"direction\":" + Direction(source.direction, "\"receive\"", "\"transmit\"", "null");
  return json + (record.traffic ? JsonTraffic(record) : JsonEvent(record.record)) + "}";
}

} // namespace

DumpSource SourceOf(const RecordFileReader& reader) {
  if (!reader.NameKnown()) return {reader.FileName(), reader.FileName(), "", -1};
  const LinkRecordName& name = reader.Name();
  return {reader.FileName(), Printf("%s%s%d%d", name.ident, name.tag, name.slot, name.sequence), name.tag,
          name.direction};
}

std::string FormatRecord(const PlacedRecord& placed, const DumpSource& source, const FormatOptions& options) {
  return options.json ? JsonLine(placed, source) : TextLine(placed, source, options);
}
