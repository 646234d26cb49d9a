// Win32 calls both monitor builds make, each in its own text form: 8-bit
// text (char) on the desktop, UTF-16 (wchar_t) on the handheld. The
// character type picks the call, so each of these is written once.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "ui/window_object.hpp"

namespace trelvane::ui {

constexpr int kTabTextChars = 512;

// Moves a page's control to `rect` (page pixels; a combo box's height
// includes its dropped-down list).
inline void PlaceControl(HWND control, const RECT& rect) {
  MoveWindow(control, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

template <class Ch>
LRESULT SendMessageOf(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if constexpr (sizeof(Ch) == 1) {
    return SendMessageA(window, message, wParam, lParam);
  } else {
    return SendMessageW(window, message, wParam, lParam);
  }
}

// Loads string `id` of the module into `buffer`, bounded; empty when missing.
template <class Ch>
void LoadModuleText(int id, Ch* buffer, int capacity) {
  if (capacity <= 0) return;
  buffer[0] = 0;
  if constexpr (sizeof(Ch) == 1) {
    LoadStringA(ModuleInstance(), static_cast<UINT>(id), buffer, capacity);
  } else {
    LoadStringW(ModuleInstance(), static_cast<UINT>(id), buffer, capacity);
  }
}

// Inserts tab `index` into `tabs`, labelled with string `stringId`.
template <class Ch>
void InsertTab(HWND tabs, int index, int stringId) {
  Ch text[kTabTextChars];
  LoadModuleText(stringId, text, kTabTextChars);
  if constexpr (sizeof(Ch) == 1) {
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    SendMessageA(tabs, TCM_INSERTITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  } else {
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  }
}

// Item `index` of the list of `combo`, when it fits `item` (terminator
// included); false when there is no such item or it does not fit (the list
// call has no bound, so it is not fetched).
template <class Ch, int N>
bool ListItemText(HWND combo, LRESULT index, Ch (&item)[N]) {
  const LRESULT length = index == CB_ERR ? CB_ERR : SendMessageOf<Ch>(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR || length >= N) return false;
  item[0] = Ch(0);
  SendMessageOf<Ch>(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(item));
  return true;
}

// The text of the item selected in `combo`, as ListItemText fetches it. Text
// typed into the combo's edit field does not count.
template <class Ch, int N>
bool SelectedItemText(HWND combo, Ch (&item)[N]) {
  return ListItemText(combo, SendMessageOf<Ch>(combo, CB_GETCURSEL, 0, 0), item);
}

// Starts the platform help viewer on the monitor's help topic. It is looked
// for in the current directory only; no handle of it is kept, and when it is
// absent nothing happens.
inline void StartHelpViewer() {
  wchar_t commandLine[] = L"Arkive.htm#Main_Contents";  // the call may write into it
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(L"peghelp.exe", commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

}  // namespace trelvane::ui
