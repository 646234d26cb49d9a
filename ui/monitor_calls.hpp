// Win32 calls both monitor builds make, each in its own text form: 8-bit
// text (char) on the desktop, UTF-16 (wchar_t) on the handheld. The
// character type picks the call, so each of these is written once.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "core/link/port_name.hpp"
#include "desktop/window_object.hpp"

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

// The port name of the item selected in the port list `combo` ("COM3:" of
// "COM3:  GPS Receiver"). False when nothing is selected, or when the item
// does not fit the buffer (the list call has no bound, so it is not fetched).
// Text typed into the combo's edit field does not count.
template <class Ch>
bool SelectedPortName(HWND combo, Ch (&name)[link::kItemTextChars]) {
  const LRESULT port = SendMessageOf<Ch>(combo, CB_GETCURSEL, 0, 0);
  const LRESULT length = port == CB_ERR ? CB_ERR : SendMessageOf<Ch>(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(port), 0);
  if (port == CB_ERR || length == CB_ERR || length >= link::kItemTextChars) return false;
  Ch item[link::kItemTextChars] = {};
  SendMessageOf<Ch>(combo, CB_GETLBTEXT, static_cast<WPARAM>(port), reinterpret_cast<LPARAM>(item));
  link::CutPortName(item, name, link::kItemTextChars);
  return true;
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
