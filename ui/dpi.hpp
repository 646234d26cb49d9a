// The screen's dots per inch, and the pages' sizes made for it. Every page is
// laid out in the pixels of a 96-DPI screen. On a screen of more, a size is
// multiplied out when its window is made or moves to such a screen, and a
// hand-drawn page is drawn through a scaled world, so that text and lines come
// out at the screen's own resolution rather than stretched.
#pragma once

#include <windows.h>

#include "handles/gdi.hpp"

namespace trelvane::ui {

constexpr UINT kLayoutDpi = 96;
// Sent to a top-level window when it moved to a screen of another DPI: the
// new DPI in wParam, the rectangle suggested for it in lParam.
constexpr UINT kMsgDpiChanged = 0x02E0;

// The DPI `window` is drawn at: its monitor's when the program is aware of
// each monitor, else the system's. Before a window exists (null), the system's.
inline UINT WindowDpi(HWND window) {
  using DpiOfWindow = UINT(WINAPI*)(HWND);
  // Looked up, not linked: systems before Windows 10 lack it.
  static const DpiOfWindow dpiOfWindow = reinterpret_cast<DpiOfWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (window != nullptr && dpiOfWindow != nullptr) {
    const UINT dpi = dpiOfWindow(window);
    if (dpi != 0) return dpi;
  }
  return static_cast<UINT>(handles::ScreenDpi());
}

inline int Scaled(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), kLayoutDpi); }

inline RECT Scaled(const RECT& rect, UINT dpi) {
  return {Scaled(rect.left, dpi), Scaled(rect.top, dpi), Scaled(rect.right, dpi), Scaled(rect.bottom, dpi)};
}

inline POINT Scaled(const POINT& point, UINT dpi) { return {Scaled(point.x, dpi), Scaled(point.y, dpi)}; }

// A rectangle of the screen's pixels in a 96-DPI layout's.
inline RECT Unscaled(const RECT& rect, UINT dpi) {
  const auto back = [dpi](int pixels) { return MulDiv(pixels, static_cast<int>(kLayoutDpi), static_cast<int>(dpi)); };
  return {back(rect.left), back(rect.top), back(rect.right), back(rect.bottom)};
}

// While it lives, `dc` takes a page's 96-DPI pixels and draws them at `dpi`:
// its world is scaled and pictures are stretched smoothly. Its text font,
// the system font, is drawn from bitmaps that a scaled world cannot grow, so
// a bold TrueType face of its size at 96 DPI stands in for it, which the
// scaled world draws at the screen's size. At 96 DPI nothing changes, so a
// page draws there exactly as it always has.
class DrawnAtDpi {
 public:
  DrawnAtDpi(HDC dc, UINT dpi) : dc_(dc) {
    if (dpi == kLayoutDpi || dc == nullptr) return;
    mode_ = SetGraphicsMode(dc, GM_ADVANCED);
    const float factor = static_cast<float>(dpi) / static_cast<float>(kLayoutDpi);
    const XFORM scale = {factor, 0, 0, factor, 0, 0};
    SetWorldTransform(dc, &scale);
    stretch_ = SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    font_.Reset(CreateFontW(-13, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, L"Tahoma"));
    if (font_.get() != nullptr) oldFont_ = SelectObject(dc, font_.get());
  }
  ~DrawnAtDpi() {
    if (mode_ == 0) return;
    if (oldFont_ != nullptr) SelectObject(dc_, oldFont_);
    SetStretchBltMode(dc_, stretch_);
    ModifyWorldTransform(dc_, nullptr, MWT_IDENTITY);
    SetGraphicsMode(dc_, mode_);
  }
  DrawnAtDpi(const DrawnAtDpi&) = delete;
  DrawnAtDpi& operator=(const DrawnAtDpi&) = delete;

 private:
  HDC dc_;
  int mode_ = 0;
  int stretch_ = 0;
  handles::OwnedFont font_;
  HGDIOBJ oldFont_ = nullptr;
};

}  // namespace trelvane::ui
