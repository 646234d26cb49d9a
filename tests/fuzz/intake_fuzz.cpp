// libFuzzer target: arbitrary bytes through the reader's stream lexer into
// sentence intake, and lines and binary frames into the receiver recogniser,
// for the desktop and the handheld build. Besides the sanitizers' checks,
// every readout text, satellite number and receiver name must stay
// terminated within its capacity, and every frame must be a whole one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "nmea/build_policy.hpp"
#include "nmea/readout.hpp"
#include "nmea/sentence_intake.hpp"
#include "receiver/receiver_recogniser.hpp"
#include "stream/stream_lexer.hpp"

namespace {

using namespace trelvane;

template <class Ch>
class CountingLogPane final : public nmea::LogPane<Ch> {
 public:
  int LineCount() override { return lines_; }
  void SetText(const Ch*) override { lines_ = 1; }
  void ReplaceSelection(const Ch* text) override {
    for (; *text != Ch(0); ++text) lines_ += *text == Ch('\n') ? 1 : 0;
  }

 private:
  int lines_ = 1;
};

template <class Ch>
class CheckedControls final : public nmea::ReadoutControls<Ch> {
 public:
  void SetControlText(int controlId, const Ch* text) override {
    if (controlId < nmea::kIdcDate || controlId > nmea::kIdcLat || controlId == 1030) std::abort();
    if (nmea::TextLength(text, nmea::kSlotChars) >= nmea::kSlotChars) std::abort();
  }
};

template <class Ch, int N>
void CheckTerminated(const Ch (&text)[N]) {
  if (nmea::TextLength(text, N) >= N) std::abort();
}

template <class Build>
struct IntakeSink {
  using Ch = typename Build::Char;
  nmea::SentenceIntake<Build>& intake;
  nmea::SatelliteTable<Ch>& table;
  receiver::ReceiverRecogniser recogniser;

  void OnLine(const Ch* line, int length) {
    recogniser.OnLine(line, length);
    const int result = intake.HandleSentence(line);
    if (result != 0 && result != 1) std::abort();
    if (intake.decoding() != 0) std::abort();
    for (const auto& entry : table.entries) CheckTerminated(entry.prn);
    if (nmea::TextLength(recogniser.Name(), receiver::kReceiverNameChars) >= receiver::kReceiverNameChars) std::abort();
  }
  bool OnLineCut() { return true; }
  void OnFrame(const unsigned char* frame, int length) {
    if (length < 8 || length > stream::kMaxFrameBytes) std::abort();
    recogniser.OnFrame(frame, length);
    if (nmea::TextLength(recogniser.Name(), receiver::kReceiverNameChars) >= receiver::kReceiverNameChars) std::abort();
  }
};

template <class Build, class Readout>
void Run(const std::uint8_t* data, std::size_t size, Readout& readout) {
  using Ch = typename Build::Char;
  CountingLogPane<Ch> log;
  nmea::SatelliteTable<Ch> table;
  nmea::SentenceIntake<Build> intake(log, readout, table, nmea::RepaintCallback{});
  IntakeSink<Build> sink{intake, table, {}};
  stream::StreamLexer<Ch> lexer;
  lexer.Feed(data, static_cast<int>(size), sink);
  lexer.EndOfBurst(sink);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  nmea::FixDisplayRecord record;
  Run<nmea::DesktopBuild>(data, size, record);
  for (int f = 0; f < nmea::kReadoutFieldCount; ++f) {
    const char* text = record.Text(static_cast<nmea::ReadoutField>(f));
    if (nmea::TextLength(text, 16) > 14) std::abort();
  }
  CheckedControls<char16_t> controls;
  Run<nmea::HandheldBuild<char16_t>>(data, size, controls);
  return 0;
}
