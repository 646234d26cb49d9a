// The health page of both monitors: every sentence's row in a read-only
// edit control in a fixed-pitch font (1401), which the user can scroll and
// copy from; the receiver's clock against the PC's (1402); the time to first
// fix and the last five (1403); and, where the build has room, Reset (1404),
// whose click goes on to the main window. The page is refreshed once a
// second while it shows, the table keeping the user's scroll position and
// selection; a hidden page costs nothing.
#pragma once

#include <windows.h>

#include <cstdint>

#include "handles/gdi.hpp"
#include "nmea/text.hpp"
#include "ui/monitor_calls.hpp"
#include "ui/dpi.hpp"
#include "ui/window_object.hpp"

namespace trelvane::ui {

constexpr int kHealthTable = 1401;
constexpr int kHealthClock = 1402;
constexpr int kHealthFirstFix = 1403;
constexpr int kHealthReset = 1404;
constexpr int kHealthTableChars = 4096;  // a header and forty rows of about fifty
constexpr int kHealthLineChars = 256;
constexpr std::uint32_t kHealthRefreshMs = 1000;

struct HealthLayout {
  RECT table;
  RECT clock;
  RECT firstFix;
  RECT reset;       // empty: no Reset button
  int textHeight;   // the fixed-pitch font's characters, this tall
  int labelHeight;  // 0: the system's GUI font for the two texts; else a smaller one, this tall
};

// The layout for a screen of `dpi`.
inline HealthLayout Scaled(const HealthLayout& at, UINT dpi) {
  return {Scaled(at.table, dpi), Scaled(at.clock, dpi), Scaled(at.firstFix, dpi), Scaled(at.reset, dpi),
          Scaled(at.textHeight, dpi), Scaled(at.labelHeight, dpi)};
}

template <class Ch>
class HealthPage final : public WindowObject {
 public:
  explicit HealthPage(const HealthLayout& layout) : layout_(layout) {}

  // Reset is sent on to this window.
  HWND mainWindow = nullptr;

  LRESULT HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM) override {
    switch (message) {
      case WM_INITDIALOG:
        layout_ = Scaled(layout_, WindowDpi(hwnd));
        CreateControls();
        return 1;
      case WM_COMMAND:
        if (LOWORD(wParam) == kHealthReset) SendMessageOf<Ch>(mainWindow, WM_COMMAND, wParam, 0);
        return 0;
      default:
        return 0;
    }
  }

  bool Showing() const { return hwnd != nullptr && IsWindowVisible(hwnd); }

  // Whether the table is to be put in again at `now`: once a second, or
  // at once after `Refresh`. Its counts and ages move with every cycle, and
  // an edit control measures every line of a new text: ten a second would
  // cost a handheld more than the rest of the monitor.
  bool TableDue(std::uint32_t now) const { return !tableShown_ || now - tableShownMs_ >= kHealthRefreshMs; }
  void Refresh() { tableShown_ = false; }

  // The texts as they are now (ASCII, CR LF between lines); a null table
  // keeps the one shown. The table is put in only when it changed, and the
  // user's place in it is kept.
  void Show(const char* table, const char* clock, const char* firstFix, std::uint32_t now) {
    if (hwnd == nullptr) return;
    clock_.Show(hwnd, kHealthClock, Wide(clock).text);
    firstFix_.Show(hwnd, kHealthFirstFix, Wide(firstFix).text);
    if (table == nullptr) return;
    tableShown_ = true;
    tableShownMs_ = now;
    if (nmea::TextEquals(table_, table)) return;
    nmea::CopyText(table_, kHealthTableChars, table);
    const HWND edit = GetDlgItem(hwnd, kHealthTable);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageOf<Ch>(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const LRESULT firstLine = SendMessageOf<Ch>(edit, EM_GETFIRSTVISIBLELINE, 0, 0);
    static Ch wide[kHealthTableChars];
    nmea::TextBuilder<Ch>(wide, kHealthTableChars).AppendAscii(table);
    // The new text, the selection and the scroll put back are drawn once.
    SendMessageOf<Ch>(edit, WM_SETREDRAW, FALSE, 0);
    SetControlTextOf(hwnd, kHealthTable, wide);
    SendMessageOf<Ch>(edit, EM_SETSEL, start, end);
    SendMessageOf<Ch>(edit, EM_LINESCROLL, 0, firstLine - SendMessageOf<Ch>(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
    SendMessageOf<Ch>(edit, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(edit, nullptr, FALSE);
  }

 private:
  struct WideLine {
    Ch text[kHealthLineChars];
  };
  static WideLine Wide(const char* ascii) {
    WideLine line;
    nmea::TextBuilder<Ch>(line.text, kHealthLineChars).AppendAscii(ascii);
    return line;
  }

  void CreateControls() {
    LOGFONTW face = {};
    face.lfHeight = -layout_.textHeight;
    face.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    const wchar_t kFace[] = L"Courier New";
    for (int i = 0; kFace[i] != 0; ++i) face.lfFaceName[i] = kFace[i];
    fixed_.Reset(CreateFontIndirectW(&face));
    label_.Reset(MakeGuiFont(layout_.labelHeight));
    const HFONT gui = label_.get() != nullptr ? label_.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    MakeControlOf<Ch>(hwnd, "EDIT", "",
                      WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                          ES_AUTOHSCROLL | ES_READONLY,
                      layout_.table, kHealthTable, fixed_.get() != nullptr ? fixed_.get() : gui);
    MakeControlOf<Ch>(hwnd, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, layout_.clock, kHealthClock,
                      gui);
    MakeControlOf<Ch>(hwnd, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, layout_.firstFix,
                      kHealthFirstFix, gui);
    if (layout_.reset.right > layout_.reset.left) {
      MakeControlOf<Ch>(hwnd, "BUTTON", "Reset", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, layout_.reset,
                        kHealthReset, gui);
    }
  }

  HealthLayout layout_;
  handles::OwnedFont fixed_;
  handles::OwnedFont label_;  // null when the GUI font serves
  char table_[kHealthTableChars] = {};
  bool tableShown_ = false;
  std::uint32_t tableShownMs_ = 0;
  ShownText<Ch, kHealthLineChars> clock_{""};
  ShownText<Ch, kHealthLineChars> firstFix_{""};
};

// The page's texts from the monitor session at `now`, when the page shows.
// A played file has no clock line: its times are not now.
template <class Ch, class Session>
void ShowHealth(HealthPage<Ch>& page, const Session& session, std::uint32_t now) {
  if (!page.Showing()) return;
  static char table[kHealthTableChars];
  const bool tableDue = page.TableDue(now);
  if (tableDue) session.Sentences().Format(table, kHealthTableChars, session.SentencesNow(now));
  char clock[kHealthLineChars] = "";
  if (session.ClockTimed()) session.Clock().Format(clock, kHealthLineChars);
  char firstFix[kHealthLineChars];
  session.FirstFix().FormatSummary(firstFix, kHealthLineChars);
  page.Show(tableDue ? table : nullptr, clock, firstFix, now);
}

}  // namespace trelvane::ui
