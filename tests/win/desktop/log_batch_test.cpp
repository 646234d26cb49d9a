// The log pane's gathered inserts against the pane written line by line: two
// edit controls with the log pane's styles, each behind its own sentence
// intake, take the same lines; after every flush of the gathered one its
// text must equal the other's, across the clears every hundred lines. And
// wherever the user put the insertion point or a selection, a flush adds
// at the end and leaves the selection as it was.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "nmea/batched_log_pane.hpp"
#include "nmea/build_policy.hpp"
#include "nmea/sentence_intake.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"
#include "tests/win/desktop/monitor_fixture.hpp"
#include "ui/log_pane_control.hpp"
#include "ui/work_census.hpp"

namespace {

using namespace trelvane;

constexpr int kPaneId = 1;
constexpr DWORD kLogStyles = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                             ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_READONLY;

// A top-level window holding one log pane.
struct PaneHolder final : ui::WindowObject {
  explicit PaneHolder(int left) {
    hwnd = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, left, 0, 440, 150, nullptr, nullptr, nullptr, nullptr);
    CreateWindowExA(0, "EDIT", "", kLogStyles, 0, 0, 430, 140, hwnd, reinterpret_cast<HMENU>(kPaneId), nullptr, nullptr);
  }
  ~PaneHolder() override { DestroyWindow(hwnd); }
  LRESULT HandleMessage(HWND, UINT, WPARAM, LPARAM) override { return 0; }
  std::string Text() const { return test::WindowText(GetDlgItem(hwnd, kPaneId)); }
};

struct Side {
  explicit Side(int left) : holder(left) {}
  PaneHolder holder;
  ui::LogPaneControl<char> control{holder, kPaneId};
  nmea::FixDisplayRecord record;
  nmea::SatelliteTable<char> satellites;
};

// `body` (without "$") as a checksummed sentence ending in `end`.
std::string Sentence(const std::string& body, const char* end) {
  const std::string crLf = trelvane::testing::Sentence(body);
  return crLf.substr(0, crLf.size() - 2) + end;
}

// Real sentences, and now and then a line whose line breaks the pane itself
// must count: one ended by LF alone, one with a CR inside. Those go in at
// once, after the batch, so they are kept rare: where they fall, the pane's
// own count is fresh and would hide a batch counted wrong.
std::vector<std::string> Lines() {
  const std::string usual[] = {
      Sentence("GPRMC,094737,A,5251.0093,N,00518.8170,E,5.6,230.5,200818,1.4,E,A", "\r\n"),
      Sentence("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1", "\r\n"),
      Sentence("GPGSV,3,1,12,01,05,040,,02,17,308,41,12,07,344,39,14,22,228,45", "\r\n"),
  };
  const std::string lineFeedOnly = Sentence("GPTXT,01,01,02,ANTENNA OK", " \n");
  const std::string carriageReturnInside = Sentence("GPTXT,01,01,02,A\rB", "\r\n");
  std::vector<std::string> lines;
  for (int i = 0; i < 260; ++i) {
    lines.push_back(i % 13 == 6 ? carriageReturnInside : i % 17 == 9 ? lineFeedOnly : usual[i % 3]);
  }
  return lines;
}

TEST(LogBatchTest, AfterEveryFlushThePaneReadsAsIfEachLineWentInAlone) {
  Side alone(0);
  Side gathered(450);
  int requests = 0;
  nmea::BatchedLogPane<char> batched(gathered.control, nmea::Callback{[](void* n) { ++*static_cast<int*>(n); }, &requests});
  nmea::SentenceIntake<nmea::DesktopBuild> direct(alone.control, alone.record, alone.satellites, {});
  nmea::SentenceIntake<nmea::DesktopBuild> batching(batched, gathered.record, gathered.satellites, {});

  // Batches of 1 to 37 lines, so that flushes fall on both sides of each clear.
  const std::vector<std::string> lines = Lines();
  int flushes = 0;
  size_t next = 0;
  for (int size = 1; next < lines.size(); size = size % 37 + 5) {
    for (int i = 0; i < size && next < lines.size(); ++i, ++next) {
      ASSERT_EQ(direct.HandleSentence(lines[next].c_str()), batching.HandleSentence(lines[next].c_str()));
    }
    if (next == 148) {  // the Setup page's own text, as after a failed open
      alone.control.SetText("ComPort ERROR!!");
      batched.SetText("ComPort ERROR!!");
    }
    batched.Flush();
    ++flushes;
    ASSERT_EQ(gathered.holder.Text(), alone.holder.Text()) << "after " << next << " lines";
    ASSERT_FALSE(batched.Pending());
  }
  EXPECT_GT(flushes, 8);
  EXPECT_LT(requests, static_cast<int>(lines.size()) / 2) << "a flush was asked for nearly every line";
  // The pane was cleared on the way: the hundred-line rule ran on both.
  const std::string last = alone.holder.Text();
  EXPECT_LT(std::count(last.begin(), last.end(), '\n'), 100);
}

