// The accuracy page of both monitors: the scatter plot and its legend,
// painted; nine static texts a program can read (ids kAccuracyFirstText
// onward, in the order of the figures); Reset and Hold Centre, whose clicks
// go on to the main window as its own commands. Each build gives its
// layout; what it shows is a frame the main window makes of the monitor
// session's figures, at the size and dot the page asks for.
#pragma once

#include <windows.h>

#include "nmea/fix_quality.hpp"
#include "nmea/text.hpp"
#include "ui/accuracy_plot.hpp"
#include "handles/gdi.hpp"
#include "ui/monitor_calls.hpp"
#include "ui/dpi.hpp"
#include "ui/paint_pacer.hpp"
#include "ui/window_object.hpp"
#include "ui/work_census.hpp"

namespace trelvane::ui {

constexpr int kAccuracyFirstText = 1101;  // 1101 to 1109
constexpr int kAccuracyTexts = 9;
constexpr int kAccuracyTextChars = 128;
constexpr int kAccuracyReset = 1110;
constexpr int kAccuracyHoldCentre = 1111;
constexpr UINT_PTR kAccuracyRepaintTimer = 4098;  // the page's own

struct AccuracyLayout {
  RECT plot;          // a square
  int dot;            // a fix's dot, in pixels
  POINT legend;       // the legend's top left
  int legendLine;     // the legend's line height
  int legendColumns;  // its qualities run across this many columns, then down
  int legendColumnWidth;
  RECT firstText;     // the first text; the others below it
  int textStep;
  int textHeight;     // 0: the system's GUI font; else a smaller one, characters this tall
  RECT reset;
  RECT hold;
};

// The layout for a screen of `dpi`.
inline AccuracyLayout Scaled(const AccuracyLayout& at, UINT dpi) {
  AccuracyLayout scaled = at;
  scaled.plot = Scaled(at.plot, dpi);
  scaled.dot = Scaled(at.dot, dpi);
  scaled.legend = Scaled(at.legend, dpi);
  scaled.legendLine = Scaled(at.legendLine, dpi);
  scaled.legendColumnWidth = Scaled(at.legendColumnWidth, dpi);
  scaled.firstText = Scaled(at.firstText, dpi);
  scaled.textStep = Scaled(at.textStep, dpi);
  scaled.textHeight = Scaled(at.textHeight, dpi);
  scaled.reset = Scaled(at.reset, dpi);
  scaled.hold = Scaled(at.hold, dpi);
  return scaled;
}

template <class Ch>
class AccuracyPage final : public WindowObject {
 public:
  explicit AccuracyPage(const AccuracyLayout& layout) : layout_(layout), font_(MakeGuiFont(layout.textHeight)) {}

  // The raster a frame for this page has: the plot's side, and a fix's dot.
  int PlotSize() const { return layout_.plot.right - layout_.plot.left; }
  int Dot() const { return layout_.dot; }

  // Reset and Hold Centre are sent on to this window.
  HWND mainWindow = nullptr;

