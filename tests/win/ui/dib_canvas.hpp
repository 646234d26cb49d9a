// A page-sized 32-bit top-down DIB section with its own device context: what
// the information page is painted into when its pixels are to be read back.
#pragma once

#include <windows.h>

#include <vector>

namespace trelvane::test {

constexpr int kPageWidth = 520;
constexpr int kPageHeight = 345;

class Canvas {
 public:
  Canvas() {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kPageWidth;
    info.bmiHeader.biHeight = -kPageHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    previous_ = SelectObject(dc_, bitmap_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  ~Canvas() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  COLORREF At(int x, int y) const {
    GdiFlush();
    const DWORD p = bits_[y * kPageWidth + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
  int Count(const RECT& r, COLORREF color) const {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) n += At(x, y) == color ? 1 : 0;
    return n;
  }
  int CountOther(const RECT& r, COLORREF color) const { return (r.right - r.left) * (r.bottom - r.top) - Count(r, color); }
  std::vector<DWORD> Pixels() const {
    GdiFlush();
    return std::vector<DWORD>(bits_, bits_ + kPageWidth * kPageHeight);
  }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  DWORD* bits_ = nullptr;
};

}  // namespace trelvane::test
