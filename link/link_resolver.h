// The host names that servers' announcements carry, resolved away from the link threads. A link thread
// that asks gets at once what the answer at hand says; a name without one is looked up in the background,
// a few at a time, and its addresses are kept for a while. A lookup that found none answers only for the
// names heard before it ended: the next announcement of the name asks again. The
// resolver's state belongs to the resolver, not to a link, so a lookup that outlives its link touches
// nothing of the link, and a stop never waits for a lookup.
#pragma once

#include "link_net.h"

#include <cstdint>
#include <memory>

// What the answer at hand says of a name and an address.
enum LinkNameVerdict {
  LinkNameUnknown = -1,   // no answer yet: being looked up, or not looked up because the resolver is full
  LinkNameElsewhere = 0,  // the lookup found no address, or none of its addresses is the one asked about
  LinkNameAtAddress = 1,  // one of the name's addresses is the one asked about
};

// How much the resolver takes on: lookups running at once, names kept, and how long addresses are kept.
struct LinkResolverLimits {
  int lookupsAtOnce = 2;
  int namesKept = 32;
  std::uint32_t answerLifeMs = 30000;
};

class LinkResolver {
 public:
  // The lookup has LinkNetResolve's form and runs on a thread of the resolver's own.
  using Lookup = int (*)(const char* name, std::uint32_t* addresses, int max, int* found);

  explicit LinkResolver(Lookup lookup = LinkNetResolve, LinkResolverLimits limits = LinkResolverLimits());

  // Never waits for a lookup. A name written as an address is decided at once; another name, heard at
  // `heardAt` (LinkMilliseconds), by its kept addresses (compared ignoring case), or by a lookup that found
  // none and ended after `heardAt`. A name without such an answer, or whose addresses have expired, is
  // looked up in the background when fewer than lookupsAtOnce lookups run and a place to keep it is free
  // (or holds an answer whose time is up); meanwhile expired addresses still decide, and a name without
  // them is LinkNameUnknown.
  LinkNameVerdict Check(const char* name, std::uint32_t address, std::uint32_t heardAt);

 private:
  struct Entry;
  struct State;
  // Starts looking up `name` in its own entry, whose answer has expired, or (entry null) in a place of its
  // own: the entry, or null when no lookup starts (enough run already, no place, no thread to be had).
  Entry* StartLookUp(const char* name, Entry* entry, std::uint32_t now);
  // On a thread of its own: looks up the name of entry `index` and keeps the answer.
  static void LookUp(std::shared_ptr<State> state, int index);
  std::shared_ptr<State> state_;
};

// The library's one resolver, which the client threads ask about announcements.
LinkResolver& LinkAnnouncementResolver();