  LRESULT HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_INITDIALOG:
        layout_ = Scaled(layout_, WindowDpi(hwnd));
        font_.Reset(MakeGuiFont(layout_.textHeight));
        CreateControls();
        return 1;
      case WM_PAINT:
        WorkCensus::Count(Work::kAccuracyPaints);
        OnPaint();
        return 0;
      case WM_TIMER:
        WorkCensus::Count(Work::kTimers);
        if (repaints_.TimerFired(hwnd, kAccuracyRepaintTimer, wParam)) Invalidate();
        return 0;
      case WM_CTLCOLORSTATIC:
        return TextColor(message, wParam, lParam);
      case WM_COMMAND:
        if (LOWORD(wParam) == kAccuracyReset || LOWORD(wParam) == kAccuracyHoldCentre) {
          SendMessageOf<Ch>(mainWindow, WM_COMMAND, wParam, lParam);
        }
        return 0;
      default:
        return 0;
    }
  }

  // What the page shows now: a frame (see PictureOf) with its scale's label
  // and its texts; its raster stays the caller's. Texts that did not change
  // are left alone.
  template <class Frame>
  void Show(const Frame& frame) {
    Show(PictureOf(frame), frame.scale, frame.texts.text);
  }

  void Show(const ScatterPicture& picture, const char* scale, const char (&texts)[kAccuracyTexts][kAccuracyTextChars]) {
    const bool stale = picture_.stale;
    picture_ = picture;
    picture_.plot = layout_.plot;
    picture_.stale = stale;
    nmea::CopyText(scale_, static_cast<int>(sizeof scale_), scale);
    for (int i = 0; i < kAccuracyTexts; ++i) {
      if (nmea::TextEquals(shown_[i], texts[i])) continue;
      nmea::CopyText(shown_[i], kAccuracyTextChars, texts[i]);
      Ch text[kAccuracyTextChars];
      nmea::TextBuilder<Ch>(text, kAccuracyTextChars).AppendAscii(texts[i]);
      SetControlTextOf(hwnd, kAccuracyFirstText + i, text);
    }
    RequestRepaint();
  }

  // The data went old or young again: plot and texts follow.
  void SetStale(bool stale) {
    if (stale == picture_.stale) return;
    picture_.stale = stale;
    for (int i = 0; i < kAccuracyTexts; ++i) InvalidateRect(GetDlgItem(hwnd, kAccuracyFirstText + i), nullptr, TRUE);
    RequestRepaint();
  }

  // The plot and legend into `target` (page pixels) through an off-screen
  // bitmap, copied in one go.
  void Paint(HDC target) const {
    const RECT area = PaintedArea();
    handles::MemoryDc memory(target);
    handles::OwnedBitmap canvas(CreateCompatibleBitmap(target, area.right, area.bottom));
    if (memory.get() == nullptr || canvas.get() == nullptr || picture_.cells == nullptr) return;
    handles::SelectedObject selected(memory.get(), canvas.get());
    handles::FillSolid(memory.get(), area, GetSysColor(COLOR_BTNFACE));
    handles::SelectedObject font(memory.get(), Font());
    Ch scale[16];
    nmea::TextBuilder<Ch>(scale, 16).AppendAscii(scale_);
    PaintScatter<Ch>(memory.get(), picture_, scale, DrawPageText);
    PaintQualityLegend<Ch>(memory.get(), layout_.legend, layout_.legendLine, layout_.legendColumns,
                           layout_.legendColumnWidth, picture_.stale, DrawPageText);
    BitBlt(target, area.left, area.top, area.right - area.left, area.bottom - area.top, memory.get(), area.left,
           area.top, SRCCOPY);
  }

  bool CentreHeld() const { return IsDlgButtonChecked(hwnd, kAccuracyHoldCentre) == BST_CHECKED; }

  void RequestRepaint() {
    if (repaints_.Request(hwnd, kAccuracyRepaintTimer)) Invalidate();
  }

 private:
  // The page's own controls, made here so that both builds have the same.
  void CreateControls() {
    HFONT font = Font();
    for (int i = 0; i < kAccuracyTexts; ++i) {
      RECT at = layout_.firstText;
      OffsetRect(&at, 0, i * layout_.textStep);
      MakeControl("STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, at, kAccuracyFirstText + i, font);
    }
    MakeControl("BUTTON", "Reset", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, layout_.reset, kAccuracyReset,
                font);
    MakeControl("BUTTON", "Hold Centre", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, layout_.hold,
                kAccuracyHoldCentre, font);
  }

  void MakeControl(const char* kind, const char* text, DWORD style, const RECT& at, int id, HFONT font) {
    MakeControlOf<Ch>(hwnd, kind, text, style, at, id, font);
  }

  // The figures' texts in grey while the data is old; the colours and
  // background otherwise stay the system's.
  LRESULT TextColor(UINT message, WPARAM wParam, LPARAM lParam) {
    const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
    if (!picture_.stale || id < kAccuracyFirstText || id >= kAccuracyFirstText + kAccuracyTexts) return 0;
    const LRESULT brush = sizeof(Ch) == 1 ? DefWindowProcA(hwnd, message, wParam, lParam)
                                          : DefWindowProcW(hwnd, message, wParam, lParam);
    SetTextColor(reinterpret_cast<HDC>(wParam), kGreyedColor);
    return brush;
  }

  void OnPaint() {
    repaints_.Painting();
    handles::PaintScope paint(hwnd);
    Paint(paint.dc());
  }

  static void DrawPageText(HDC dc, const Ch* text, RECT rect, UINT format) {
    if constexpr (sizeof(Ch) == 1) {
      DrawTextA(dc, text, -1, &rect, format);
    } else {
      DrawTextW(dc, text, -1, &rect, format);
    }
  }

  // The plot and the legend, which the paint covers; the rest is controls.
  RECT PaintedArea() const {
    const int rows = (nmea::kQualityCount + layout_.legendColumns - 1) / layout_.legendColumns;
    RECT legend = {layout_.legend.x, layout_.legend.y,
                   layout_.legend.x + layout_.legendColumns * layout_.legendColumnWidth,
                   layout_.legend.y + rows * layout_.legendLine};
    RECT area = {};
    UnionRect(&area, &layout_.plot, &legend);
    return area;
  }

  void Invalidate() {
    const RECT area = PaintedArea();
    InvalidateRect(hwnd, &area, FALSE);
  }

  HFONT Font() const {
    return font_.get() != nullptr ? font_.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }

  AccuracyLayout layout_;
  handles::OwnedFont font_;  // null when the GUI font serves
  PageRepaints repaints_;
  ScatterPicture picture_;
  char scale_[16] = {};
  char shown_[kAccuracyTexts][kAccuracyTextChars] = {};
};

}  // namespace trelvane::ui
