// Connection objects: creation and release, the registry of 16 valid objects with the transport each one
// uses, the object count behind the platform's socket library, the handle table, and the small per-object
// settings.
#include "link_object.h"

#include "link/link.h"
#include "link_keyvalue.h"
#include "link_locks.h"
#include "link_record.h"
#include "link_shared.h"
#include "link_transport.h"
#include "platform/socket_library.h"

#include <cstdlib>
#include <new>
#include <type_traits>
#include <unordered_set>

// Objects are created by zeroing raw memory (the library's or the caller's): the record must stay plain data.
static_assert(std::is_trivially_copyable<LinkConnection>::value && std::is_standard_layout<LinkConnection>::value,
              "LinkConnection must stay a plain record");

namespace {

struct Registry {
  LinkConnection* entries[LinkRegistrySize];
  const LinkTransport* transports[LinkRegistrySize];  // chosen by LinkConnect; null: the serial one
  int highest;
};

Registry registry;
int objectCount = 0;
std::unordered_set<const void*> liveObjects;
LinkConnection* handles[LinkHandleCount];

using Guard = std::lock_guard<std::recursive_mutex>;

void SetDefaultClasses(LinkConnection* link) {
  for (int code = 160; code <= 175; ++code) link->classOf[code] = ClassDatagram;
  link->classOf[LinkPokeCode] = ClassDatagram;
}

// Puts the object into the lowest empty entry, growing the entries in use up to 16; full: not registered.
void Register(LinkConnection* link) {
  for (int i = 0; i <= registry.highest; ++i) {
    if (registry.entries[i] == nullptr) {
      registry.entries[i] = link;
      registry.transports[i] = nullptr;
      return;
    }
  }
  if (registry.highest >= LinkRegistrySize - 1) return;
  registry.entries[++registry.highest] = link;
  registry.transports[registry.highest] = nullptr;
}

void Unregister(LinkConnection* link) {
  int i = LinkRegistryIndex(link);
  if (i < 0) return;
  registry.entries[i] = nullptr;
  registry.transports[i] = nullptr;
  LinkDebugPrint("Free object was found\n");
  if (i == registry.highest && i != 0) --registry.highest;
}

// Zeroes the memory as a new object with the default classes; null when the socket library won't start.
LinkConnection* Initialise(void* memory, std::uint8_t userBuffer) {
  Guard guard(LinkRegistryLock());
  if (objectCount == 0 && StartSocketLibrary() != 0) return nullptr;
  ++objectCount;
  auto* link = new (memory) LinkConnection();
  SetDefaultClasses(link);
  Register(link);
  liveObjects.insert(link);
  link->userBuffer = userBuffer;
  return link;
}

void ForgetHandles(const LinkConnection* link) {
  for (auto& entry : handles)
    if (entry == link) entry = nullptr;
}

unsigned AddressText(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(pointer)); }

}  // namespace

int LinkObjectCount() {
  Guard guard(LinkRegistryLock());
  return objectCount;
}

int LinkRegistryHighest() {
  Guard guard(LinkRegistryLock());
  return registry.highest;
}

int LinkRegistryIndex(const void* link) {
  if (link == nullptr) return -1;
  Guard guard(LinkRegistryLock());
  for (int i = 0; i <= registry.highest; ++i)
    if (registry.entries[i] == link) return i;
  return -1;
}

int LinkObjectSize() { return static_cast<int>(sizeof(LinkConnection)); }

LinkConnection* LinkCreate() {
  void* memory = std::malloc(sizeof(LinkConnection));
  if (memory == nullptr) return nullptr;
  LinkConnection* link = Initialise(memory, 0);
  if (link == nullptr) {
    std::free(memory);
    return nullptr;
  }
  LinkDebugPrint("Alloc object : %x\n", AddressText(link));
  return link;
}

LinkConnection* LinkInitBuffer(void* buffer, int size) {
  if (buffer == nullptr || size < LinkObjectSize()) return nullptr;
  if (reinterpret_cast<std::uintptr_t>(buffer) % alignof(LinkConnection) != 0) return nullptr;
  Guard guard(LinkRegistryLock());
  if (liveObjects.count(buffer) != 0)
    return nullptr;  // still a live object: wiping it would pull it from under its users
  LinkConnection* link = Initialise(buffer, 1);
  if (link != nullptr) LinkDebugPrint("User buffer : %x", AddressText(link));
  return link;
}

