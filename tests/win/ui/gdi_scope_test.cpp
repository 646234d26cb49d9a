// The device-context scope helpers on real memory DCs: inside a scope the DC
// shows the scope's value; after it, the value from before, set back into
// that same DC and into no other.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "handles/gdi.hpp"

namespace {

using trelvane::handles::BkModeScope;
using trelvane::handles::SelectedObject;
using trelvane::handles::TextColorScope;

// One piece of DC state as a number: a colour, a mode or an object's handle.
using Value = std::uintptr_t;
using Inside = std::function<void()>;

struct ScopeCase {
  const char* name;
  Value (*read)(HDC);
  void (*put)(HDC, Value);                          // a known state, without a helper
  void (*enter)(HDC, Value, const Inside& inside);  // the helper, calling `inside` in its scope
  Value before;
  Value inside;
};

Value Stock(int object) { return reinterpret_cast<Value>(GetStockObject(object)); }

Value ReadColor(HDC dc) { return GetTextColor(dc); }
void PutColor(HDC dc, Value v) { SetTextColor(dc, static_cast<COLORREF>(v)); }
Value ReadMode(HDC dc) { return static_cast<Value>(GetBkMode(dc)); }
void PutMode(HDC dc, Value v) { SetBkMode(dc, static_cast<int>(v)); }
Value ReadFont(HDC dc) { return reinterpret_cast<Value>(GetCurrentObject(dc, OBJ_FONT)); }
Value ReadPen(HDC dc) { return reinterpret_cast<Value>(GetCurrentObject(dc, OBJ_PEN)); }
Value ReadBrush(HDC dc) { return reinterpret_cast<Value>(GetCurrentObject(dc, OBJ_BRUSH)); }
void PutObject(HDC dc, Value v) { SelectObject(dc, reinterpret_cast<HGDIOBJ>(v)); }

void EnterColor(HDC dc, Value v, const Inside& inside) {
  TextColorScope scope(dc, static_cast<COLORREF>(v));
  inside();
}
void EnterColorThenSet(HDC dc, Value v, const Inside& inside) {
  TextColorScope scope(dc);
  scope.Set(static_cast<COLORREF>(v));
  inside();
}
void EnterMode(HDC dc, Value v, const Inside& inside) {
  BkModeScope scope(dc, static_cast<int>(v));
  inside();
}
void EnterSelected(HDC dc, Value v, const Inside& inside) {
  SelectedObject scope(dc, reinterpret_cast<HGDIOBJ>(v));
  inside();
}

TEST(GdiScopeTest, SetsTheValueForItsScopeAndPutsTheOldOneBackIntoTheSameDc) {
  const ScopeCase cases[] = {
      {"text colour", ReadColor, PutColor, EnterColor, RGB(10, 20, 30), RGB(200, 100, 50)},
      {"text colour set later", ReadColor, PutColor, EnterColorThenSet, RGB(0, 0, 0), RGB(128, 128, 128)},
      {"transparent", ReadMode, PutMode, EnterMode, OPAQUE, TRANSPARENT},
      {"opaque", ReadMode, PutMode, EnterMode, TRANSPARENT, OPAQUE},
      {"font", ReadFont, PutObject, EnterSelected, Stock(SYSTEM_FONT), Stock(DEFAULT_GUI_FONT)},
      {"pen", ReadPen, PutObject, EnterSelected, Stock(BLACK_PEN), Stock(WHITE_PEN)},
      {"brush", ReadBrush, PutObject, EnterSelected, Stock(WHITE_BRUSH), Stock(GRAY_BRUSH)},
  };
  for (const ScopeCase& c : cases) {
    SCOPED_TRACE(c.name);
    trelvane::handles::MemoryDc dc(nullptr);
    trelvane::handles::MemoryDc other(nullptr);  // holds the scope's value, and must keep it
    ASSERT_NE(dc.get(), nullptr);
    ASSERT_NE(other.get(), nullptr);
    c.put(dc.get(), c.before);
    c.put(other.get(), c.inside);
    ASSERT_EQ(c.read(dc.get()), c.before);
    ASSERT_EQ(c.read(other.get()), c.inside);
    bool ran = false;
    c.enter(dc.get(), c.inside, [&] {
      ran = true;
      EXPECT_EQ(c.read(dc.get()), c.inside);
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(c.read(dc.get()), c.before);
    EXPECT_EQ(c.read(other.get()), c.inside);
  }
}

}  // namespace
