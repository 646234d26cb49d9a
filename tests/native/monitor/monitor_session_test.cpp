// The monitor session through a whole receiver life, for both text forms:
// what each step answers and what the windows would then show.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/history_feed.hpp"
#include "monitor/monitor_session.hpp"
#include "receiver/link_settings.hpp"
#include "stream/stream_lexer.hpp"
#include "tests/native/nmea/capture_file.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace {

using namespace trelvane;
using monitor::MonitorSession;
using trelvane::testing::Sentence;
using trelvane::testing::Utf8;

// The link's writes, as text ("$PCAS03,,,,,,1*33") or as frame bytes.
template <class Ch>
struct RecordingLink final : receiver::SentenceWriter<Ch> {
  int WriteSentence(const Ch* text) override {
    writes.push_back(Utf8(text));
    return 1;
  }
  int WriteBytes(const unsigned char*, int length) override {
    writes.push_back("frame of " + std::to_string(length));
    return 1;
  }
  std::vector<std::string> writes;
};

// A UBX ACK-ACK of CFG-SBAS.
const std::string kAck("\xB5\x62\x05\x01\x02\x00\x06\x16\x24\x4D", 10);
const std::string kRmc = Sentence("GNRMC,083559.00,A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A");

enum class Do { kOpen, kBytes, kTick, kIdentify, kEndIdentify, kCommand, kClose };

struct Step {
  const char* what;
  Do action;
  std::uint32_t at;   // ms (the kinds of step that take a time)
  std::string bytes;  // kBytes: what the receiver sends; kCommand: the message number
  unsigned change;    // what the session answers (the lexer's lines and frames together)
  const char* state;  // the link's state as the Setup page shows it
  const char* name;   // the receiver's name
  receiver::Family family;
  int ageShown;        // the page's "No data for N s", -1 for none
  bool grey;           // the page draws its data grey
  std::string logEnd;  // what the log ends with, or empty
  unsigned desktopOnly = 0;  // the handheld's readout is its controls: an RMC needs no repaint there
};

using monitor::kAccepted;
using monitor::kAccuracy;
using monitor::kAge;
using monitor::kFamily;
using monitor::kHealth;
using monitor::kListen;
using monitor::kLogNow;
using monitor::kName;
using monitor::kPage;

const std::string kUbloxStart = Sentence("GNTXT,01,01,02,u-blox AG - www.u-blox.com") +
                                Sentence("GNTXT,01,01,02,FWVER=SPG 4.04") +
                                Sentence("GNTXT,01,01,02,PROTVER=32.01") + Sentence("GNTXT,01,01,02,MOD=NEO-M9N");
const std::string kMediaTekStart = "$PMTK011,MTKGPS*08\r\n$PMTK010,001*2E\r\n";
const std::string kCasicStart = "$GPTXT,01,01,02,MA=CASIC*27\r\n" + Sentence("GPTXT,01,01,02,MO=GB");
const std::string kMediaTekAnswer = Sentence("PMTK705,AXN_5.1.7_3333_18021200,0005,PA1010D,1.0");
const char kMediaTekName[] = "MediaTek PA1010D, FW AXN_5.1.7_3333_18021200";
const char kNoAnswer[] = "No answer: SiRF or unknown";
const std::string kNoise = "\x7F\xFE\x12 garbled at the wrong rate\r\n";
using F = receiver::Family;