void LinkRelease(LinkConnection* link) {
  if (link == nullptr) return;
  Guard guard(LinkRegistryLock());
  if (liveObjects.count(link) == 0) return;  // not memory this library initialised, or released already
  LinkDebugPrint("Connection status : %d\n", LinkLoad(link->status));
  LinkTransportRun(link, &LinkTransport::close);
  bool ownMemory = link->userBuffer == 0;
  if (ownMemory) LinkDebugPrint("Free  %x\n", AddressText(link));
  Unregister(link);
  liveObjects.erase(link);
  ForgetHandles(link);
  if (ownMemory) std::free(link);
  if (objectCount > 0 && --objectCount == 0) {
    StopSocketLibrary();
    LinkMarkLogSettingsUnread();
  }
}

const LinkTransport* LinkTransportOf(LinkConnection* link) {
  Guard guard(LinkRegistryLock());
  int i = LinkRegistryIndex(link);
  if (i < 0) return nullptr;
  return registry.transports[i] != nullptr ? registry.transports[i] : &LinkSerialTransport;
}

void LinkSetTransport(LinkConnection* link, const LinkTransport* transport) {
  Guard guard(LinkRegistryLock());
  int i = LinkRegistryIndex(link);
  if (i >= 0) registry.transports[i] = transport;
}

int LinkIsValid(LinkConnection* link) { return LinkRegistryIndex(link) >= 0 ? 1 : 0; }

int LinkIsInvalid(LinkConnection* link, int) { return LinkIsValid(link) ? 0 : 1; }

int LinkIsInvalidByHandle(int handle, int ignored) { return LinkIsInvalid(LinkFromHandle(handle), ignored); }

void LinkSetClass(LinkConnection* link, int firstCode, int lastCode, int messageClass) {
  if (link == nullptr) return;
  int first = firstCode & 0xFF;
  int last = lastCode & 0xFF;
  for (int code = first; code <= last; ++code) link->classOf[code] = static_cast<std::uint8_t>(messageClass);
}

void LinkSetClassByHandle(int handle, int firstCode, int lastCode, int messageClass) {
  LinkSetClass(LinkFromHandle(handle), firstCode, lastCode, messageClass);
}

int LinkSetLineWatch(LinkConnection* link, int value) {
  if (!LinkIsValid(link)) return -1;
  int previous = link->lineWatch;
  link->lineWatch = static_cast<std::int16_t>(value);
  return previous;
}

void LinkSetSerialModes(LinkConnection* link, int shortFrames, int rawMode) {
  if (!LinkIsValid(link)) return;
  link->shortFrames = static_cast<std::int16_t>(-shortFrames);
  link->rawMode = static_cast<std::int16_t>(rawMode);
}

int LinkStatus(LinkConnection* link) { return LinkIsValid(link) ? LinkLoad(link->status) : 0; }

int LinkConnectError(LinkConnection* link) { return LinkIsValid(link) ? LinkLoad(link->connectError) : 0; }

int LinkCleanup() {
  Guard guard(LinkRegistryLock());
  if (objectCount == 0) LinkClearKeyValueLists();
  return objectCount;
}

int LinkTraceEvent(LinkConnection* link, int code, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  LinkRecordEvent(link, LinkDirectionReceive, code, a, b, c);
  return 1;
}

std::intptr_t LinkHandleSlot(int index, int mode) {
  Guard guard(LinkRegistryLock());
  if (mode == 0) {
    for (auto& entry : handles) {
      LinkConnection* link = entry;
      entry = nullptr;
      LinkRelease(link);
    }
    return index;
  }
  if (index < 0 || index >= LinkHandleCount) return -1;
  LinkConnection*& entry = handles[index];
  if (mode > 0) {
    if (entry == nullptr) entry = LinkCreate();
    return reinterpret_cast<std::intptr_t>(entry);
  }
  LinkConnection* link = entry;
  entry = nullptr;
  LinkRelease(link);
  return 0;
}

LinkConnection* LinkFromHandle(int index) {
  if (index < 0 || index >= LinkHandleCount) return nullptr;
  Guard guard(LinkRegistryLock());
  return handles[index];
}
