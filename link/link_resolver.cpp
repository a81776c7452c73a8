// The announcement resolver: a fixed table of names with their answers, filled by detached lookup
// threads that share the table with the resolver, so whichever of them ends last frees it.
#include "link_resolver.h"

#include "link/link.h"
#include "platform/socket_library.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int NameSize = 65;  // an announcement's 64 characters and the end
constexpr int AddressesKept = 8;

enum class Phase { Free, LookingUp, Answered };

bool SameName(const char* a, const char* b) {
  for (; *a && *b; a++, b++)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

}  // namespace

struct LinkResolver::Entry {
  Phase phase = Phase::Free;
  char name[NameSize] = {};
  bool hasAddress = false;  // addresses are at hand, perhaps expired
  std::uint32_t addresses[AddressesKept] = {};
  int found = 0;
  std::uint32_t answeredAt = 0;

  LinkNameVerdict Verdict(std::uint32_t address) const {
    const std::uint32_t* end = addresses + found;
    return std::find<const std::uint32_t*>(addresses, end, address) != end ? LinkNameAtAddress : LinkNameElsewhere;
  }
};

struct LinkResolver::State {
  std::mutex lock;
  Lookup lookup;
  LinkResolverLimits limits;
  std::vector<Entry> entries;
  int running = 0;

  // Addresses found within their life. A lookup that found none is never fresh: the name may have come
  // up since (a computer started, its name registered), so it is asked again at its next announcement.
  bool Fresh(const Entry& e, std::uint32_t now) const {
    return e.phase == Phase::Answered && e.hasAddress && now - e.answeredAt < limits.answerLifeMs;
  }

  // Whether the answer at hand decides for a name heard at `heardAt`: fresh addresses, or a lookup that
  // found none and ended no earlier than the name was heard.
  bool Decides(const Entry& e, std::uint32_t heardAt, std::uint32_t now) const {
    return Fresh(e, now) ||
           (e.phase == Phase::Answered && !e.hasAddress && static_cast<std::int32_t>(e.answeredAt - heardAt) >= 0);
  }

  Entry* Find(const char* name) {
    for (Entry& e : entries)
      if (e.phase != Phase::Free && SameName(e.name, name)) return &e;
    return nullptr;
  }

  // A place for a new name: a free one, else one whose answer's time is up.
  Entry* Room(std::uint32_t now) {
    for (Entry& e : entries)
      if (e.phase == Phase::Free) return &e;
    for (Entry& e : entries)
      if (e.phase == Phase::Answered && !Fresh(e, now)) return &e;
    return nullptr;
  }
};

// The lookup itself may take as long as the name servers take; the table is not held meanwhile.
void LinkResolver::LookUp(std::shared_ptr<State> state, int index) {
  char name[NameSize];
  Lookup lookup;
  {
    std::lock_guard<std::mutex> hold(state->lock);
    std::memcpy(name, state->entries[static_cast<size_t>(index)].name, sizeof name);
    lookup = state->lookup;
  }
  std::uint32_t addresses[AddressesKept];
  int found = 0;
  // The socket library must stay up for the lookup even when the last link goes meanwhile.
  bool started = StartSocketLibrary() == 0;
  bool hasAddress = started && lookup(name, addresses, AddressesKept, &found) == 0 && found > 0;
  if (started) StopSocketLibrary();
  std::lock_guard<std::mutex> hold(state->lock);
  Entry& entry = state->entries[static_cast<size_t>(index)];
  entry.phase = Phase::Answered;
  entry.hasAddress = hasAddress;
  entry.found = hasAddress ? std::min(found, AddressesKept) : 0;
  std::copy(addresses, addresses + entry.found, entry.addresses);
  entry.answeredAt = LinkMilliseconds();
  state->running--;
}

LinkResolver::LinkResolver(Lookup lookup, LinkResolverLimits limits) : state_(std::make_shared<State>()) {
  state_->lookup = lookup;
  state_->limits = limits;
  state_->entries.resize(static_cast<size_t>(std::max(limits.namesKept, 1)));
}

LinkNameVerdict LinkResolver::Check(const char* name, std::uint32_t address, std::uint32_t heardAt) {
  std::uint32_t numeric = 0;
  if (LinkNetParseAddress(name, &numeric) == 0) return numeric == address ? LinkNameAtAddress : LinkNameElsewhere;
  if (std::strlen(name) >= static_cast<size_t>(NameSize)) return LinkNameElsewhere;

  std::lock_guard<std::mutex> hold(state_->lock);
  std::uint32_t now = LinkMilliseconds();
  Entry* entry = state_->Find(name);
  if (entry != nullptr && state_->Decides(*entry, heardAt, now)) return entry->Verdict(address);
  if (entry == nullptr || entry->phase == Phase::Answered) {
    Entry* started = StartLookUp(name, entry, now);
    if (entry == nullptr) entry = started;
  }
  // Expired addresses still decide while their name is looked up again, so that a known peer's
  // announcement does not wait for a name server each time its answer expires.
  return entry != nullptr && entry->hasAddress ? entry->Verdict(address) : LinkNameUnknown;
}

LinkResolver::Entry* LinkResolver::StartLookUp(const char* name, Entry* entry, std::uint32_t now) {
  if (state_->running >= state_->limits.lookupsAtOnce) return nullptr;
  bool isNew = entry == nullptr;
  if (isNew) {
    entry = state_->Room(now);
    if (entry == nullptr) return nullptr;
    *entry = Entry();
    std::strcpy(entry->name, name);
  }
  entry->phase = Phase::LookingUp;
  state_->running++;
  try {
    std::thread(LookUp, state_, static_cast<int>(entry - state_->entries.data())).detach();
  } catch (...) {
    // No thread to be had: the name is asked about again at its next announcement, and an answer at
    // hand stays, expired, to decide meanwhile.
    if (isNew)
      *entry = Entry();
    else
      entry->phase = Phase::Answered;
    state_->running--;
    return nullptr;
  }
  return entry;
}

LinkResolver& LinkAnnouncementResolver() {
  static LinkResolver resolver;
  return resolver;
}
