// The table of record events, built from the one list in link_events.h, and the look-up by code.
#include "link/link_events.h"

#include <algorithm>

namespace {

constexpr std::uint16_t Codes[] = {
#define LINK_EVENT_CODE_ONLY(name, code, what, a, b, c) code,
    LINK_EVENT_TABLE(LINK_EVENT_CODE_ONLY)
#undef LINK_EVENT_CODE_ONLY
};

constexpr bool InCodeOrder() {
  for (std::size_t i = 1; i < sizeof Codes / sizeof Codes[0]; ++i)
    if (Codes[i] <= Codes[i - 1]) return false;
  return true;
}
static_assert(InCodeOrder(), "the event list is kept in code order, each code once");

}  // namespace

const LinkEventInfo LinkEventTable[] = {
#define LINK_EVENT_ROW(name, code, what, a, b, c) {code, #name, what, a, b, c},
    LINK_EVENT_TABLE(LINK_EVENT_ROW)
#undef LINK_EVENT_ROW
};

const int LinkEventCount = static_cast<int>(sizeof LinkEventTable / sizeof LinkEventTable[0]);

const LinkEventInfo* LinkFindEvent(int code) {
  const LinkEventInfo* end = LinkEventTable + LinkEventCount;
  const LinkEventInfo* row = std::lower_bound(LinkEventTable, end, code,
                                              [](const LinkEventInfo& info, int wanted) { return info.code < wanted; });
  return row != end && row->code == code ? row : nullptr;
}
