// The charts page of both monitors: what the receiver did over the last five
// minutes, hour or day, ending now on a live link and at the play position
// while a file plays. Each chart is an owner-drawn control the page paints
// from a bitmap of its own (a DIB section the monitor's chart raster draws
// into, its scales and legends then written on it):
//
//   1301  the span (desktop; the handheld shows 5 minutes), kept in the registry
//   1302  each satellite's C/N0, 0 to 60 dB-Hz, in its system's colour, thicker
//         where used, under a legend of the systems
//   1303  satellites used and in view
//   1304  HDOP and PDOP, 0 to 10 (desktop)
//   1305  the fix quality as a band, in the accuracy page's colours, and the
//         altitude on its own scale (desktop)
//
// The time labels go under the last chart. The bitmaps are drawn again only
// when what they show moved (at most once a second, and for a long span once
// every few seconds), so a paint is a copy; a hidden page draws nothing.
#pragma once

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "handles/gdi.hpp"
#include "handles/owned.hpp"
#include "monitor/chart_raster.hpp"
#include "monitor/history.hpp"
#include "nmea/gnss_view.hpp"
#include "ui/accuracy_plot.hpp"
#include "ui/all_systems_view.hpp"
#include "ui/monitor_calls.hpp"
#include "ui/dpi.hpp"
#include "ui/satellite_marks.hpp"
#include "ui/window_object.hpp"

namespace trelvane::ui {

constexpr int kChartsSpan = 1301;
constexpr int kChartCn0 = 1302;
constexpr int kChartSatellites = 1303;
constexpr int kChartDops = 1304;
constexpr int kChartFix = 1305;
constexpr int kCharts = 4;

constexpr std::int64_t kChartSpans[] = {300, 3600, 86400};
constexpr const char* kChartSpanNames[] = {"5 min", "1 hour", "24 hours"};
constexpr const char* kChartSpanAgo[] = {"-5 min", "-1 h", "-24 h"};

struct ChartsLayout {
  RECT span;            // the span's combo box; empty: always 5 minutes
  RECT charts[kCharts];  // 1302 to 1305; an empty one is not made
  int margin;           // the left margin for each chart's scale
  int textHeight;       // 0: the system's GUI font; else a smaller one, this tall
  bool systemLetters;   // the legend names systems by letter (a narrow page)
};

// The accuracy page's colours for the bands: none, GPS, DGPS, RTK float, RTK fixed.
inline COLORREF BandColor(int band) {
  static const int kQualities[5] = {0, 1, 2, 5, 4};
  return kQualityColors[kQualities[band]];
}

inline std::uint32_t PixelOf(COLORREF color) {
  return monitor::ChartRgb(GetRValue(color), GetGValue(color), GetBValue(color));
}

// The layout for a screen of `dpi`.
inline ChartsLayout Scaled(const ChartsLayout& at, UINT dpi) {
  ChartsLayout scaled = at;
  scaled.span = Scaled(at.span, dpi);
  for (int i = 0; i < kCharts; ++i) scaled.charts[i] = Scaled(at.charts[i], dpi);
  scaled.margin = Scaled(at.margin, dpi);
  scaled.textHeight = Scaled(at.textHeight, dpi);
  return scaled;
}

template <class Ch>
class ChartsPage final : public WindowObject {
 public:
  explicit ChartsPage(const ChartsLayout& layout) : layout_(layout), font_(MakeGuiFont(layout.textHeight)) {}

  LRESULT HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_INITDIALOG:
        layout_ = Scaled(layout_, WindowDpi(hwnd));
        font_.Reset(MakeGuiFont(layout_.textHeight));
        CreateControls();
        return 1;
      case WM_COMMAND:
        if (LOWORD(wParam) == kChartsSpan && HIWORD(wParam) == CBN_SELCHANGE) ChooseSpan();
        return 0;
      case WM_DRAWITEM:
        Blit(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return 1;
      default:
        return 0;
    }
  }

  bool Showing() const { return hwnd != nullptr && IsWindowVisible(hwnd); }
  std::int64_t SpanSeconds() const { return kChartSpans[spanIndex_]; }

  // The charts of `history`, ending at its sample `last` (-1: none yet).
  // Drawn again when the page shows and what it would draw moved.
  void Show(const monitor::History& history, int last) {
    if (!Showing()) return;
    const monitor::ChartSpan span = monitor::SpanOf(history, last, SpanSeconds());
    // A long span moves a column at a time: its charts are drawn again at
    // most every few seconds.
    const std::int64_t perColumn = SpanSeconds() / (layout_.charts[0].right - layout_.charts[0].left);
    const std::int64_t step = perColumn < 1 ? 1 : perColumn > 10 ? 10 : perColumn;
    const Key key{span.Empty() ? -1 : span.endSecond / step, span.Empty() ? -1 : span.first, spanIndex_,
                  history.Count() == 0};
    if (drawn_ && key.Same(key_)) return;
    key_ = key;
    drawn_ = true;
    Draw(history, span);
  }
  // Draw again at the next Show, whatever moved (the page was shown again).
  void Refresh() { drawn_ = false; }

