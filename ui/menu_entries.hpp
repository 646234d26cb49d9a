// A menu described as entries (an item, a popup's start, a popup's end:
// monitor/rate_menu.hpp) appended to a Win32 menu, in the build's text form.
// Each popup belongs to the menu it is appended to and dies with it.
#pragma once

#include <windows.h>

#include "receiver/link_settings.hpp"
#include "receiver/rate_commands.hpp"

namespace trelvane::ui {

template <class Ch, class Entry>
void AppendMenuText(HMENU menu, UINT flags, UINT_PTR id, const Entry& entry) {
  if constexpr (sizeof(Ch) == 1) {
    AppendMenuA(menu, flags, id, entry.text);
  } else {
    wchar_t text[sizeof entry.text] = {};
    for (unsigned n = 0; n + 1 < sizeof entry.text && entry.text[n] != 0; ++n) {
      text[n] = static_cast<wchar_t>(static_cast<unsigned char>(entry.text[n]));
    }
    AppendMenuW(menu, flags, id, text);
  }
}

// Appends `count` entries (Entry: kind, id, text, enabled, checked) to `menu`.
template <class Ch, class Entry>
void AppendEntries(HMENU menu, const Entry* entries, int count) {
  using Kind = typename Entry::Kind;
  HMENU popup = nullptr;
  const Entry* opened = nullptr;
  for (int i = 0; i < count; ++i) {
    const Entry& entry = entries[i];
    if (entry.kind == Kind::kPopup) {
      popup = CreatePopupMenu();
      opened = &entry;
    } else if (entry.kind == Kind::kEndPopup) {
      if (popup != nullptr) AppendMenuText<Ch>(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), *opened);
      popup = nullptr;
    } else {
      const UINT flags = MF_STRING | (entry.enabled ? MF_ENABLED : MF_GRAYED) | (entry.checked ? MF_CHECKED : 0u);
      AppendMenuText<Ch>(popup != nullptr ? popup : menu, flags, entry.id, entry);
    }
  }
}

// Empties `menu`; its popups are destroyed with their items.
inline void ClearMenu(HMENU menu) {
  while (GetMenuItemCount(menu) > 0) DeleteMenu(menu, 0, MF_BYPOSITION);
}

// Greys the port-rate items wherever they stand in `menu` (a network
// receiver's port rate is not the link's to change).
inline void GreyPortRateItems(HMENU menu) {
  for (unsigned id = receiver::kCmdPortRateFirst; id < receiver::kCmdPortRateFirst + receiver::kBaudCount; ++id) {
    EnableMenuItem(menu, id, MF_BYCOMMAND | MF_GRAYED);
  }
}

}  // namespace trelvane::ui
