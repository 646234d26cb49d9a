// What both monitors do with File > Record: a recording of the open link
// started and stopped with the window's recorder, and the log pane's line
// about each ("Recording to PATH", "Recorded N bytes to PATH", "Recording
// stopped: REASON"). A recording ends with Record turned off, with the link
// closing, or on its own when a write failed (the recorder's
// kMsgRecordingStopped); its line is given once.
#pragma once

#include <windows.h>

#include <cstdint>

#include "nmea/text.hpp"
#include "recording/recorder.hpp"

namespace trelvane::recording {

template <class Ch>
class RecordingSwitch {
 public:
  // A path, the words around it and a count.
  static constexpr int kNoteChars = MAX_PATH + 64;

  explicit RecordingSwitch(Recorder& recorder) : recorder_(recorder) {}
  RecordingSwitch(const RecordingSwitch&) = delete;
  RecordingSwitch& operator=(const RecordingSwitch&) = delete;

  // A recording is on, as far as the window knows: Record is checked.
  bool On() const { return on_; }

  // Starts a recording into a new file of the recordings folder, its
  // stopped reasons posted to `window`; `note` gets the log's line.
  void Start(HWND window, Ch (&note)[kNoteChars]) {
    Ch path[MAX_PATH];
    nmea::TextBuilder<Ch> text(note, kNoteChars);
    if (!NewRecordingPath(path, MAX_PATH)) {
      text.AppendAscii("Cannot record: no documents folder\r\n");
      return;
    }
    on_ = recorder_.Start(path, window);
    text.AppendAscii(on_ ? "Recording to " : "Cannot record to ");
    text.AppendText(path);
    text.AppendAscii("\r\n");
  }

  // Ends the recording (if one is on): `note` gets the log's line; false
  // when none was on, and there is nothing to log.
  bool Stop(Ch (&note)[kNoteChars]) {
    if (!on_) return false;
    on_ = false;
    const std::uint64_t bytes = recorder_.Stop();
    nmea::TextBuilder<Ch> text(note, kNoteChars);
    if (recorder_.StopReason() != RecordingStop::kNone) {
      Ch reason[64];
      recorder_.Reason(reason, 64);
      text.AppendAscii("Recording stopped: ");
      text.AppendText(reason);
    } else {
      text.AppendAscii("Recorded ");
      text.AppendInt(static_cast<long long>(bytes), 1);
      text.AppendAscii(" bytes to ");
      text.AppendText(recorder_.template Path<Ch>());
    }
    text.AppendAscii("\r\n");
    return true;
  }

 private:
  Recorder& recorder_;
  bool on_ = false;
};

}  // namespace trelvane::recording