  // The chart `id`'s pixels as last drawn (tests read them); null before.
  const std::uint32_t* Pixels(int id, int& width, int& height) const {
    const Bitmap& bitmap = bitmaps_[id - kChartCn0];
    width = bitmap.width;
    height = bitmap.height;
    return bitmap.pixels;
  }

 private:
  struct Key {
    std::int64_t end;
    int first;
    int span;
    bool empty;
    bool Same(const Key& other) const {
      return end == other.end && first == other.first && span == other.span && empty == other.empty;
    }
  };
  struct Bitmap {
    handles::OwnedBitmap handle;
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
  };

  void CreateControls() {
    HFONT font = Font();
    if (layout_.span.right > layout_.span.left) {
      MakeControlOf<Ch>(hwnd, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL,
                        layout_.span, kChartsSpan, font);
      for (const char* name : kChartSpanNames) {
        Ch text[16];
        nmea::TextBuilder<Ch>(text, 16).AppendAscii(name);
        SendMessageOf<Ch>(GetDlgItem(hwnd, kChartsSpan), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
      }
      spanIndex_ = LoadSpan();
      SendMessageOf<Ch>(GetDlgItem(hwnd, kChartsSpan), CB_SETCURSEL, static_cast<WPARAM>(spanIndex_), 0);
    }
    for (int i = 0; i < kCharts; ++i) {
      const RECT& at = layout_.charts[i];
      if (at.right <= at.left) continue;
      MakeControlOf<Ch>(hwnd, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, at, kChartCn0 + i, font);
      last_ = i;
    }
  }

  void ChooseSpan() {
    const LRESULT chosen = SendMessageOf<Ch>(GetDlgItem(hwnd, kChartsSpan), CB_GETCURSEL, 0, 0);
    if (chosen < 0 || chosen > 2) return;
    spanIndex_ = static_cast<int>(chosen);
    SaveSpan(spanIndex_);
    drawn_ = false;
  }

  // HKCU\Software\Trelvane "ChartSpan": the span's seconds.
  static int LoadSpan() {
    handles::RegistryKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Trelvane", 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return 0;
    DWORD seconds = 0, size = sizeof seconds, type = 0;
    if (RegQueryValueExW(key.Get(), L"ChartSpan", nullptr, &type, reinterpret_cast<BYTE*>(&seconds), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD) {
      return 0;
    }
    for (int i = 0; i < 3; ++i) {
      if (kChartSpans[i] == static_cast<std::int64_t>(seconds)) return i;
    }
    return 0;
  }
  static void SaveSpan(int index) {
    handles::RegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Trelvane", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS) {
      return;
    }
    const DWORD seconds = static_cast<DWORD>(kChartSpans[index]);
    RegSetValueExW(key.Get(), L"ChartSpan", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seconds), sizeof seconds);
  }

  // The chart's bitmap, made at its control's size the first time.
  Bitmap* BitmapOf(int i) {
    Bitmap& bitmap = bitmaps_[i];
    if (bitmap.pixels != nullptr) return &bitmap;
    RECT client = {};
    GetClientRect(GetDlgItem(hwnd, kChartCn0 + i), &client);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;  // top down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap.handle.Reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (bitmap.handle.get() == nullptr || bits == nullptr) return nullptr;
    bitmap.pixels = static_cast<std::uint32_t*>(bits);
    bitmap.width = client.right;
    bitmap.height = client.bottom;
    return &bitmap;
  }

  void Draw(const monitor::History& history, const monitor::ChartSpan& span) {
    GdiFlush();
    handles::MemoryDc dc(nullptr);
    if (dc.get() == nullptr) return;
    for (int i = 0; i <= last_; ++i) {
      if (layout_.charts[i].right <= layout_.charts[i].left) continue;
      Bitmap* bitmap = BitmapOf(i);
      if (bitmap == nullptr) continue;
      DrawChart(i, *bitmap, dc.get(), history, span);
      InvalidateRect(GetDlgItem(hwnd, kChartCn0 + i), nullptr, FALSE);
    }
  }

