// libFuzzer target: arbitrary received bytes cut into lines as the readers cut
// them, each line through both monitors' sentence intake and decoders.
#include <cstddef>
#include <cstdint>

#include "core/link/line_assembler.hpp"
#include "core/nmea/build_policy.hpp"
#include "core/nmea/readout.hpp"
#include "core/nmea/sentence_intake.hpp"
#include "tools/decode/recorded_controls.hpp"

namespace {

using namespace trelvane;

template <class Ch>
class CountingLogPane final : public nmea::LogPane<Ch> {
 public:
  int LineCount() override { return lines_; }
  void SetText(const Ch*) override { lines_ = 1; }
  void ReplaceSelection(const Ch*) override { ++lines_; }

 private:
  int lines_ = 1;
};

template <class Build, class Readout>
void Feed(const uint8_t* data, size_t size) {
  using Ch = typename Build::Char;
  CountingLogPane<Ch> log;
  Readout readout;
  nmea::SatelliteTable<Ch> satellites;
  nmea::SentenceIntake<Build> intake(log, readout, satellites, nmea::RepaintRequest{});
  link::LineAssembler<Ch> lines;
  for (size_t i = 0; i < size; ++i) {
    if (lines.Push(data[i]) == link::LineAssembler<Ch>::Step::kLine) intake.HandleSentence(lines.Line());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Feed<nmea::DesktopBuild, nmea::FixDisplayRecord>(data, size);
  Feed<nmea::PocketBuild, decode::RecordedControls<nmea::Utf16Unit>>(data, size);
  return 0;
}
