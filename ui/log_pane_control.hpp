// A page's read-only multi-line edit control as the log pane: the three
// operations sentence intake and the command echo use, in the build's own
// text form.
#pragma once

#include <windows.h>

#include "nmea/batched_log_pane.hpp"
#include "nmea/sinks.hpp"
#include "ui/monitor_calls.hpp"
#include "ui/window_object.hpp"
#include "ui/work_census.hpp"

namespace trelvane::ui {

// How long accepted sentences may wait before they show in the log pane: a
// person watching a log does not see a quarter of a second, and a pane under
// Wine costs about 10 ms an insert, whatever the insert's size. A stream
// whose last flush carried ten lines or more (forty a second and up: a fast
// receiver, whose lines no one reads one by one as they scroll by) is brought
// up to date once a second: four inserts a second of such a stream cost a
// visible pane about 5 % of a core, one a second about 2 %. A flood of two
// hundred lines a second or more (a 10 Hz receiver with a full sky) empties
// the pane twice a second or more, so what it shows is a glimpse whenever it
// is drawn; measuring each of its up to a hundred lines costs the window
// about 1.5 % of a core a flush, and it is drawn every two seconds.
constexpr UINT kLogFlushMs = 250;
constexpr UINT kBusyLogFlushMs = 1000;
constexpr UINT kFloodLogFlushMs = 2000;
constexpr int kBusyFlushLines = 10;
constexpr int kFloodLinesPerSecond = 200;

// The wait before the next flush, from the lines the last one carried and
// the wait that came before it.
inline UINT LogFlushDelayMs(int lastFlushLines, UINT lastDelayMs) {
  const long long perSecond = lastDelayMs == 0 ? 0 : 1000LL * lastFlushLines / lastDelayMs;
  if (perSecond >= kFloodLinesPerSecond) return kFloodLogFlushMs;
  return lastFlushLines >= kBusyFlushLines ? kBusyLogFlushMs : kLogFlushMs;
}

template <class Ch>
class LogPaneControl final : public nmea::LogPane<Ch> {
 public:
  LogPaneControl(const WindowObject& page, int id) : page_(page), id_(id) {}
  LogPaneControl(const LogPaneControl&) = delete;
  LogPaneControl& operator=(const LogPaneControl&) = delete;

  int LineCount() override { return static_cast<int>(SendMessageOf<Ch>(Edit(), EM_GETLINECOUNT, 0, 0)); }
  void SetText(const Ch* text) override {
    if constexpr (sizeof(Ch) == 1) {
      SetWindowTextA(Edit(), text);
    } else {
      SetWindowTextW(Edit(), text);
    }
  }
  // The receiver's lines go at the pane's end, whatever the user did in it:
  // a click moves the insertion point, and a selection would be replaced by
  // the next sentence. A selection the user made is put back where it was,
  // so that a copy still takes what was chosen; a bare insertion point stays
  // at the end, so the pane follows the receiver.
  void ReplaceSelection(const Ch* text) override {
    const HWND edit = Edit();
    DWORD start = 0;
    DWORD end = 0;
    SendMessageOf<Ch>(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SendMessageOf<Ch>(edit, EM_SETSEL, kPastTheEnd, kPastTheEnd);
    SendMessageOf<Ch>(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    WorkCensus::Count(Work::kLogInserts);
    if (start != end) SendMessageOf<Ch>(edit, EM_SETSEL, start, end);
  }

 private:
  // A position beyond any text: the control puts it at the text's end.
  static constexpr WPARAM kPastTheEnd = 0x7FFFFFFF;

  HWND Edit() const { return GetDlgItem(page_.hwnd, id_); }
  const WindowObject& page_;
  int id_;
};

// The page's edit control, made before the gathering pane that writes to it.
template <class Ch>
struct LogPaneControlHolder {
  LogPaneControlHolder(const WindowObject& page, int id) : control(page, id) {}
  LogPaneControl<Ch> control;
};

// A page's log pane as intake and the command echo write it: inserts are
// gathered (nmea::BatchedLogPane) and put into the control when the page's
// one-shot timer `timerId` fires, kLogFlushMs to kFloodLogFlushMs after the
// first of them.
template <class Ch>
class PageLog final : private LogPaneControlHolder<Ch>, public nmea::BatchedLogPane<Ch> {
 public:
  PageLog(const WindowObject& page, int controlId, UINT_PTR timerId)
      : LogPaneControlHolder<Ch>(page, controlId),
        nmea::BatchedLogPane<Ch>(this->control, nmea::Callback{&RequestFlushOf, this}),
        page_(page),
        timerId_(timerId) {}

  // The page's WM_TIMER: the flush timer's puts the gathered text in.
  void OnTimer(WPARAM id) {
    if (id != timerId_) return;
    KillTimer(page_.hwnd, timerId_);
    armed_ = false;
    // A flood emptied just before its flush would leave the pane all but
    // blank for two seconds: the flush waits once, a quarter of a second
    // (fifty lines and more of a flood, never the hundred that empty it).
    if (delayMs_ == kFloodLogFlushMs && !held_ && this->LineCount() < kBusyFlushLines) {
      held_ = armed_ = SetTimer(page_.hwnd, timerId_, kLogFlushMs, nullptr) != 0;
      if (held_) return;
    }
    held_ = false;
    this->Flush();
  }

 private:
  // Armed once until it fires: setting the timer again would restart its
  // wait, and a stream that empties the pane more often than the wait (a
  // fast receiver at 100 lines in under a second) would never be shown.
  static void RequestFlushOf(void* self) {
    auto* log = static_cast<PageLog*>(self);
    if (log->armed_ || log->page_.hwnd == nullptr) return;
    const UINT delay = LogFlushDelayMs(log->LastFlushLines(), log->delayMs_);
    log->armed_ = SetTimer(log->page_.hwnd, log->timerId_, delay, nullptr) != 0;
    if (log->armed_) log->delayMs_ = delay;
  }

  const WindowObject& page_;
  UINT_PTR timerId_;
  bool armed_ = false;
  UINT delayMs_ = kLogFlushMs;  // the wait of the flush timer armed last, a hold not counted
  bool held_ = false;            // the flush was put off once for want of lines
};

}  // namespace trelvane::ui
