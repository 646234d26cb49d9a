// Small owners for the GDI objects a paint creates: each one releases what it
// made when it goes out of scope, and none can be copied (a copy would
// release twice). Every creation and release is counted, so that a test can
// tell that repeated paints leave nothing behind.
#pragma once

#include <windows.h>

namespace trelvane::ui {

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

// A pen, brush or bitmap this code created; DeleteObject at scope end.
template <class Handle>
class OwnedObject {
 public:
  explicit OwnedObject(Handle handle) : handle_(handle) {
    if (handle_ != nullptr) GdiCensus::Made();
  }
  OwnedObject(const OwnedObject&) = delete;
  OwnedObject& operator=(const OwnedObject&) = delete;
  ~OwnedObject() {
    if (handle_ != nullptr) GdiCensus::Released(DeleteObject(handle_));
  }
  Handle get() const { return handle_; }

 private:
  Handle handle_;
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

// Selects an object into a device context and selects the previous one back
// into that same context at scope end. Declare it after the owner of the
// object, so that the object is deselected before it is deleted.
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

// Fills `rect` with a solid brush of `color` made for this one fill.
inline void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
  OwnedBrush brush(CreateSolidBrush(color));
  FillRect(dc, &rect, brush.get());
}

}  // namespace trelvane::ui
