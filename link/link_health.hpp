// The link's health as the Setup pages show it: a state ("Receiving", "Bytes
// but no sentences: wrong rate?", ...) and the counts of the last second and
// since the link was opened. The main window owns one; it counts each line's
// intake result and, on a timer that runs while the link is open, hands it
// the reader's totals. Times are milliseconds of a steady 32-bit clock
// (GetTickCount, on both builds): differences are taken modulo 2^32, so the
// clock's wrap after 49 days is harmless.
#pragma once

#include <cstdint>
#include <cstdio>

namespace trelvane::link {

class LinkHealth {
 public:
  static constexpr std::uint32_t kReceivingMs = 2000;  // a sentence this recent: receiving
  static constexpr std::uint32_t kQuietMs = 3000;      // no sentence / no byte for this long

  // The link was opened at `nowMs`: everything counts from zero.
  // A played file (`playing`) reads "Playing" whatever it delivers; its
  // counts are the file's.
  void Open(std::uint32_t nowMs, bool playing = false) {
    *this = LinkHealth();
    open_ = true;
    playing_ = playing;
    openedMs_ = nowMs;
    lastSampleMs_ = nowMs;
  }
  void Close() { open_ = false; }
  bool IsOpen() const { return open_; }

  // The intake's result for one line: accepted at `nowMs`, or rejected by
  // the checksum test. Only the main window's thread calls these. The first
  // sentence after a quiet spell shows "Receiving" at once rather than at
  // the next sample; the counts keep their once-a-second rhythm. True when
  // the state changed.
  bool CountAccepted(std::uint32_t nowMs) {
    ++sentences_;
    if (!open_ || state_ == State::kReceiving) return false;
    heardBytes_ = heardSentence_ = true;
    lastByteMs_ = lastSentenceMs_ = nowMs;
    state_ = State::kReceiving;
    return true;
  }
  void CountRejected() { ++badChecksums_; }

  // The reader's totals since the link was opened, at `nowMs` (at least once
  // a second): the rates cover the time since the previous sample. A rise
  // in the bytes dates the last byte to when the reader read it
  // (`lastByteMs`; 0 when it cannot say, then to this sample): dated to the
  // sample, a silence would show up to a second late and count a second
  // short. A rise in the sentences dates the last sentence to this sample.
  void Sample(std::uint32_t nowMs, unsigned long bytes, unsigned long linesCut, std::uint32_t lastByteMs = 0) {
    if (!open_) return;
    const std::uint32_t elapsed = nowMs - lastSampleMs_;
    if (elapsed > 0) {
      bytesPerSecond_ = PerSecond(bytes - sampledBytes_, elapsed);
      sentencesPerSecond_ = PerSecond(sentences_ - sampledSentences_, elapsed);
    }
    if (bytes != sampledBytes_) {
      const bool known = lastByteMs != 0 && nowMs - lastByteMs <= elapsed;  // read since the last sample
      lastByteMs_ = known ? lastByteMs : nowMs;
    }
    if (sentences_ != sampledSentences_) lastSentenceMs_ = nowMs;
    heardBytes_ = heardBytes_ || bytes != 0;
    heardSentence_ = heardSentence_ || sentences_ != 0;
    sampledBytes_ = bytes;
    sampledSentences_ = sentences_;
    linesCut_ = linesCut;
    lastSampleMs_ = nowMs;
    state_ = StateAt(nowMs);
  }

  // The state as of the last sample (or "Closed"), into `text`, bounded.
  template <class Ch>
  void StateText(Ch* text, int capacity) const {
    char narrow[kTextChars];
    switch (!open_ ? State::kClosed : playing_ ? State::kPlaying : state_) {
      case State::kClosed:
        std::snprintf(narrow, sizeof narrow, "Closed");
        break;
      case State::kWaiting:
        std::snprintf(narrow, sizeof narrow, "Waiting for data");
        break;
      case State::kReceiving:
        std::snprintf(narrow, sizeof narrow, "Receiving");
        break;
      case State::kNoSentences:
        std::snprintf(narrow, sizeof narrow, "Bytes but no sentences: wrong rate?");
        break;
      case State::kSilent:
        std::snprintf(narrow, sizeof narrow, "Silent for %lu s", static_cast<unsigned long>(silentSeconds_));
        break;
      case State::kPlaying:
        std::snprintf(narrow, sizeof narrow, "Playing");
        break;
    }
    Widen(narrow, text, capacity);
  }

  // "N sentences/s, N bytes/s, N bad checksums, N lines cut", bounded.
  template <class Ch>
  void CountsText(Ch* text, int capacity) const {
    char narrow[kTextChars];
    std::snprintf(narrow, sizeof narrow, "%lu sentences/s, %lu bytes/s, %lu bad checksums, %lu lines cut",
                  open_ ? sentencesPerSecond_ : 0ul, open_ ? bytesPerSecond_ : 0ul, badChecksums_, linesCut_);
    Widen(narrow, text, capacity);
  }

 private:
  enum class State { kClosed, kWaiting, kReceiving, kNoSentences, kSilent, kPlaying };
  static constexpr int kTextChars = 96;

  static unsigned long PerSecond(unsigned long count, std::uint32_t elapsedMs) {
    return static_cast<unsigned long>((static_cast<unsigned long long>(count) * 1000 + elapsedMs / 2) / elapsedMs);
  }

  template <class Ch>
  static void Widen(const char* narrow, Ch* text, int capacity) {
    if (capacity <= 0) return;
    int i = 0;
    for (; i < capacity - 1 && narrow[i] != 0; ++i) text[i] = static_cast<Ch>(narrow[i]);
    text[i] = Ch(0);
  }

  // Between 2 and 3 s after the last sentence, with bytes still coming, the
  // state stays what it was: neither receiving nor known to be wrong yet. A
  // link whose bytes have not yet made a sentence is still waiting for data
  // until 3 s after it opened: its first bytes may be the tail of a sentence
  // it joined halfway.
  State StateAt(std::uint32_t nowMs) {
    if (!heardBytes_) return State::kWaiting;
    if (nowMs - lastByteMs_ >= kQuietMs) {
      silentSeconds_ = (nowMs - lastByteMs_) / 1000;
      return State::kSilent;
    }
    const std::uint32_t withoutSentence = nowMs - (heardSentence_ ? lastSentenceMs_ : openedMs_);
    if (heardSentence_ && withoutSentence < kReceivingMs) return State::kReceiving;
    if (withoutSentence >= kQuietMs) return State::kNoSentences;
    if (!heardSentence_) return State::kWaiting;
    return state_ == State::kSilent || state_ == State::kWaiting ? State::kNoSentences : state_;
  }

  bool open_ = false;
  bool playing_ = false;
  State state_ = State::kWaiting;
  unsigned long sentences_ = 0;
  unsigned long badChecksums_ = 0;
  unsigned long linesCut_ = 0;
  unsigned long sampledBytes_ = 0;
  unsigned long sampledSentences_ = 0;
  unsigned long bytesPerSecond_ = 0;
  unsigned long sentencesPerSecond_ = 0;
  bool heardBytes_ = false;
  bool heardSentence_ = false;
  std::uint32_t openedMs_ = 0;
  std::uint32_t lastSampleMs_ = 0;
  std::uint32_t lastByteMs_ = 0;
  std::uint32_t lastSentenceMs_ = 0;
  std::uint32_t silentSeconds_ = 0;
};

}  // namespace trelvane::link