// The pane's owner flushes a busy stream less often, judged by the lines the
// last flush carried; a line that goes in alone ends the batch before it.
TEST(LogBatchTest, CountsTheLinesOfItsLastFlush) {
  Side side(0);
  nmea::BatchedLogPane<char> batched(side.control, nmea::Callback{[](void*) {}, nullptr});
  const std::string plain = Sentence("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1", "\r\n");
  const std::string lineFeedOnly = Sentence("GPTXT,01,01,02,ANTENNA OK", " \n");
  for (int i = 0; i < 12; ++i) batched.ReplaceSelection(plain.c_str());
  batched.Flush();
  EXPECT_EQ(batched.LastFlushLines(), 12);
  batched.ReplaceSelection(plain.c_str());
  batched.ReplaceSelection(lineFeedOnly.c_str());
  EXPECT_EQ(batched.LastFlushLines(), 1);
  batched.Flush();  // nothing gathered: the count stands
  EXPECT_EQ(batched.LastFlushLines(), 1);
  // Lines an emptying wiped before the flush came to the pane all the same.
  for (int i = 0; i < 30; ++i) batched.ReplaceSelection(plain.c_str());
  batched.SetText("");
  for (int i = 0; i < 5; ++i) batched.ReplaceSelection(plain.c_str());
  batched.Flush();
  EXPECT_EQ(batched.LastFlushLines(), 35);
}

// The wait before a flush follows the stream: a quarter of a second for a
// few lines, a second for a busy stream, two for a flood that empties the
// pane twice a second or more, whatever wait the last lines came in.
TEST(LogBatchTest, FlushesABusierStreamLessOften) {
  struct Case {
    int lines;
    UINT lastDelayMs;
    UINT delayMs;
  };
  const Case cases[] = {
      {0, 250, 250},     {9, 250, 250},     {10, 250, 1000},   {49, 250, 1000},  {50, 250, 2000},
      {199, 1000, 1000}, {200, 1000, 2000}, {350, 1000, 2000}, {399, 2000, 1000}, {400, 2000, 2000},
      {9, 2000, 250},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ui::LogFlushDelayMs(c.lines, c.lastDelayMs), c.delayMs) << c.lines << " lines in " << c.lastDelayMs << " ms";
  }
}

// A text set as a seek's replay sets it, then the user's click or selection,
// then a flush: the lines are at the end, in order, and a selection stands.
TEST(LogBatchTest, AFlushAddsAtTheEndWhereverTheUserClicked) {
  struct Case {
    const char* what;
    DWORD start, end;    // what the user selected before the flush
    DWORD afterStart, afterEnd;
  };
  const std::string set = "$GPTXT,ONE\r\n$GPTXT,TWO\r\n";
  const auto length = static_cast<DWORD>(set.size() + 2 * std::strlen("$GPTXT,SIX\r\n"));
  const Case cases[] = {
      {"the insertion point at the start", 0, 0, length, length},
      {"the insertion point mid-line", 5, 5, length, length},
      {"characters 5 to 20 selected", 5, 20, 5, 20},
      {"all selected", 0, static_cast<DWORD>(set.size()), 0, static_cast<DWORD>(set.size())},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Side side(0);
    nmea::BatchedLogPane<char> batched(side.control, nmea::Callback{[](void*) {}, nullptr});
    const HWND edit = GetDlgItem(side.holder.hwnd, kPaneId);
    batched.SetText(set.c_str());
    SendMessageA(edit, EM_SETSEL, c.start, c.end);
    batched.ReplaceSelection("$GPTXT,SIX\r\n");
    batched.Flush();
    batched.ReplaceSelection("$GPTXT,TEN\r\n");
    batched.Flush();
    EXPECT_EQ(side.holder.Text(), set + "$GPTXT,SIX\r\n$GPTXT,TEN\r\n");
    DWORD start = 0;
    DWORD end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, c.afterStart);
    EXPECT_EQ(end, c.afterEnd);
  }
}

// A receiver at 350 lines a second empties the pane every hundred lines,
// more often than a busy stream's flush (once a second): the flush timer is
// armed once and fires all the same, and each flush empties the pane once
// and puts in the lines since the last emptying.
TEST(LogBatchTest, AStreamThatEmptiesThePaneFasterThanItsFlushIsStillShown) {
  Side side(0);
  ui::PageLog<char> log(side.holder, kPaneId, /*timerId=*/7);
  nmea::SentenceIntake<nmea::DesktopBuild> intake(log, side.record, side.satellites, {});
  const std::vector<std::string> lines = Lines();
  for (int i = 0; i < 12; ++i) intake.HandleSentence(lines[0].c_str());
  log.Flush();  // twelve lines: a busy stream's flush waits a second
  const unsigned long insertsBefore = ui::WorkCensus::Read(static_cast<unsigned>(ui::Work::kLogInserts));
  std::size_t fed = 0, shownMost = 0;
  for (const ULONGLONG end = GetTickCount64() + 1600; GetTickCount64() < end;) {
    for (int i = 0; i < 3; ++i) intake.HandleSentence(lines[fed++ % 3].c_str());  // the usual ones only
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_TIMER && msg.hwnd == side.holder.hwnd) {
        log.OnTimer(msg.wParam);
      } else {
        DispatchMessageA(&msg);
      }
    }
    const std::string text = side.holder.Text();
    shownMost = std::max<std::size_t>(shownMost, static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    Sleep(8);
  }
  EXPECT_GE(fed, 400u) << "the stream did not empty the pane several times";
  const unsigned long inserts = ui::WorkCensus::Read(static_cast<unsigned>(ui::Work::kLogInserts)) - insertsBefore;
  EXPECT_GE(inserts, 1u) << "no flush in 1.6 s: the pane never showed the stream";
  EXPECT_LE(inserts, 2u);
  EXPECT_GT(shownMost, 0u);
  EXPECT_LE(shownMost, 101u);
}

}  // namespace
