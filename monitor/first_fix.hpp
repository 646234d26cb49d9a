// Time to first fix: from a Cold Start sent from the monitor, or from the
// link opening, to the first fix report (GGA or RMC) with a valid position.
// A receiver that still reports its fix after the command has not started
// cold yet: the clock then starts at its first report without a fix, and a
// receiver that never loses its fix gives no time at all. The last five
// times are kept, with their smallest, median and largest.
#pragma once

#include <cstdint>
#include <cstdio>

#include "nmea/text.hpp"

namespace trelvane::monitor {

constexpr int kFirstFixesKept = 5;

enum class FirstFixFrom { kNone, kLinkOpened, kColdStart };

class FirstFixClock {
 public:
  void LinkOpened(std::uint32_t now) { Start(FirstFixFrom::kLinkOpened, now); }
  void ColdStart(std::uint32_t now) { Start(FirstFixFrom::kColdStart, now); }
  // The link closed or a file plays: nothing is being timed.
  void Stop() { from_ = FirstFixFrom::kNone; }

  // A fix report at `now`: true when it is the first fix being timed, whose
  // time is then Last().
  bool Report(bool valid, std::uint32_t now) {
    if (from_ == FirstFixFrom::kNone) return false;
    if (waitingForLoss_) {
      if (valid) {
        heldFix_ = true;  // the fix from before the command
        return false;
      }
      waitingForLoss_ = false;
      if (heldFix_) startMs_ = now;
      return false;
    }
    if (!valid) return false;
    lastFrom_ = from_;
    from_ = FirstFixFrom::kNone;
    kept_[next_] = now - startMs_;
    next_ = (next_ + 1) % kFirstFixesKept;
    if (count_ < kFirstFixesKept) ++count_;
    return true;
  }

  int Count() const { return count_; }
  // The newest time in ms; its cause.
  std::uint32_t Last() const { return kept_[(next_ + kFirstFixesKept - 1) % kFirstFixesKept]; }
  FirstFixFrom LastFrom() const { return lastFrom_; }

  // The kept times, smallest first.
  int Sorted(std::uint32_t (&out)[kFirstFixesKept]) const {
    for (int i = 0; i < count_; ++i) out[i] = kept_[i];
    for (int i = 1; i < count_; ++i) {
      for (int j = i; j > 0 && out[j] < out[j - 1]; --j) {
        const std::uint32_t t = out[j];
        out[j] = out[j - 1];
        out[j - 1] = t;
      }
    }
    return count_;
  }

  // The log pane's line for the newest time: "First fix 31.4 s after Cold Start".
  template <class Ch>
  void FormatLog(Ch* out, int capacity) const {
    char text[64];
    std::snprintf(text, sizeof text, "First fix %.1f s after %s\r\n", Last() / 1000.0,
                  lastFrom_ == FirstFixFrom::kColdStart ? "Cold Start" : "the link opened");
    nmea::TextBuilder<Ch> builder(out, capacity);
    builder.AppendAscii(text);
  }

  // The health page's line: the newest, then the five kept, newest first,
  // with their smallest, median and largest.
  template <class Ch>
  void FormatSummary(Ch* out, int capacity) const {
    nmea::TextBuilder<Ch> builder(out, capacity);
    if (count_ == 0) {
      builder.AppendAscii("Time to first fix: none yet");
      return;
    }
    char text[96];
    std::snprintf(text, sizeof text, "Time to first fix: %.1f s after %s. Last %d:", Last() / 1000.0,
                  lastFrom_ == FirstFixFrom::kColdStart ? "Cold Start" : "the link opened", count_);
    builder.AppendAscii(text);
    for (int i = 0; i < count_; ++i) {
      std::snprintf(text, sizeof text, " %.1f", kept_[(next_ + kFirstFixesKept - 1 - i) % kFirstFixesKept] / 1000.0);
      builder.AppendAscii(text);
    }
    std::uint32_t sorted[kFirstFixesKept];
    Sorted(sorted);
    std::snprintf(text, sizeof text, " s (smallest %.1f, median %.1f, largest %.1f)", sorted[0] / 1000.0,
                  Median(sorted, count_) / 1000.0, sorted[count_ - 1] / 1000.0);
    builder.AppendAscii(text);
  }

  static double Median(const std::uint32_t* sorted, int count) {
    return count % 2 == 1 ? sorted[count / 2] : (sorted[count / 2 - 1] + static_cast<double>(sorted[count / 2])) / 2;
  }

 private:
  void Start(FirstFixFrom from, std::uint32_t now) {
    from_ = from;
    startMs_ = now;
    waitingForLoss_ = from == FirstFixFrom::kColdStart;
    heldFix_ = false;
  }

  FirstFixFrom from_ = FirstFixFrom::kNone;  // what is being timed
  FirstFixFrom lastFrom_ = FirstFixFrom::kNone;
  std::uint32_t startMs_ = 0;
  bool waitingForLoss_ = false;  // a Cold Start's first report without a fix is awaited
  bool heldFix_ = false;         // a fix was reported after the command
  std::uint32_t kept_[kFirstFixesKept] = {};
  int next_ = 0;
  int count_ = 0;
};

}  // namespace trelvane::monitor
