// Win32 calls both monitor builds make, each in its own text form: 8-bit
// text (char) on the desktop, UTF-16 (wchar_t) on the handheld. The
// character type picks the call, so each of these is written once.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "handles/owned.hpp"
#include "nmea/text.hpp"
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

// Arms `window`'s timer `id` to fire in `ms` milliseconds, or stops it when
// `ms` is 0xFFFFFFFF (nothing to wake for).
inline void WakeIn(HWND window, UINT_PTR id, unsigned ms) {
  if (ms == 0xFFFFFFFFu) {
    KillTimer(window, id);
  } else {
    SetTimer(window, id, ms, nullptr);
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

// Makes the main window's tab control (at the bottom, one tab per string of
// `texts`, in order) over its client area but for `bottomMargin` pixels.
// Null when it could not be made.
template <class Ch, int N>
HWND CreateTabs(HWND window, int id, int bottomMargin, const int (&texts)[N]) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  RECT client = {};
  GetClientRect(window, &client);
  HMENU menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
  const DWORD style = WS_CHILD | WS_VISIBLE | TCS_BOTTOM;
  // The strip with its tabs; `padding` -1 keeps the usual 6 a side (the
  // height's 3 stays), `guiFont` takes the GUI font, narrower than the
  // system's.
  const auto make = [&](int padding, bool guiFont) -> HWND {
    HWND made = nullptr;
    if constexpr (sizeof(Ch) == 1) {
      made = CreateWindowExA(0, WC_TABCONTROLA, "Arkive", style, client.left, client.top, client.right,
                             client.bottom - bottomMargin, window, menu, ModuleInstance(), nullptr);
    } else {
      made = CreateWindowExW(0, WC_TABCONTROLW, L"Arkive", style, client.left, client.top, client.right,
                             client.bottom - bottomMargin, window, menu, ModuleInstance(), nullptr);
    }
    if (made == nullptr) return nullptr;
    if (padding >= 0) SendMessageOf<Ch>(made, TCM_SETPADDING, 0, MAKELPARAM(padding, 3));
    if (guiFont) SendMessageOf<Ch>(made, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
    for (int i = 0; i < N; ++i) InsertTab<Ch>(made, i, texts[i]);
    return made;
  };
  // A strip wider than the window would hide its last tabs behind scroll
  // arrows (the handheld's five on its narrow screen): it is made again with
  // half the side padding, then with the GUI font too, then with less
  // padding still, until its last tab ends a little inside the window. A
  // strip once scrolled keeps its arrows, hence a new one each time.
  constexpr int kTabStripSlack = 4;
  constexpr struct {
    int padding;
    bool guiFont;
  } kNarrower[] = {{3, false}, {3, true}, {1, true}, {0, true}};
  HWND tabs = make(-1, false);
  for (const auto& narrower : kNarrower) {
    if (tabs == nullptr) return nullptr;
    RECT last = {};
    // The rectangle comes back even for a tab scrolled out of sight (the
    // answer is then FALSE).
    SendMessageOf<Ch>(tabs, TCM_GETITEMRECT, N - 1, reinterpret_cast<LPARAM>(&last));
    if (last.right + kTabStripSlack <= client.right) break;
    DestroyWindow(tabs);
    tabs = make(narrower.padding, narrower.guiFont);
  }
  return tabs;
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

// A WM_NOTIFY from the tab control `tabsId`: when its selection changed,
// shows the page chosen (`pages` in the tabs' order: 0 Setup, 1 the
// information page, ...) and hides the others, and answers which is shown.
// While the window is still being built (`initialising`) the switch is taken
// back. -1 when no page changed.
template <class Ch, int N>
int SwitchPages(WPARAM from, const NMHDR* header, int tabsId, int initialising, const HWND (&pages)[N]) {
  if (from != static_cast<WPARAM>(tabsId) || header == nullptr || header->code != static_cast<UINT>(TCN_SELCHANGE)) {
    return -1;
  }
  const LRESULT selected = SendMessageOf<Ch>(header->hwndFrom, TCM_GETCURSEL, 0, 0);
  const int shown = selected > 0 && selected < N ? static_cast<int>(selected) : 0;
  if (initialising == 1) {
    // The Setup page is the one shown while the window is built.
    SendMessageOf<Ch>(header->hwndFrom, TCM_SETCURSEL, static_cast<WPARAM>(shown == 0 ? 1 : 0), 0);
    return -1;
  }
  for (int i = 0; i < N; ++i) ShowWindow(pages[i], i == shown ? SW_SHOW : SW_HIDE);
  return shown;
}

// The Setup page's choice of port and rate: the port list's selected item
// (text typed into its edit field does not count) and the rate list's
// selected index. False when either has none.
template <class Ch, int N>
bool SelectedPortAndRate(HWND page, int portList, int rateList, Ch (&item)[N], int& rateIndex) {
  const LRESULT rate = SendMessageOf<Ch>(GetDlgItem(page, rateList), CB_GETCURSEL, 0, 0);
  if (rate == CB_ERR || !SelectedItemText(GetDlgItem(page, portList), item)) return false;
  rateIndex = static_cast<int>(rate);
  return true;
}

template <class Ch>
void SetControlTextOf(HWND page, int id, const Ch* text) {
  if constexpr (sizeof(Ch) == 1) {
    SetDlgItemTextA(page, id, text);
  } else {
    SetDlgItemTextW(page, id, text);
  }
}

// The PC's clock as UTC ms since 1970.
inline std::int64_t PcUtcMs() {
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  const std::int64_t ticks = (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return (ticks - 116444736000000000LL) / 10000;  // 100 ns since 1601
}

// The system's GUI font made `height` pixels tall, for a narrow page; null
// for height 0 (the GUI font itself serves) or when it cannot be made.
inline HFONT MakeGuiFont(int height) {
  if (height == 0) return nullptr;
  LOGFONTW font = {};
  if (GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font) == 0) return nullptr;
  font.lfHeight = -height;
  font.lfWidth = 0;
  return CreateFontIndirectW(&font);
}

// A control a page makes itself, in the page's font (`font`, when not null):
// `kind` its window class, `text` its first text, `at` where it stands.
template <class Ch>
HWND MakeControlOf(HWND page, const char* kind, const char* text, DWORD style, const RECT& at, int id, HFONT font) {
  Ch className[16], label[128];
  nmea::TextBuilder<Ch>(className, 16).AppendAscii(kind);
  nmea::TextBuilder<Ch>(label, 128).AppendAscii(text);
  HMENU menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
  HWND control = nullptr;
  if constexpr (sizeof(Ch) == 1) {
    control = CreateWindowExA(0, className, label, style, at.left, at.top, at.right - at.left, at.bottom - at.top,
                              page, menu, ModuleInstance(), nullptr);
  } else {
    control = CreateWindowExW(0, className, label, style, at.left, at.top, at.right - at.left, at.bottom - at.top,
                              page, menu, ModuleInstance(), nullptr);
  }
  if (control != nullptr && font != nullptr) SendMessageOf<Ch>(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  return control;
}

// A control's text as last set: setting the same text again (a state read
// out once a second) costs the control no redraw. What is longer than N - 1
// units is cut.
template <class Ch, int N>
class ShownText {
 public:
  explicit ShownText(const char* initial) {
    int n = 0;
    for (; n < N - 1 && initial[n] != 0; ++n) shown_[n] = Ch(static_cast<unsigned char>(initial[n]));
    shown_[n] = Ch(0);
  }
  ShownText(const ShownText&) = delete;
  ShownText& operator=(const ShownText&) = delete;

  void Show(HWND page, int id, const Ch* text) {
    Ch cut[N];
    nmea::CopyText(cut, N, text);
    if (nmea::TextEquals(cut, shown_)) return;
    nmea::CopyText(shown_, N, cut);
    SetControlTextOf(page, id, shown_);
  }

 private:
  Ch shown_[N] = {};
};

// Fills the rate list `list` with `rates` in order (the selected index is
// the rate's place in the table) and selects `selected`.
template <class Ch>
void FillRateList(HWND list, const unsigned long* rates, int count, int selected) {
  SendMessageOf<Ch>(list, CB_RESETCONTENT, 0, 0);
  for (int i = 0; i < count; ++i) {
    Ch item[16];
    nmea::TextBuilder<Ch> text(item, 16);
    text.AppendInt(static_cast<long long>(rates[i]), 1);
    SendMessageOf<Ch>(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
  SendMessageOf<Ch>(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

// Places a Setup page's port list and rate list at `portRect` and `rateRect`
// (page pixels; the heights include the dropped-down lists) and fills the
// rate list with `rates`, selecting `selected`.
template <class Ch>
void SetUpPortAndRateLists(HWND page, int portList, const RECT& portRect, int rateList, const RECT& rateRect,
                           const unsigned long* rates, int count, int selected) {
  PlaceControl(GetDlgItem(page, portList), portRect);
  PlaceControl(GetDlgItem(page, rateList), rateRect);
  FillRateList<Ch>(GetDlgItem(page, rateList), rates, count, selected);
}

// The click of control `id`: when it is one of the check boxes `controls`,
// posts its on- or off-message (the same place in `on` or `off`) for its new
// state to `target` and answers true. An automatic check box has already
// toggled itself when its click arrives.
template <class Ch, int N>
bool PostSwitch(HWND page, HWND target, int id, const int (&controls)[N], const unsigned (&on)[N],
                const unsigned (&off)[N]) {
  for (int s = 0; s < N; ++s) {
    if (controls[s] != id) continue;
    const bool checked = SendMessageOf<Ch>(GetDlgItem(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if constexpr (sizeof(Ch) == 1) {
      PostMessageA(target, checked ? on[s] : off[s], 0, 0);
    } else {
      PostMessageW(target, checked ? on[s] : off[s], 0, 0);
    }
    return true;
  }
  return false;
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
    const handles::OwnedHandle thread(process.hThread);
    const handles::OwnedHandle viewer(process.hProcess);
  }
}

}  // namespace trelvane::ui
