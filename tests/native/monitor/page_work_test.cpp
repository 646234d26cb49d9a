// A 10 Hz receiver's fixes through the session: the page is asked to draw
// only when what it draws changed, and the handheld's readout controls are
// given only texts they do not already show.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "monitor/monitor_session.hpp"
#include "nmea/shown_texts.hpp"
#include "stream/stream_lexer.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace {

using namespace trelvane;
using trelvane::testing::Sentence;

// The handheld page's controls behind the window's memory of what they show:
// counts what reaches a control, and what reached one that already held it.
template <class Ch>
struct ShownControls final : nmea::ReadoutControls<Ch> {
  void SetControlText(int controlId, const Ch* text) override {
    if (shown.Shows(controlId, text)) return;
    ++set;
    for (auto& held : texts) {
      if (held.first == controlId) {
        if (held.second == text) ++setToHeld;
        held.second = text;
        shown.Set(controlId, text, true);
        return;
      }
    }
    texts.emplace_back(controlId, text);
    shown.Set(controlId, text, true);
  }
  nmea::ShownTexts<Ch> shown;
  std::vector<std::pair<int, std::basic_string<Ch>>> texts;
  int set = 0;
  int setToHeld = 0;
};

// One fix cycle of a multi-system receiver moving north, a tenth of a second
// after the last: RMC, GGA, a GSA per system and a GSV group per system.
// `snr` is the first GPS satellite's signal.
std::string Cycle(int tenth, int snr) {
  char time[16];
  char latitude[16];
  std::snprintf(time, sizeof time, "1234%02d.%02d", tenth / 10 % 60, tenth % 10 * 10);
  std::snprintf(latitude, sizeof latitude, "4717.%05d", 11437 + tenth);
  const std::string t(time);
  const std::string lat(latitude);
  return Sentence("GNRMC," + t + "," + "A," + lat + ",N,00833.91522,E,0.004,77.52,091202,,,A") +
         Sentence("GNGGA," + t + "," + lat + ",N,00833.91522,E,1,08,1.01,499.6,M,48.0,M,,") +
         Sentence("GNGSA,A,3,04,05,09,12,,,,,,,,,2.5,1.3,2.1,1") + Sentence("GNGSA,A,3,65,66,,,,,,,,,,,2.5,1.3,2.1,2") +
         Sentence("GPGSV,2,1,05,04,40,083," + std::to_string(snr) + ",05,17,308,41,09,07,344,39,12,22,228,45,1") +
         Sentence("GPGSV,2,2,05,25,10,150,30,1") + Sentence("GLGSV,1,1,02,65,30,100,35,66,50,200,38,1");
}

template <class Ch>
class PageWorkTest : public ::testing::Test {
 protected:
  using Build = monitor::MonitorBuild<Ch>;
  static constexpr bool kDesktop = std::is_same_v<typename Build::Intake, nmea::DesktopBuild>;
  using Readout = std::conditional_t<kDesktop, nmea::FixDisplayRecord, ShownControls<Ch>>;

  struct Sink {
    monitor::MonitorSession<Ch>& session;
    int pages = 0;
    void OnLine(const Ch* line, int length) { pages += (session.TakeLine(line, length, 0) & monitor::kPage) != 0; }
    void OnFrame(const unsigned char*, int) {}
    bool OnLineCut() { return true; }
  };
  // The pages asked for while `bytes` went in.
  int Feed(const std::string& bytes) {
    Sink sink{session};
    lexer.Feed(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()), sink);
    return sink.pages;
  }

  trelvane::testing::RecordingLogPane<Ch> log;
  Readout readout;
  nmea::SatelliteTable<Ch> satellites;
  monitor::DataAge age;
  monitor::MonitorSession<Ch> session{log, readout, satellites, age};
  stream::StreamLexer<Ch> lexer;
};

using CharTypes = ::testing::Types<char, char16_t>;
TYPED_TEST_SUITE(PageWorkTest, CharTypes);

TYPED_TEST(PageWorkTest, A10HzReceiverAsksOnlyForWhatChanged) {
  constexpr bool desktop = TestFixture::kDesktop;
  this->session.LinkOpened(0);
  EXPECT_GE(this->Feed(Cycle(0, 46)), 1) << "the first fix is drawn";
  int textsBefore = 0;
  if constexpr (!desktop) textsBefore = this->readout.set;

  // A second of fixes under the same sky: only the latitude moves, and the
  // time's second once. The desktop page draws the readout, so each fix is
  // one page; the handheld's readout is its controls, so its page (sky and
  // bars) is not asked at all, and of its texts only those that moved are set.
  int pages = 0;
  for (int tenth = 1; tenth <= 10; ++tenth) pages += this->Feed(Cycle(tenth, 46));
  EXPECT_EQ(pages, desktop ? 10 : 0);
  if constexpr (!desktop) {
    EXPECT_EQ(this->readout.set - textsBefore, 11) << "the latitude of each fix and the time's new second";
    EXPECT_EQ(this->readout.setToHeld, 0);
  }

  // The same fix again changes nothing; a satellite's signal changes the sky.
  EXPECT_EQ(this->Feed(Cycle(10, 46)), 0);
  EXPECT_EQ(this->Feed(Cycle(10, 44)), 1);
  EXPECT_EQ(this->Feed(Cycle(10, 44)), 0);

  // A page drawn anew by a reopened link is drawn again when the receiver's
  // next line brings back what it held before.
  EXPECT_NE(this->session.LinkOpened(100) & monitor::kPage, 0u);
  EXPECT_GE(this->Feed(Cycle(11, 44)), 1);
}

// A hidden page holds the newest text per control and puts each in once as
// it shows; a text too long to hold is set at once.
TEST(ShownTextsTest, AHiddenPageHoldsTheNewestTextPerControl) {
  nmea::ShownTexts<char> shown;
  shown.Set(1, "12:00:00", true);
  EXPECT_TRUE(shown.Hold(1, "12:00:01"));
  EXPECT_TRUE(shown.Hold(2, "N"));
  EXPECT_TRUE(shown.Hold(1, "12:00:02"));
  EXPECT_FALSE(shown.Hold(3, std::string(40, 'x').c_str()));
  std::vector<std::pair<int, std::string>> put;
  const auto collect = [&](int id, const char* text) {
    put.emplace_back(id, text);
    shown.Set(id, text, true);
  };
  shown.PutHeld(collect);
  EXPECT_EQ(put, (std::vector<std::pair<int, std::string>>{{1, "12:00:02"}, {2, "N"}}));
  EXPECT_TRUE(shown.Shows(1, "12:00:02"));
  put.clear();
  shown.PutHeld(collect);
  EXPECT_TRUE(put.empty());
}

}  // namespace
