// The handheld's screen, foreground, idle timers and process snapshot, on
// Win32.
//
// The handheld program is written for a Pocket PC: a 240 x 320 screen whose
// top 26 pixels belong to the task bar, top-level windows that fill the rest
// when created with default position and size, a foreground call that takes
// a flag in the low bit of the window handle, silent key events that restart
// the idle timers, and a snapshot that is closed with a call of its own.
// These functions give it those on Win32 and keep the arguments the handheld
// takes.
#pragma once

#include <windows.h>

#include "handles/owned.hpp"

namespace trelvane::ce {

constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 320;
constexpr int kTaskBarHeight = 26;

// The handheld's pixels on this screen: the handheld is laid out for 96 DPI,
// and a screen of more (150 %: 144) grows each size by the same factor.
int ScreenPixels(int handheldPixels);

// The screen below the task bar, in screen pixels: (0, 26, 240, 320) at 96
// DPI. The handheld screen is laid into the top left corner of the Win32
// screen (a Wine virtual desktop of 240 x 320 is exactly the handheld's
// screen).
RECT WorkArea();

// CreateWindowEx for a top-level window as the handheld creates it: a
// CW_USEDEFAULT position and size give the work area, and a window that asks
// for no caption and no border gets none (Win32 would give a window of style
// 0 a caption). Child windows and explicit places pass through unchanged.
HWND CreateTopLevel(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* parameter);

// SetForegroundWindow as the handheld takes it: with the lowest bit of the
// handle set, the window and the windows it owns come forward (its active
// owned popup, such as an open About box, takes the focus). The bit is
// never passed to Win32, where it would make the handle invalid.
BOOL BringToForeground(HWND window);

// The handheld's flag for a key event that only counts as user activity.
// Win32 has no such flag: its value 4 there is KEYEVENTF_UNICODE.
constexpr DWORD kKeyEventSilent = 0x0004;

// keybd_event as the handheld takes it. A silent event restarts the idle
// timers (display dimming and sleep) without any key reaching a window; on
// Win32 that is SetThreadExecutionState, and no key is injected. Other events
// go to keybd_event.
void KeyEvent(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR extra);

// The handheld closes a process snapshot with this; on Win32 it is a handle.
BOOL CloseToolhelp32Snapshot(HANDLE snapshot);

// A process snapshot, closed the handheld's way by its owner.
struct ProcessSnapshot {
  using Handle = HANDLE;
  static constexpr HANDLE kNone = nullptr;
  static bool Valid(HANDLE snapshot) { return snapshot != nullptr && snapshot != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE snapshot) { CloseToolhelp32Snapshot(snapshot); }
};
using OwnedSnapshot = handles::Owned<ProcessSnapshot>;

}  // namespace trelvane::ce