const Step kLife[] = {
    {"open: waiting", Do::kOpen, 0, "", kPage | kHealth | kAccuracy, "Waiting for data", "", F::kUnknown, -1, false, ""},
    {"a u-blox 9 starts: receiving at once, before the second's sample", Do::kBytes, 200, kUbloxStart,
     kAccepted | kName | kFamily | kHealth, "Receiving", "u-blox 9/10 NEO-M9N, FW SPG 4.04", F::kUblox9, -1, false,
     ""},
    {"the second's sample", Do::kTick, 1000, "", kHealth, "Receiving", "u-blox 9/10 NEO-M9N, FW SPG 4.04",
     F::kUblox9, -1, false, ""},
    {"a MediaTek's start-up lines", Do::kBytes, 1100, kMediaTekStart, kAccepted | kName | kFamily, "Receiving",
     "MediaTek", F::kMediaTek, -1, false, "$PMTK010,001*2E\r\n"},
    {"a CASIC's", Do::kBytes, 1200, kCasicStart, kAccepted | kName | kFamily, "Receiving", "CASIC GB", F::kCasic, -1,
     false, ""},
    {"an acknowledgement glued to an RMC: logged, the RMC whole, and its fix the first", Do::kBytes, 1300, kAck + kRmc,
     kAccepted | kPage | kLogNow, "Receiving", "CASIC GB", F::kCasic, -1, false,
     "UBX ACK CFG-SBAS\r\n" + kRmc + "First fix 1.3 s after the link opened\r\n", kPage},
    {"a command the family has", Do::kCommand, 0, std::to_string(receiver::kMsgVtgOn), kLogNow, "Receiving", "CASIC GB",
     F::kCasic, -1, false, "$PCAS03\r\n...sent\r\n"},
    {"Identify: the window times the listening", Do::kIdentify, 0, "", kLogNow | kListen, "Receiving", "CASIC GB", F::kCasic, -1, false, "Identify...\r\n"},
    {"a MediaTek answers", Do::kBytes, 1500, kMediaTekAnswer, kAccepted | kName | kFamily, "Receiving", kMediaTekName,
     F::kMediaTek, -1, false, ""},
    {"Identify ends: the name goes into the log", Do::kEndIdentify, 0, "", kLogNow, "Receiving", kMediaTekName,
     F::kMediaTek, -1, false, std::string("Receiver: ") + kMediaTekName + "\r\n"},
    {"Identify, unanswered", Do::kIdentify, 0, "", kLogNow | kListen, "Receiving", kMediaTekName, F::kMediaTek, -1, false,
     "Identify...\r\n"},
    {"nothing answered", Do::kEndIdentify, 0, "", kLogNow | kName, "Receiving", kNoAnswer, F::kMediaTek, -1, false,
     std::string("Receiver: ") + kNoAnswer + "\r\n"},
    {"the next second: the RMC's fix is counted", Do::kTick, 2000, "", kHealth | kAccuracy, "Receiving", kNoAnswer, F::kMediaTek, -1, false, ""},
    {"three seconds of silence: grey, counted", Do::kTick, 5100, "", kHealth | kAge, "Silent for 3 s", kNoAnswer,
     F::kMediaTek, 3, true, ""},
    {"bytes without sentences", Do::kBytes, 5200, kNoise, 0, "Silent for 3 s", kNoAnswer, F::kMediaTek, 3, true, ""},
    {"the sample sees them", Do::kTick, 6100, "", kHealth | kAge, "Bytes but no sentences: wrong rate?", kNoAnswer,
     F::kMediaTek, 4, true, ""},
    {"close: grey without a count", Do::kClose, 6200, "", kHealth | kAge, "Closed", kNoAnswer, F::kMediaTek, -1, true,
     ""},
    {"reopen: the receiver is forgotten", Do::kOpen, 20000, "", kPage | kHealth | kAge | kName | kFamily | kAccuracy,
     "Waiting for data", "", F::kUnknown, -1, false, ""},
};

template <class Ch>
class MonitorSessionTest : public ::testing::Test {
 protected:
  using Readout = typename trelvane::testing::ReadoutOf<typename monitor::MonitorBuild<Ch>::Intake>::type;

  // The stream lexer's sink: lines and frames into the session.
  struct Sink {
    MonitorSession<Ch>& session;
    std::uint32_t now;
    unsigned change = 0;
    void OnLine(const Ch* line, int length) { change |= session.TakeLine(line, length, now); }
    void OnFrame(const unsigned char* frame, int length) { change |= session.TakeFrame(frame, length, now); }
    bool OnLineCut() { return true; }
  };

  unsigned Run(const Step& step) {
    switch (step.action) {
      case Do::kOpen:
        return session.LinkOpened(step.at);
      case Do::kBytes: {
        Sink sink{session, step.at};
        lexer.Feed(reinterpret_cast<const unsigned char*>(step.bytes.data()), static_cast<int>(step.bytes.size()), sink);
        bytes += static_cast<unsigned long>(step.bytes.size());
        return sink.change;
      }
      case Do::kTick:
        return session.Tick(step.at, link::LinkCounts{bytes, 0});
      case Do::kIdentify:
        return session.StartIdentify(writer);
      case Do::kEndIdentify:
        return session.EndIdentify();
      case Do::kCommand: {
        int result = 0;
        const unsigned change = session.Command(static_cast<unsigned>(std::stoul(step.bytes)), writer, result, step.at);
        EXPECT_EQ(result, 1);
        return change;
      }
      case Do::kClose:
        return session.LinkClosed();
    }
    return 0;
  }

