// What the window's thread does, counted for the benchmark
// (scripts/monitor-bench asks through kMsgWorkCensus): timer messages, the
// pages' paints, the texts set on the information page and the lines put
// into the log pane. Only the window's thread counts and answers, so plain
// counters do; the product shows none of them.
#pragma once

namespace trelvane::ui {

// Answers the count of work wParam (a Work) so far; the window changes nothing.
constexpr unsigned kMsgWorkCensus = 2729;

enum class Work : unsigned { kTimers, kLogInserts, kInfoPaints, kAccuracyPaints, kTextsSet, kCount };

class WorkCensus {
 public:
  static void Count(Work work) { ++counts_[static_cast<unsigned>(work)]; }
  static unsigned long Read(unsigned work) { return work < static_cast<unsigned>(Work::kCount) ? counts_[work] : 0; }

 private:
  static inline unsigned long counts_[static_cast<unsigned>(Work::kCount)] = {};
};

}  // namespace trelvane::ui
