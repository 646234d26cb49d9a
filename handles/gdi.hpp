// Small owners for the GDI objects a paint creates: each one releases what it
// made when it goes out of scope, and none can be copied (a copy would
// release twice). Every creation and release is counted, so that a test can
// tell that repeated paints leave nothing behind. Beside them, scopes that
// change one piece of a device context's state and set it back.
#pragma once

#include <windows.h>

namespace trelvane::handles {

// Objects made by these helpers and not yet released, in the whole process.
// A release that the system refused (an object still selected somewhere)
// does not count as one.
class GdiCensus {
 public:
  static long Live() { return live_; }
  static void Made() { InterlockedIncrement(&live_); }
  static void Released(BOOL ok) {
    if (ok) InterlockedDecrement(&live_);
  }

 private:
  static inline volatile LONG live_ = 0;
};

// A pen, brush, font or bitmap this code created or loaded; DeleteObject
// when its owner lets go (at scope end, or a window's at its end).
template <class Handle>
class OwnedObject {
 public:
  OwnedObject() = default;
  explicit OwnedObject(Handle handle) { Reset(handle); }
  OwnedObject(OwnedObject&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  OwnedObject& operator=(OwnedObject&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }
  OwnedObject(const OwnedObject&) = delete;
  OwnedObject& operator=(const OwnedObject&) = delete;
  ~OwnedObject() { Reset(); }
  Handle get() const { return handle_; }
  // Deletes what is held, if anything, and holds `handle` instead.
  void Reset(Handle handle = nullptr) {
    if (handle_ != nullptr) GdiCensus::Released(DeleteObject(handle_));
    handle_ = handle;
    if (handle_ != nullptr) GdiCensus::Made();
  }

 private:
  Handle handle_ = nullptr;
};

using OwnedBrush = OwnedObject<HBRUSH>;
using OwnedPen = OwnedObject<HPEN>;
using OwnedBitmap = OwnedObject<HBITMAP>;
using OwnedFont = OwnedObject<HFONT>;

// A memory device context compatible with `like`; DeleteDC at scope end.
class MemoryDc {
 public:
  explicit MemoryDc(HDC like) : dc_(CreateCompatibleDC(like)) {
    if (dc_ != nullptr) GdiCensus::Made();
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  ~MemoryDc() {
    if (dc_ != nullptr) GdiCensus::Released(DeleteDC(dc_));
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// Selects a font, pen, brush or bitmap into a device context and selects the
// previous one back into that same context at scope end. Declare it after the
// owner of the object, so that the object is deselected before it is deleted.
// (Not for regions: SelectObject copies a region and returns no object.)
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  ~SelectedObject() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// The text colour of a device context for one scope: the colour it had is
// set back into the same context at scope end, so that a drawing helper
// leaves the context as its caller had it. Not copyable: a copy would set
// the old colour back twice, the second time over a later change.
class TextColorScope {
 public:
  // Keeps the current colour until Set changes it.
  explicit TextColorScope(HDC dc) : dc_(dc), previous_(GetTextColor(dc)) {}
  TextColorScope(HDC dc, COLORREF color) : dc_(dc), previous_(SetTextColor(dc, color)) {}
  TextColorScope(const TextColorScope&) = delete;
  TextColorScope& operator=(const TextColorScope&) = delete;
  ~TextColorScope() {
    if (previous_ != CLR_INVALID) SetTextColor(dc_, previous_);
  }
  void Set(COLORREF color) const { SetTextColor(dc_, color); }

 private:
  HDC dc_;
  COLORREF previous_;
};

// The background mode (TRANSPARENT or OPAQUE) of a device context for one
// scope, the previous one set back at scope end. Not copyable, for the same
// reason as TextColorScope.
class BkModeScope {
 public:
  BkModeScope(HDC dc, int mode) : dc_(dc), previous_(SetBkMode(dc, mode)) {}
  BkModeScope(const BkModeScope&) = delete;
  BkModeScope& operator=(const BkModeScope&) = delete;
  ~BkModeScope() {
    if (previous_ != 0) SetBkMode(dc_, previous_);
  }

 private:
  HDC dc_;
  int previous_;  // 0 when SetBkMode failed: nothing to restore
};

// BeginPaint at construction, EndPaint at scope end.
class PaintScope {
 public:
  explicit PaintScope(HWND hwnd) : hwnd_(hwnd) { dc_ = BeginPaint(hwnd_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  ~PaintScope() { EndPaint(hwnd_, &paint_); }
  HDC dc() const { return dc_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT paint_ = {};
  HDC dc_ = nullptr;
};

// A window's device context (the screen's for null): GetDC at construction,
// ReleaseDC at scope end.
class WindowDc {
 public:
  explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(hwnd_, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// The screen's dots per inch as the system gives them to this program (96
// when it cannot say).
inline int ScreenDpi() {
  WindowDc screen(nullptr);
  const int dpi = screen.get() != nullptr ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? dpi : 96;
}

// Fills `rect` with a solid brush of `color` made for this one fill.
inline void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
  OwnedBrush brush(CreateSolidBrush(color));
  FillRect(dc, &rect, brush.get());
}

}  // namespace trelvane::handles