  std::string State() const {
    Ch text[64];
    session.HealthState(text, 64);
    return Utf8(text);
  }

  trelvane::testing::RecordingLogPane<Ch> log;
  Readout readout;
  nmea::SatelliteTable<Ch> satellites;
  monitor::DataAge age;
  MonitorSession<Ch> session{log, readout, satellites, age};
  stream::StreamLexer<Ch> lexer;
  RecordingLink<Ch> writer;
  unsigned long bytes = 0;
};

using CharTypes = ::testing::Types<char, char16_t>;
TYPED_TEST_SUITE(MonitorSessionTest, CharTypes);

TYPED_TEST(MonitorSessionTest, AReceiversLifeFromOpenToReopen) {
  constexpr bool kHandheld = sizeof(TypeParam) != 1;
  for (const Step& step : kLife) {
    SCOPED_TRACE(step.what);
    EXPECT_EQ(this->Run(step), step.change & ~(kHandheld ? step.desktopOnly : 0u));
    EXPECT_EQ(this->State(), step.state);
    EXPECT_EQ(std::string(this->session.ReceiverName()), step.name);
    EXPECT_EQ(this->session.InForce(), step.family);
    EXPECT_EQ(this->age.ShownSeconds(), step.ageShown);
    EXPECT_EQ(this->age.Grey(), step.grey);
    const std::string shown = Utf8(this->log.text.c_str());
    const std::string& end = step.logEnd;
    if (!end.empty()) {
      EXPECT_EQ(shown.substr(shown.size() < end.size() ? 0 : shown.size() - end.size()), end);
    }
    // The handheld has no room for the name on its pages: a new one goes
    // into the log as it comes, where the desktop shows it in a control.
    if (step.action == Do::kBytes && (step.change & kName) != 0) {
      EXPECT_EQ(shown.find(std::string("Receiver: ") + step.name + "\r\n") != std::string::npos, kHandheld);
    }
  }
  // The RMC behind the acknowledgement reached the readout; Identify wrote
  // every family's query, and the command its sentence.
  char utc[] = "08:35:59";
  if constexpr (sizeof(TypeParam) == 1) {
    EXPECT_STREQ(this->readout.utc, utc);
  } else {
    EXPECT_EQ(this->readout.Text(nmea::ReadoutField::kUtc), utc);
  }
  EXPECT_EQ(this->writer.writes[0], "$PCAS03,,,,,,1*33");
  EXPECT_EQ(this->writer.writes.size(), 11u);  // the command, then 5 queries twice
  // A family chosen by hand is in force on the reopened link; it has no
  // SBAS switch, so that command sends nothing.
  EXPECT_EQ(this->session.Choose(static_cast<int>(F::kCasic)), kFamily);
  int result = 1;
  this->session.Command(receiver::kMsgWaasOn, this->writer, result, 0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(this->writer.writes.size(), 11u);
}

// The counts line, once a second, from the reader's totals and the intake's
// results; a line that fails its checksum is counted, not accepted.
// A live link's charts history, from when it opened, is what a reading of the
// same bytes gives; a link opened again starts it afresh.
TYPED_TEST(MonitorSessionTest, ALiveLinksHistoryIsWhatAReadingOfItsBytesGives) {
  monitor::History live;
  monitor::HistoryBuilder<TypeParam> builder(live);
  this->session.KeepHistory(&builder);
  const std::string capture = trelvane::testing::ReadCapture("multi/ublox-zed-f9p-nmea.log");
  this->session.LinkOpened(1000);
  typename TestFixture::Sink sink{this->session, 1000};
  this->lexer.Feed(reinterpret_cast<const unsigned char*>(capture.data()), static_cast<int>(capture.size()), sink);
  builder.Finish();
  monitor::History read;
  monitor::HistoryFeed feed(read);
  feed.Feed(reinterpret_cast<const unsigned char*>(capture.data()), capture.size());
  feed.Finish();
  ASSERT_EQ(live.Count(), 29);
  ASSERT_EQ(read.Count(), live.Count());
  for (int i = 0; i < live.Count(); ++i) {
    EXPECT_EQ(live.At(i).second, read.At(i).second);
    EXPECT_EQ(live.At(i).count, read.At(i).count);
    EXPECT_EQ(live.At(i).used, read.At(i).used);
  }
  this->session.LinkOpened(2000);
  EXPECT_EQ(live.Count(), 0);
}

TYPED_TEST(MonitorSessionTest, CountsFollowTheReaderAndTheIntake) {
  this->session.LinkOpened(0);
  const std::string good = Sentence("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1");
  std::string bad = good;
  bad[8] = '2';
  for (const std::string& line : {good, good, bad}) {
    const auto wide = trelvane::testing::Widen<TypeParam>(line);
    const unsigned change = this->session.TakeLine(wide.c_str(), static_cast<int>(wide.size()), 500);
    EXPECT_EQ((change & kAccepted) != 0, line == good);
  }
  this->session.Tick(1000, link::LinkCounts{480, 2});
  TypeParam counts[96];
  this->session.HealthCounts(counts, 96);
  EXPECT_EQ(Utf8(counts), "2 sentences/s, 480 bytes/s, 1 bad checksums, 2 lines cut");
}

// A u-blox 6/7/8 at 9600 giving ten fixes a second: the data goes stale
// after three fix periods; a port-rate change is followed to the new rate,
// a receiver that stayed behind is hunted in the scan's order and found,
// and one heard nowhere is reported; the rate items grey while a change is
// under way and by the port's bandwidth.
TYPED_TEST(MonitorSessionTest, FollowsAPortRateChangeOrHuntsForTheReceiver) {
  auto& live = this->session;
  auto feed = [this](std::uint32_t at, const std::string& sent) {
    return this->Run(Step{"", Do::kBytes, at, sent, 0, "", "", F::kUnknown, -1, false, ""});
  };
  auto rmc = [](const char* time) {
    return Sentence(std::string("GPRMC,") + time + ",A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A");
  };
  auto logEnds = [this](const std::string& end) {
    const std::string shown = Utf8(this->log.text.c_str());
    return shown.size() >= end.size() && shown.compare(shown.size() - end.size(), end.size(), end) == 0;
  };
  constexpr unsigned kTo115200 = receiver::kCmdPortRateFirst + 7;
  constexpr unsigned k10Hz = receiver::kCmdFixRateFirst + 3;
  live.LinkOpened(0, 9600);
  EXPECT_EQ(live.Choose(static_cast<int>(F::kUblox8)), monitor::kFamily);
  EXPECT_FALSE(live.RateItemEnabled(kTo115200, false));  // no link
  // At a fix a second, 700 bytes a second: 2 Hz would need 1,400 of the
  // 768 a 9600 port is given.
  feed(100, rmc("115959.00"));
  feed(1100, rmc("120000.00"));
  // A GGA stamped a fraction after its epoch's RMC, as some receivers do,
  // says nothing of the pace: the receiver stays at 1 Hz.
  EXPECT_EQ(feed(1150, Sentence("GPGGA,120000.20,4717.11437,N,00833.91522,E,1,08,1.0,499.6,M,48.0,M,,")) &
                monitor::kPace,
            0u);
  live.Tick(1000, link::LinkCounts{700, 0});
  live.Tick(2000, link::LinkCounts{1400, 0});
  EXPECT_FALSE(live.RateItemEnabled(receiver::kCmdFixRateFirst + 1, true));
  EXPECT_TRUE(live.RateItemEnabled(receiver::kCmdFixRateFirst, true));
  EXPECT_TRUE(live.RateItemEnabled(kTo115200, true));
  EXPECT_EQ(live.AgeTickMs(), 0u);  // the one-second tick sees a 3 s silence
  EXPECT_NE(feed(2100, rmc("120000.10")) & monitor::kPace, 0u);
  EXPECT_EQ(live.FixHz(), 10u);
  EXPECT_EQ(live.AgeTickMs(), 100u);
  EXPECT_TRUE(live.RateItemEnabled(k10Hz, true));  // no faster than what runs now
  EXPECT_EQ(live.AgeTick(2350), monitor::kNothing);
  // 320 ms: three periods. Stale, the data counts whole seconds: the fast
  // tick gives way to the one-second one until a sentence comes again.
  EXPECT_EQ(live.AgeTick(2420), monitor::kAge | monitor::kPace);
  EXPECT_TRUE(this->age.Grey());
  EXPECT_EQ(live.AgeTickMs(), 0u);
  EXPECT_NE(feed(3500, rmc("120001.50")) & monitor::kPace, 0u);
  feed(3600, rmc("120001.60"));
  EXPECT_EQ(live.AgeTickMs(), 100u);
  EXPECT_FALSE(this->age.Grey());

  // A u-blox 8's port setting as it answers the poll: an RTK rover's, with
  // RTCM 3 in, at 9600.
  const std::string kRoverSetting("\x01\x00\x00\x00\xD0\x08\x00\x00\x80\x25\x00\x00\x23\x00\x03\x00\x00\x00\x00\x00",
                                  20);
  auto answer = [&kRoverSetting]() {
    std::string frame = std::string("\xB5\x62\x06\x00\x14\x00", 6) + kRoverSetting;
    unsigned char a = 0, b = 0;
    for (std::size_t i = 2; i < frame.size(); ++i) b = static_cast<unsigned char>(b + (a = static_cast<unsigned char>(a + frame[i])));
    return frame + static_cast<char>(a) + static_cast<char>(b);
  };

  struct Case {
    const char* what;
    unsigned long to;
    bool answered;               // the receiver answers the poll of its port setting
    std::uint32_t heardAfterMs;  // after the port moved; 0: the receiver is heard nowhere
    unsigned long foundAt;
    const char* logEnd;
  } cases[] = {
      {"no answer to the poll: nothing is written", 115200, false, 0, 9600,
       "Receiver did not answer: port rate unchanged\r\n"},
      {"the receiver moves", 115200, true, 300, 115200, "Receiver now at 115200\r\n"},
      {"the receiver stays at 115200: the hunt finds it there after 9600 and 38400", 460800, true, 2000 + 2 * 1200 + 300,
       115200, "Receiver found at 115200\r\n"},
      {"heard nowhere", 57600, true, 0, 57600, "Receiver not found: scan for it\r\n"},
  };
  std::uint32_t now = 3000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int result = 0;
    const unsigned command = receiver::kCmdPortRateFirst + static_cast<unsigned>(receiver::BaudIndexOf(c.to));
    const std::size_t written = this->writer.writes.size();
    EXPECT_EQ(live.RateItem(command, true, this->writer, now, result), monitor::kLogNow | monitor::kRate);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(this->writer.writes.size(), written + 1);
    EXPECT_EQ(this->writer.writes.back(), "frame of 9");  // the poll
    EXPECT_FALSE(live.RateItemEnabled(command, true));  // a change is under way
    const unsigned long from = live.PortBaud();
    if (!c.answered) {
      EXPECT_EQ(live.RateWakeMs(now), monitor::RateFollow::kPollMs);
      EXPECT_EQ(live.FollowRate(now += 1000), monitor::kRate | monitor::kLogNow);
      EXPECT_EQ(this->writer.writes.size(), written + 1);
      EXPECT_EQ(live.PortBaud(), c.foundAt);
      EXPECT_TRUE(logEnds(c.logEnd));
      now += 1000;
      continue;
    }
    EXPECT_EQ(feed(now += 40, answer()) & monitor::kRate, monitor::kRate);
    ASSERT_EQ(this->writer.writes.size(), written + 2);
    EXPECT_EQ(this->writer.writes.back(), "frame of 28");  // the setting, the rate changed
    // A 28-byte frame leaves the port in 10 bits a byte, then 50 ms more.
    EXPECT_EQ(live.RateWakeMs(now), (28 * 10 * 1000 + from - 1) / from + 50);
    now += live.RateWakeMs(now);
    EXPECT_EQ(live.FollowRate(now), monitor::kRate);
    EXPECT_EQ(live.PortBaud(), c.to);
    const std::uint32_t moved = now;
    // Lines read before the move may still arrive: they do not count.
    EXPECT_EQ(feed(now + 20, rmc("120001.00")) & monitor::kRate, 0u);
    const std::uint32_t heardAt = moved + c.heardAfterMs;
    unsigned change = 0;
    while (change == 0 && live.RateWakeMs(now) != monitor::RateFollow::kIdle) {
      const std::uint32_t due = now + live.RateWakeMs(now);
      if (c.heardAfterMs != 0 && heardAt < due) {
        change = feed(now = heardAt, rmc("120002.00")) & (monitor::kRate | monitor::kLogNow);
        break;
      }
      change = live.FollowRate(now = due) & (monitor::kRate | monitor::kLogNow);
      if (change != (monitor::kRate | monitor::kLogNow)) change = 0;  // moved on, nothing to say yet
    }
    EXPECT_EQ(change, monitor::kRate | monitor::kLogNow);
    EXPECT_EQ(live.PortBaud(), c.foundAt);
    EXPECT_TRUE(logEnds(c.logEnd));
    now += 1000;
  }
}

}  // namespace
