// The stored form of record files: encoding and decoding their records, and reading their names.
#include "link/link_record_file.h"

#include "link/link.h"
#include "link_wire.h"

#include <cctype>
#include <cstring>

namespace {

constexpr int offsetType = 0;
constexpr int offsetCode = 2;
constexpr int offsetTime = 4;
constexpr int offsetB = 8;  // value b before value a
constexpr int offsetA = 12;
constexpr int offsetC = 16;
constexpr int offsetText = 8;

constexpr int offsetTrafficTime = 0;
constexpr int offsetKind = 4;
constexpr int offsetLength = 6;

constexpr int maxSlot = 8;
constexpr int maxSequence = 255;
constexpr int tagLength = 3;
constexpr const char* prefix = "cml";
constexpr const char* extension = ".bin";

constexpr bool FormatIsPrefixIdentTagSlotSequenceExtension() {
  const char* format = LinkRecordNameFormat;
  const char expected[] = "cml%s%s%d%d.bin";
  for (std::size_t i = 0; i < sizeof expected; ++i)
    if (format[i] != expected[i]) return false;
  return true;
}
static_assert(FormatIsPrefixIdentTagSlotSequenceExtension(), "names are read back as they are built");

bool EndsWithIgnoringCase(const char* text, std::size_t length, const char* end) {
  std::size_t n = std::strlen(end);
  if (length < n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (std::toupper(static_cast<unsigned char>(text[length - n + i])) !=
        std::toupper(static_cast<unsigned char>(end[i])))
      return false;
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The slot digit and the sequence number that end a name's core, without leading zeros: their length,
// 0 when they are not there.
std::size_t ReadSlotAndSequence(const char* core, std::size_t length, int* slot, int* sequence) {
  std::size_t digits = 0;
  while (digits < length && IsDigit(core[length - 1 - digits])) ++digits;
  if (digits < 2 || digits > 4) return 0;
  const char* at = core + length - digits;
  *slot = at[0] - '0';
  if (*slot < 1 || *slot > maxSlot) return 0;
  if (digits > 2 && at[1] == '0') return 0;
  *sequence = 0;
  for (std::size_t i = 1; i < digits; ++i) *sequence = *sequence * 10 + (at[i] - '0');
  return *sequence <= maxSequence ? digits : 0;
}

int DirectionOfTag(const char* tag) {
  if (EndsWithIgnoringCase(tag, tagLength, "RX")) return LinkDirectionReceive;
  if (EndsWithIgnoringCase(tag, tagLength, "TX")) return LinkDirectionTransmit;
  return -1;
}

}  // namespace

void LinkEncodeRecord(const LinkRecord& record, std::uint8_t* bytes) {
  std::memset(bytes, 0, LinkRecordSize);
  LinkPutU16(bytes + offsetType, record.type);
  LinkPutU16(bytes + offsetCode, record.code);
  LinkPutU32(bytes + offsetTime, record.time);
  if (record.type == LinkRecordTextType) {
    std::memcpy(bytes + offsetText, record.text, strnlen(record.text, LinkRecordTextSize));
    return;
  }
  LinkPutU32(bytes + offsetB, record.b);
  LinkPutU32(bytes + offsetA, record.a);
  LinkPutU32(bytes + offsetC, record.c);
}

bool LinkDecodeRecord(const std::uint8_t* bytes, LinkRecord* record) {
  *record = LinkRecord{};
  record->type = LinkGetU16(bytes + offsetType);
  record->code = LinkGetU16(bytes + offsetCode);
  record->time = LinkGetU32(bytes + offsetTime);
  if (record->type == LinkRecordTextType) {
    const char* text = reinterpret_cast<const char*>(bytes + offsetText);
    std::memcpy(record->text, text, strnlen(text, LinkRecordTextSize));
    return true;
  }
  if (record->type != LinkRecordEventType) return false;
  record->b = LinkGetU32(bytes + offsetB);
  record->a = LinkGetU32(bytes + offsetA);
  record->c = LinkGetU32(bytes + offsetC);
  return true;
}

void LinkEncodeTrafficHeader(const LinkTrafficHeader& header, std::uint8_t* bytes) {
  LinkPutU32(bytes + offsetTrafficTime, header.time);
  LinkPutU16(bytes + offsetKind, header.kind);
  LinkPutU16(bytes + offsetLength, header.length);
}

LinkTrafficHeader LinkDecodeTrafficHeader(const std::uint8_t* bytes) {
  return {LinkGetU32(bytes + offsetTrafficTime), LinkGetU16(bytes + offsetKind), LinkGetU16(bytes + offsetLength)};
}

bool LinkTrafficIsMessage(const LinkTrafficHeader& header, const std::uint8_t* data) {
  if (header.length < LinkTrafficHeaderSize + LinkHeaderSize) return false;
  return LinkGetU16(data + LinkOffsetLength) == header.length - LinkTrafficHeaderSize;
}

bool LinkParseRecordName(const char* name, LinkRecordName* parts) {
  *parts = LinkRecordName{};
  std::size_t length = std::strlen(name);
  parts->traffic = EndsWithIgnoringCase(name, length, LinkTrafficNameSuffix);
  if (parts->traffic) length -= std::strlen(LinkTrafficNameSuffix);
  if (!EndsWithIgnoringCase(name, length, extension) || length < std::strlen(prefix) ||
      !EndsWithIgnoringCase(name, std::strlen(prefix), prefix))
    return false;
  const char* core = name + std::strlen(prefix);
  std::size_t coreLength = length - std::strlen(extension) - std::strlen(prefix);
  std::size_t digits = ReadSlotAndSequence(core, coreLength, &parts->slot, &parts->sequence);
  if (digits == 0 || coreLength < digits + tagLength) return false;
  std::size_t identLength = coreLength - digits - tagLength;
  if (identLength > static_cast<std::size_t>(LinkRecordIdentMax)) return false;
  const char* tag = core + identLength;
  for (int i = 0; i < tagLength; ++i)
    if (!std::isalpha(static_cast<unsigned char>(tag[i]))) return false;
  std::memcpy(parts->ident, core, identLength);
  std::memcpy(parts->tag, tag, tagLength);
  parts->direction = DirectionOfTag(parts->tag);
  return true;
}