  void DrawChart(int i, Bitmap& bitmap, HDC dc, const monitor::History& history, const monitor::ChartSpan& span) {
    monitor::ChartCanvas canvas(bitmap.pixels, bitmap.width, bitmap.height);
    handles::SelectedObject selected(dc, bitmap.handle.get());
    handles::SelectedObject font(dc, Font());
    SetBkMode(dc, TRANSPARENT);
    const int line = TextLine(dc);
    monitor::ChartArea plot{layout_.margin, 1, bitmap.width - 1, bitmap.height - 1};
    if (i == 0) plot.top = line + 1;              // the legend above
    if (i == last_) plot.bottom -= line;          // the time labels below
    canvas.Fill({0, 0, bitmap.width, bitmap.height}, PixelOf(GetSysColor(COLOR_BTNFACE)));
    canvas.Fill(plot, PixelOf(kWhite));
    const std::uint32_t grid = PixelOf(kPlotGridColor);
    for (int k = 1; k < 4; ++k) canvas.Horizontal(plot.left, plot.right - 1, plot.top + plot.Height() * k / 4, grid);
    char top[32] = "", bottom[32] = "";
    DrawTraces(kChartCn0 + i, canvas, plot, history, span, top, bottom);
    GdiFlush();  // the pixels are written; the texts go over them
    if (i == 0) SystemLegend(dc, plot, line);
    if (kChartCn0 + i == kChartSatellites) Legend(dc, plot, {"used", "in view"}, {kUsedColor, kUnusedBarColor});
    if (kChartCn0 + i == kChartDops) Legend(dc, plot, {"HDOP", "PDOP"}, {kHdopColor, kPdopColor});
    Text(dc, top, {0, plot.top, layout_.margin - 3, plot.top + line}, DT_RIGHT);
    Text(dc, bottom, {0, plot.bottom - line, layout_.margin - 3, plot.bottom}, DT_RIGHT);
    if (i == last_ && !span.Empty()) TimeLabels(dc, plot, history.At(span.last), line);
    GdiFlush();
  }

  // Chart `id`'s traces into its plot, and its scale's two ends.
  static void DrawTraces(int id, monitor::ChartCanvas& canvas, const monitor::ChartArea& plot,
                         const monitor::History& history, const monitor::ChartSpan& span, char (&top)[32],
                         char (&bottom)[32]) {
    std::snprintf(bottom, sizeof bottom, "0");
    if (id == kChartCn0) {
      std::uint32_t systems[nmea::kGnssSystems];
      for (int s = 0; s < nmea::kGnssSystems; ++s) systems[s] = PixelOf(kSystemColors[s]);
      monitor::DrawCn0(canvas, plot, history, span, systems);
      std::snprintf(top, sizeof top, "60");
    } else if (id == kChartSatellites) {
      double low = 0, high = 0;
      const auto inView = [](const monitor::HistorySample& s) { return static_cast<double>(s.inView); };
      monitor::RangeOf(history, span, inView, low, high);
      const int most = high < 10 ? 10 : static_cast<int>(std::ceil(high / 10) * 10);
      monitor::DrawSeries(canvas, plot, history, span, inView, 0, most, PixelOf(kUnusedBarColor));
      monitor::DrawSeries(canvas, plot, history, span,
                          [](const monitor::HistorySample& s) { return static_cast<double>(s.used); }, 0, most,
                          PixelOf(kUsedColor));
      std::snprintf(top, sizeof top, "%d", most);
    } else if (id == kChartDops) {
      monitor::DrawSeries(canvas, plot, history, span,
                          [](const monitor::HistorySample& s) { return static_cast<double>(s.pdop); }, 0, 10,
                          PixelOf(kPdopColor));
      monitor::DrawSeries(canvas, plot, history, span,
                          [](const monitor::HistorySample& s) { return static_cast<double>(s.hdop); }, 0, 10,
                          PixelOf(kHdopColor));
      std::snprintf(top, sizeof top, "10");
    } else if (id == kChartFix) {
      // The band along the bottom third, the altitude over the whole.
      const monitor::ChartArea band{plot.left, plot.bottom - plot.Height() / 3, plot.right, plot.bottom};
      std::uint32_t bands[5];
      for (int b = 0; b < 5; ++b) bands[b] = PixelOf(BandColor(b));
      monitor::DrawFixBand(canvas, band, history, span, bands);
      double low = 0, high = 0;
      const auto altitude = [](const monitor::HistorySample& s) { return static_cast<double>(s.altitude); };
      bottom[0] = 0;
      if (!monitor::RangeOf(history, span, altitude, low, high)) return;
      if (high - low < 1) {
        low -= 0.5;
        high += 0.5;
      }
      monitor::DrawSeries(canvas, plot, history, span, altitude, low, high, PixelOf(RGB(0, 0, 0)));
      std::snprintf(top, sizeof top, "%.0f m", high);
      std::snprintf(bottom, sizeof bottom, "%.0f m", low);
    }
  }

