// Paces a page's repaints: at most one paint each gap (kPaintGapMs, or the
// page's own). A receiver that sends its fix once a second is drawn as soon
// as its sentences change the page; a faster stream (a replay at full line
// speed, a receiver set to several fixes a second) is drawn at most once a
// gap (four times a second; ten for a page that draws the readout itself),
// each time from the newest data, at most a gap after that data came in.
#pragma once

#include <windows.h>

namespace trelvane::ui {

constexpr DWORD kPaintGapMs = 250;
// A page that draws the readout itself is drawn for each fix of a 10 Hz
// receiver: ten paints a second at the most, still far below the screen's.
constexpr DWORD kReadoutPaintGapMs = 100;

class PaintPacer {
 public:
  explicit PaintPacer(DWORD gapMs = kPaintGapMs) : gapMs_(gapMs) {}

  // True when the page is to be invalidated now. Otherwise the gap since the
  // last paint has not passed: a one-shot timer `timerId` on `page` is armed
  // (once), and the page invalidates itself when it fires (TimerFired).
  bool DueNow(HWND page, UINT_PTR timerId) {
    if (armed_) return false;
    const DWORD since = GetTickCount() - lastPaint_;
    if (!painted_ || since >= gapMs_) return true;
    armed_ = SetTimer(page, timerId, gapMs_ - since, nullptr) != 0;
    return !armed_;  // without a timer the paint is not held back
  }

  // The timer armed by DueNow fired: it is stopped; the page is now due.
  void TimerFired(HWND page, UINT_PTR timerId) {
    KillTimer(page, timerId);
    armed_ = false;
  }

  // The page painted (whatever asked for it): the gap counts from here.
  void Painted() {
    lastPaint_ = GetTickCount();
    painted_ = true;
  }

 private:
  DWORD gapMs_;
  DWORD lastPaint_ = 0;
  bool painted_ = false;
  bool armed_ = false;
};

// A page's repaint requests: a burst of sentences asks many times before the
// page paints once, and each ask that reaches the window system costs a call
// into it, so a request is passed on only when none is pending and the
// pacer lets it through. The page invalidates what it draws when told to.
class PageRepaints {
 public:
  explicit PageRepaints(DWORD gapMs = kPaintGapMs) : pacer(gapMs) {}

  // A repaint is asked for: true when the page is to invalidate now.
  bool Request(HWND page, UINT_PTR timerId) {
    if (page == nullptr || pending || !pacer.DueNow(page, timerId)) return false;
    pending = true;
    return true;
  }

  // The page's WM_TIMER: true when the pacer's held request is due now.
  bool TimerFired(HWND page, UINT_PTR timerId, WPARAM id) {
    if (id != timerId) return false;
    pacer.TimerFired(page, timerId);
    pending = true;
    return true;
  }

  // The page paints (whatever asked for it).
  void Painting() {
    pending = false;
    pacer.Painted();
  }

  // True from a request until the page paints.
  bool pending = false;
  PaintPacer pacer;
};

}  // namespace trelvane::ui
