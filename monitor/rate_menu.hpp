// The Receiver menu's rate items, described once for both monitors: "Port
// Rate" with the rate list's eleven rates, "Fix Rate" with its four, and
// the save. Each window turns the description into its own menu; what is
// grey and what is checked is the session's to say.
#pragma once

#include <cstdio>

#include "receiver/link_settings.hpp"
#include "receiver/rate_commands.hpp"

namespace trelvane::monitor {

struct MenuEntry {
  enum class Kind { kItem, kPopup, kEndPopup };
  Kind kind = Kind::kItem;
  unsigned id = 0;
  char text[48] = {};
  bool enabled = true;
  bool checked = false;
};

// Two popups with their items and ends, and the save.
constexpr int kRateMenuEntries = 1 + receiver::kBaudCount + 1 + 1 + receiver::kFixRateCount + 1 + 1;

namespace rate_menu_detail {

inline MenuEntry Entry(MenuEntry::Kind kind, unsigned id, const char* text, bool enabled, bool checked) {
  MenuEntry entry;
  entry.kind = kind;
  entry.id = id;
  std::snprintf(entry.text, sizeof entry.text, "%s", text);
  entry.enabled = enabled;
  entry.checked = checked;
  return entry;
}

}  // namespace rate_menu_detail

// Fills `out` for `session` (a MonitorSession) with a link open or not;
// answers how many entries it wrote. The port's rate and the receiver's
// fix rate are checked while a link is open.
template <class Session>
int DescribeRateMenu(const Session& session, bool linkOpen, MenuEntry (&out)[kRateMenuEntries]) {
  using rate_menu_detail::Entry;
  using Kind = MenuEntry::Kind;
  int n = 0;
  out[n++] = Entry(Kind::kPopup, 0, "Port Rate", true, false);
  for (int i = 0; i < receiver::kBaudCount; ++i) {
    char rate[16];
    std::snprintf(rate, sizeof rate, "%lu", receiver::kBaudTable[i]);
    const unsigned id = receiver::kCmdPortRateFirst + static_cast<unsigned>(i);
    out[n++] = Entry(Kind::kItem, id, rate, session.RateItemEnabled(id, linkOpen),
                     linkOpen && session.PortBaud() == receiver::kBaudTable[i]);
  }
  out[n++] = Entry(Kind::kEndPopup, 0, "", true, false);
  out[n++] = Entry(Kind::kPopup, 0, "Fix Rate", true, false);
  for (int i = 0; i < receiver::kFixRateCount; ++i) {
    const unsigned id = receiver::kCmdFixRateFirst + static_cast<unsigned>(i);
    out[n++] = Entry(Kind::kItem, id, receiver::kFixRateItems[i], session.RateItemEnabled(id, linkOpen),
                     linkOpen && session.FixHz() == receiver::kFixRatesHz[i]);
  }
  out[n++] = Entry(Kind::kEndPopup, 0, "", true, false);
  out[n++] = Entry(Kind::kItem, receiver::kCmdSaveToReceiver, receiver::SaveItemText(session.InForce()),
                   session.RateItemEnabled(receiver::kCmdSaveToReceiver, linkOpen), false);
  return n;
}

// Whether `id` is one of the port-rate items.
inline bool IsPortRateItem(unsigned id) {
  return id >= receiver::kCmdPortRateFirst && id < receiver::kCmdPortRateFirst + receiver::kBaudCount;
}

// Whether `id` is one of the rate items.
inline bool IsRateItem(unsigned id) {
  return (id >= receiver::kCmdPortRateFirst && id < receiver::kCmdPortRateFirst + receiver::kBaudCount) ||
         (id >= receiver::kCmdFixRateFirst && id < receiver::kCmdFixRateFirst + receiver::kFixRateCount) ||
         id == receiver::kCmdSaveToReceiver;
}

}  // namespace trelvane::monitor