  // The systems' names (or letters) in their colours, above the plot.
  void SystemLegend(HDC dc, const monitor::ChartArea& plot, int line) {
    static const char* const kNames[nmea::kGnssSystems] = {"GPS", "GLONASS", "Galileo", "BeiDou", "QZSS", "NavIC", "SBAS"};
    RECT at = {plot.left, 0, plot.right, line};
    for (int s = 0; s < nmea::kGnssSystems; ++s) {
      char name[16];
      if (layout_.systemLetters) {
        name[0] = nmea::SystemLetter(static_cast<nmea::GnssSystem>(s));
        name[1] = 0;
      } else {
        std::snprintf(name, sizeof name, "%s", kNames[s]);
      }
      SetTextColor(dc, kSystemColors[s]);
      at.right = at.left + Width(dc, name);
      Text(dc, name, at, DT_LEFT);
      at.left = at.right + (layout_.systemLetters ? 4 : 8);
    }
    SetTextColor(dc, RGB(0, 0, 0));
  }
  // Two names in their colours, at the plot's top right.
  void Legend(HDC dc, const monitor::ChartArea& plot, std::initializer_list<const char*> names,
              std::initializer_list<COLORREF> colors) {
    int right = plot.right - 3;
    const int line = TextLine(dc);
    auto color = colors.end();
    for (auto name = names.end(); name != names.begin();) {
      --name;
      --color;
      const int width = Width(dc, *name);
      SetTextColor(dc, *color);
      Text(dc, *name, {right - width, plot.top, right, plot.top + line}, DT_LEFT);
      right -= width + 6;
    }
    SetTextColor(dc, RGB(0, 0, 0));
  }
  // The span's start at the left, the end's UTC at the right.
  void TimeLabels(HDC dc, const monitor::ChartArea& plot, const monitor::HistorySample& end, int line) {
    const RECT strip = {plot.left, plot.bottom, plot.right, plot.bottom + line};
    Text(dc, kChartSpanAgo[spanIndex_], strip, DT_LEFT);
    const std::int64_t ofDay = ((end.second % 86400) + 86400) % 86400;
    char time[32];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d UTC", static_cast<int>(ofDay / 3600),
                  static_cast<int>(ofDay / 60 % 60), static_cast<int>(ofDay % 60));
    Text(dc, time, strip, DT_RIGHT);
  }

  // A line of text in `at`, at its left or (DT_RIGHT) ending at its right.
  // Small fonts can draw a little wider than they measure: a right-aligned
  // text keeps an eighth of its width spare, so that its last letter stays
  // inside the chart.
  static void Text(HDC dc, const char* text, RECT at, UINT format) {
    wchar_t wide[64];
    nmea::TextBuilder<wchar_t>(wide, 64).AppendAscii(text);
    RECT size = {0, 0, 0, 0};
    DrawTextW(dc, wide, -1, &size, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    RECT place = at;
    if ((format & DT_RIGHT) != 0) place.left = at.right - size.right - size.right / 8;
    place.right = place.left + size.right;
    DrawTextW(dc, wide, -1, &place, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER | DT_NOCLIP);
  }
  static int Width(HDC dc, const char* text) {
    wchar_t wide[64];
    nmea::TextBuilder<wchar_t>(wide, 64).AppendAscii(text);
    SIZE size = {};
    GetTextExtentPoint32W(dc, wide, nmea::TextLength(wide, 64), &size);
    return size.cx;
  }
  static int TextLine(HDC dc) {
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    return metrics.tmHeight;
  }

  void Blit(const DRAWITEMSTRUCT& item) {
    const int i = static_cast<int>(item.CtlID) - kChartCn0;
    if (i < 0 || i >= kCharts || bitmaps_[i].pixels == nullptr) {
      FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
      return;
    }
    handles::MemoryDc dc(item.hDC);
    handles::SelectedObject selected(dc.get(), bitmaps_[i].handle.get());
    BitBlt(item.hDC, 0, 0, bitmaps_[i].width, bitmaps_[i].height, dc.get(), 0, 0, SRCCOPY);
  }

  HFONT Font() const {
    return font_.get() != nullptr ? font_.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }

  static constexpr COLORREF kHdopColor = RGB(0, 80, 224);
  static constexpr COLORREF kPdopColor = RGB(232, 136, 0);

  ChartsLayout layout_;
  handles::OwnedFont font_;
  Bitmap bitmaps_[kCharts];
  int last_ = 0;  // the last chart made: the time labels go under it
  int spanIndex_ = 0;
  bool drawn_ = false;
  Key key_{};
};

// The charts of `history`: a played file's up to the play position, a live
// link's up to its newest second.
template <class Ch, class Playback>
void ShowCharts(ChartsPage<Ch>& page, const monitor::History& history, const Playback& playback) {
  const int last = playback.IsOpen() ? history.LastAtOffset(playback.Clock().Delivered()) : history.Count() - 1;
  page.Show(history, last);
}

}  // namespace trelvane::ui
