// The strip below the tab control while a file plays: the position bar
// (thousandths of the file's length; moving it seeks) and the position text
// ("NAME  P / L  x2"). The main window grows by the strip's height while a
// file is open, so the strip covers no control of either page.
#pragma once

#include <windows.h>

#include "ui/monitor_calls.hpp"
#include "desktop/resource.h"

namespace trelvane::desktop {

constexpr int kPlayStripHeight = 34;

class PlayStrip {
 public:
  PlayStrip() = default;
  PlayStrip(const PlayStrip&) = delete;
  PlayStrip& operator=(const PlayStrip&) = delete;
  ~PlayStrip() { Hide(); }

  // Makes the window `grow` pixels taller and puts the strip under `tabs`.
  bool Show(HWND window, HWND tabs);
  // Takes the strip away and the window back to its height.
  void Hide();
  bool Shown() const { return bar_ != nullptr; }

  // The bar at `permille` (unless the user is moving it) and the text.
  void ShowPosition(int permille, const char* text);

  // A WM_HSCROLL from the bar: true, with the chosen position, when the
  // move ended somewhere new; a move still under way only stops the bar
  // from following the file.
  bool TakeScroll(WPARAM wParam, LPARAM lParam, int& permille);

 private:
  HWND window_ = nullptr;
  UINT dpi_ = 96;  // the screen's the strip was sized for
  HWND bar_ = nullptr;
  HWND text_ = nullptr;
  bool tracking_ = false;
  int shownPermille_ = -1;
  ui::ShownText<char, 192> shownText_{""};
};

}  // namespace trelvane::desktop
