// Record files of the link library: CMLLOG.INI, the slot table, event/text/full-traffic records and
// their files "cml<IDENT><tag><slot><sequence>.bin" (and ".binFULL").
#include "link_record.h"

#include "link_debug.h"
#include "link_locks.h"
#include "link_newfile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Settings {
  std::atomic<int> record{LinkRecordUnread};
  std::atomic<int> bluetooth{1};
  std::atomic<int> logAll{0};
  std::atomic<int> writeNow{0};
  char ident[9] = {};
};

Settings settings;
LinkRecordSlot slots[LinkRecordSlotCount];

constexpr int iniLineSize = 260;  // lines of at most 259 characters; longer ones arrive in pieces
constexpr int identLength = 8;
constexpr int sequenceNames = 256;

// atoi's reading of a decimal integer, clamped instead of overflowing.
int IniInteger(const char* text) {
  long value = std::strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// IDENT keeps at most 8 characters, cut at the line end and then at the first blank.
void SetIdent(const char* value) {
  std::size_t length = strnlen(value, identLength);
  std::memcpy(settings.ident, value, length);
  settings.ident[length] = '\0';
  settings.ident[std::strcspn(settings.ident, "\r\n")] = '\0';
  settings.ident[std::strcspn(settings.ident, " ")] = '\0';
}

bool KeyValue(const char* line, const char* key, const char** value) {
  std::size_t length = std::strlen(key);
  if (std::strncmp(line, key, length) != 0) return false;
  *value = line + length;
  return true;
}

void ApplyIniLine(const char* line) {
  const char* value = nullptr;
  if (KeyValue(line, "RECORD=", &value)) settings.record = IniInteger(value);
  if (KeyValue(line, "BLUETOOTH=", &value)) settings.bluetooth = IniInteger(value);
  if (KeyValue(line, "LOGALL=", &value)) settings.logAll = IniInteger(value);
  if (KeyValue(line, "IDENT=", &value)) SetIdent(value);
  if (KeyValue(line, "WRITENOW=", &value)) {
    settings.writeNow = IniInteger(value);
    LinkSetDebugFlush(settings.writeNow != 0);
  }
}

void ReadSettings() {
  settings.record = 0;
  settings.logAll = 0;
  settings.ident[0] = '\0';
  std::FILE* ini = std::fopen("CMLLOG.INI", "r");
  if (ini == nullptr) return;
  char line[iniLineSize];
  while (std::fgets(line, sizeof line, ini) != nullptr) ApplyIniLine(line);
  std::fclose(ini);
}

bool FileExists(const char* name) {
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

std::string CompanionName(const char* recordName) { return std::string(recordName) + LinkTrafficNameSuffix; }

// Creates the first record file name of slot s, from its sequence number upwards, that exists neither as a
// record file nor (with LOGALL) as a companion, so that no earlier file is ever overwritten.
std::FILE* CreateFreeName(LinkRecordSlot& slot, int s, const char* tag) {
  for (int tries = 0; tries < sequenceNames; ++tries, ++slot.sequence) {
    char name[sizeof slot.name];
    std::snprintf(name, sizeof name, LinkRecordNameFormat, settings.ident, tag, s, slot.sequence);
    if (FileExists(name) || (settings.logAll != 0 && FileExists(CompanionName(name).c_str()))) continue;
    std::FILE* file = LinkCreateNewFile(name);
    if (file == nullptr && errno == EEXIST) continue;
    if (file != nullptr) std::snprintf(slot.name, sizeof slot.name, "%s", name);
    return file;
  }
  return nullptr;
}

void FreeBuffer(LinkRecordSlot& slot) {
  std::free(slot.buffer);
  slot.buffer = nullptr;
  slot.capacity = 0;
  slot.used = 0;
}

bool EnsureBuffer(LinkRecordSlot& slot, std::uint32_t capacity) {
  if (slot.buffer == nullptr) slot.buffer = static_cast<std::uint8_t*>(std::malloc(capacity));
  if (slot.buffer == nullptr) return false;
  slot.capacity = capacity;
  slot.used = 0;
  return true;
}

int FreeRecordSlot() {
  for (int s = 1; s <= LinkRecordFiles; ++s)
    if (slots[s].file == nullptr) return s;
  return 0;
}

void OpenCompanion(int s) {
  LinkRecordSlot& companion = slots[s + LinkCompanionOffset];
  if (!EnsureBuffer(companion, LinkCompanionCapacity)) return;
  std::string name = CompanionName(slots[s].name);
  companion.file = LinkCreateNewFile(name.c_str());
  std::snprintf(companion.name, sizeof companion.name, "%s", companion.file != nullptr ? name.c_str() : "");
  companion.writtenMark = WrittenNothing;
  companion.used = 0;
}

std::uint32_t* DirectionSlot(LinkConnection* link, int direction) {
  return direction != 0 ? &link->txRecord : &link->rxRecord;
}

// The record slot of one direction, or 0 when the connection has none.
int RecordSlotOf(LinkConnection* link, int direction) {
  std::uint32_t s = *DirectionSlot(link, direction);
  return (s >= 1 && s <= LinkRecordFiles) ? static_cast<int>(s) : 0;
}

// Appends or writes one 40-byte record; the caller holds the record lock.
void PutRecord(LinkConnection* link, int direction, const std::uint8_t* record, int directMark) {
  int s = RecordSlotOf(link, direction);
  if (s == 0) return;
  LinkRecordSlot& slot = slots[s];
  if (slot.buffer == nullptr || slot.used + LinkRecordSize >= slot.capacity) return;
  if (settings.writeNow == 0) {
    std::memcpy(slot.buffer + slot.used, record, LinkRecordSize);
    slot.used += LinkRecordSize;
  } else if (slot.file != nullptr) {
    std::fwrite(record, 1, LinkRecordSize, slot.file);
    slot.writtenMark = directMark;
    std::fflush(slot.file);
  }
}

void CloseSlot(int index, char role) {
  LinkRecordSlot& slot = slots[index];
  if (slot.used > 0 && slot.buffer != nullptr && slot.file != nullptr) {
    std::fwrite(slot.buffer, 1, slot.used, slot.file);
    slot.writtenMark = WrittenBuffer;
  }
  LinkDebugPrint("%c closed logfile %s\n", role, slot.name);
  if (slot.file != nullptr) {
    std::fclose(slot.file);
    if (slot.used == 0 && slot.writtenMark == WrittenNothing) std::remove(slot.name);
  }
  slot.file = nullptr;
  FreeBuffer(slot);
  slot.sequence = 0;
}

void CloseDirection(std::uint32_t* slotNumber, char role) {
  std::uint32_t s = *slotNumber;
  *slotNumber = 0;
  if (s < 1 || s > LinkRecordFiles) return;
  CloseSlot(static_cast<int>(s), role);
  int companion = static_cast<int>(s) + LinkCompanionOffset;
  if (slots[companion].buffer != nullptr || slots[companion].file != nullptr) CloseSlot(companion, role);
}

}  // namespace

char LinkRoleChar(const LinkConnection* link) { return link->isServer != 0 ? 's' : 'c'; }

void LinkOpenRecord(LinkConnection* link, int direction, const char* tag) {
  if (link == nullptr || tag == nullptr) return;
  std::lock_guard<std::mutex> lock(LinkRecordLock());
  if (settings.record == LinkRecordUnread) ReadSettings();
  int record = settings.record;
  if (record <= 0 || static_cast<std::uint32_t>(record) > UINT32_MAX / LinkRecordBlock) return;
  if (RecordSlotOf(link, direction) != 0) return;  // this direction is recorded already
  int s = FreeRecordSlot();
  if (s == 0) return;
  LinkRecordSlot& slot = slots[s];
  if (!EnsureBuffer(slot, static_cast<std::uint32_t>(record) * LinkRecordBlock)) return;
  slot.file = CreateFreeName(slot, s, tag);
  if (slot.file == nullptr) {
    FreeBuffer(slot);
    return;
  }
  *DirectionSlot(link, direction) = static_cast<std::uint32_t>(s);
  slot.writtenMark = WrittenNothing;
  LinkDebugPrint("%c Opened logfile %s\n", LinkRoleChar(link), slot.name);
  if (settings.logAll != 0) OpenCompanion(s);
}

void LinkRecordEvent(LinkConnection* link, int direction, int code, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  if (link == nullptr || settings.record <= 0) return;
  std::lock_guard<std::mutex> lock(LinkRecordLock());
  LinkRecord event{LinkRecordEventType, static_cast<std::uint16_t>(code), LinkTimestamp(), a, b, c, {}};
  std::uint8_t record[LinkRecordSize];
  LinkEncodeRecord(event, record);
  PutRecord(link, direction, record, WrittenEvent);
}

void LinkRecordText(LinkConnection* link, int direction, int code, const char* text) {
  if (link == nullptr || settings.record <= 0) return;
  std::lock_guard<std::mutex> lock(LinkRecordLock());
  LinkRecord entry{LinkRecordTextType, static_cast<std::uint16_t>(code), LinkTimestamp(), 0, 0, 0, {}};
  if (text != nullptr) std::memcpy(entry.text, text, strnlen(text, LinkRecordTextSize));
  std::uint8_t record[LinkRecordSize];
  LinkEncodeRecord(entry, record);
  PutRecord(link, direction, record, WrittenText);
}

void LinkLogMessage(LinkConnection* link, int direction, int kind, const void* data) {
  if (link == nullptr || data == nullptr || settings.logAll == 0 || settings.record <= 0) return;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  // A message is logged by its own length field, never beyond what a receive buffer can hold.
  std::uint32_t n =
      kind >= 0 ? static_cast<std::uint32_t>(bytes[2] | bytes[3] << 8) : 0u - static_cast<std::uint32_t>(kind);
  if (kind >= 0 && n > static_cast<std::uint32_t>(LinkReceiveBufferSize)) n = LinkReceiveBufferSize;
  if (n + LinkTrafficHeaderSize > 0xFFFFu) return;
  std::lock_guard<std::mutex> lock(LinkRecordLock());
  int s = RecordSlotOf(link, direction);
  if (s == 0) return;
  LinkRecordSlot& slot = slots[s + LinkCompanionOffset];
  if (slot.buffer == nullptr || slot.used + n + LinkTrafficHeaderSize > slot.capacity) return;
  std::uint8_t* at = slot.buffer + slot.used;
  std::uint16_t kindField = static_cast<std::uint16_t>(kind >= 0 ? static_cast<std::uint32_t>(kind) : n);
  LinkEncodeTrafficHeader({LinkTimestamp(), kindField, static_cast<std::uint16_t>(n + LinkTrafficHeaderSize)}, at);
  std::memcpy(at + LinkTrafficHeaderSize, bytes, n);
  slot.used += n + LinkTrafficHeaderSize;
}

void LinkCloseRecords(LinkConnection* link) {
  if (link == nullptr) return;
  std::lock_guard<std::mutex> lock(LinkRecordLock());
  char role = LinkRoleChar(link);
  CloseDirection(&link->txRecord, role);
  CloseDirection(&link->rxRecord, role);
}

void LinkReadLogSettings() {
  std::lock_guard<std::mutex> lock(LinkRecordLock());
  ReadSettings();
}

void LinkMarkLogSettingsUnread() {
  std::lock_guard<std::mutex> lock(LinkRecordLock());
  settings.record = LinkRecordUnread;
}

LinkLogSettings LinkCurrentLogSettings() {
  std::lock_guard<std::mutex> lock(LinkRecordLock());
  LinkLogSettings copy{settings.record, settings.bluetooth, settings.logAll, {}, settings.writeNow};
  std::memcpy(copy.ident, settings.ident, sizeof copy.ident);
  return copy;
}

int LinkLogBluetooth() { return settings.bluetooth; }
