// The shared receiver's feed: the JSON text it writes, where its fix cycles
// begin and end, what it leaves out, and its reports against gpsd's own reports of the bundled
// multi-system captures (data/captures/multi/*.log.chk): each capture goes
// through the sentence intake and the feed as the monitor takes it, and each
// TPV and SKY the feed reports is held against the last one gpsd reported
// for the same fix cycle. gpsd lists a satellite once per signal; those are
// merged here as the all-systems view merges them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "monitor/json_text.hpp"
#include "monitor/share_feed.hpp"
#include "tests/native/monitor/json_members.hpp"
#include "tests/native/nmea/capture_file.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace {

using namespace trelvane;
using nlohmann::json;
using trelvane::testing::HasMembers;
using trelvane::testing::Sentence;

class SilentLog final : public nmea::LogPane<char> {
 public:
  int LineCount() override { return 0; }
  void SetText(const char*) override {}
  void ReplaceSelection(const char*) override {}
};

struct RecordingSink final : monitor::ShareSink {
  void Sentence(const char* line, int length) override {
    sentences.emplace_back(line, static_cast<std::size_t>(length));
    order += 'N';
  }
  void Report(const char* object, int length) override {
    reports.emplace_back(object, static_cast<std::size_t>(length));
    order += 'R';
  }
  std::vector<std::string> sentences, reports;
  std::string order;  // N for a sentence, R for a report, as they came
};

// The capture's sentences, each ending in CR LF as on the wire (three
// captures were saved with bare LFs).
std::vector<std::string> CaptureLines(const std::string& name) {
  const std::string bytes = trelvane::testing::ReadCapture(name);
  std::vector<std::string> lines;
  for (std::size_t from = 0, end; (end = bytes.find('\n', from)) != std::string::npos; from = end + 1) {
    std::string line = bytes.substr(from, end - from);
    if (line.empty() || line[0] == '#') continue;
    if (line.back() != '\r') line += '\r';
    lines.push_back(line + '\n');
  }
  return lines;
}

// A monitor's intake with the feed behind it.
struct Shared {
  SilentLog log;
  nmea::FixDisplayRecord readout;
  nmea::SatelliteTable<char> table;
  nmea::SentenceIntake<nmea::DesktopBuild> intake{log, readout, table, nmea::RepaintCallback{}};
  RecordingSink sink;
  monitor::ShareFeed feed{sink};

  void Take(const std::string& line) {
    if (intake.HandleSentence(line.c_str(), static_cast<int>(line.size())) == 1) {
      feed.Accepted(line.c_str(), static_cast<int>(line.size()), intake);
    }
  }
};

// Milliseconds of the day of "hhmmss.ss" as sentences send it, and of the
// time in "2019-04-12T00:39:56.000Z"; -1 for none.
long long MsOfDay(const std::string& hhmmss) {
  if (hhmmss.size() < 6) return -1;
  return std::stoll(hhmmss.substr(0, 2)) * 3600000 + std::stoll(hhmmss.substr(2, 2)) * 60000 +
         std::llround(std::stod(hhmmss.substr(4)) * 1000);
}
long long MsOfIso(const std::string& iso) {
  return iso.size() < 23 ? -1 : MsOfDay(iso.substr(11, 2) + iso.substr(14, 2) + iso.substr(17, 6));
}

// gpsd's reports per fix cycle, by its time of day: the last TPV, and the
// last SKY with satellites, while the sentences gpsd echoed were in that
// cycle (from an RMC or GGA with that time to one with another).
struct GpsdCycles {
  std::map<long long, std::string> tpv, sky;  // the reports' text
};

GpsdCycles ReadGpsd(const std::string& name) {
  GpsdCycles cycles;
  const std::string bytes = trelvane::testing::ReadCapture(name + ".chk");
  long long cycle = -1;
  for (std::size_t from = 0, end; (end = bytes.find('\n', from)) != std::string::npos; from = end + 1) {
    const std::string line = bytes.substr(from, end - from);
    const std::string type = line.size() > 7 ? line.substr(3, 4) : "";
    if (line[0] == '$' && (type == "RMC," || type == "GGA,")) {
      const long long time = MsOfDay(line.substr(7, line.find(',', 7) - 7));
      if (time >= 0) cycle = time;
    } else if (line[0] == '{') {
      const json report = json::parse(line);
      if (cycle < 0) continue;
      if (report["class"] == "TPV") cycles.tpv[cycle] = line;
      if (report["class"] == "SKY" && report.contains("satellites")) cycles.sky[cycle] = line;
    }
  }
  return cycles;
}

// A satellite as both list it, keyed by gnssid and svid.
struct Satellite {
  int prn;
  double el, az, ss;  // NaN: not given
  bool used;
};
using Sky = std::map<std::pair<int, int>, Satellite>;

double Member(const json& object, const char* key) {
  return object.contains(key) ? object[key].get<double>() : std::nan("");
}

Sky SatellitesOf(const json& sky) {
  Sky out;
  for (const json& s : sky["satellites"]) {
    const std::pair<int, int> key{s["gnssid"].get<int>(), s["svid"].get<int>()};
    Satellite next{s["PRN"].get<int>(), Member(s, "el"), Member(s, "az"), Member(s, "ss"), s["used"].get<bool>()};
    const auto found = out.find(key);
    if (found == out.end()) {
      out[key] = next;
      continue;
    }
    Satellite& merged = found->second;  // another signal of the same satellite
    EXPECT_EQ(merged.prn, next.prn);
    merged.used = merged.used || next.used;
    if (std::isnan(merged.ss) || next.ss > merged.ss) merged.ss = next.ss;
  }
  return out;
}

bool Same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

// The text of a top-level number in a report, as written ("-45.877567167"),
// or "" when the report has none.
std::string NumberText(const std::string& report, const std::string& key) {
  const std::size_t at = report.find("\"" + key + "\":");
  if (at == std::string::npos) return "";
  const std::size_t from = at + key.size() + 3;
  return report.substr(from, report.find_first_of(",}", from) - from);
}

// Where gpsd's report says otherwise, and why: a value of one cycle (by its
// time of day in ms, or every cycle) of one capture. Each must still be needed.
struct Exception {
  const char* capture;
  long long cycle;
  const char* key;
  const char* why;
};
const long long kEveryCycle = -1;
const Exception kExceptions[] = {
    {"beidou-gb.log", MsOfDay("053232.438"), "speed",
     "gpsd closed the cycle before its RMC ($GNRMC,053232.438 comes last), so its report has no motion"},
    {"beidou-gb.log", MsOfDay("053232.438"), "track", "the same"},
    {"ublox-zed-f9p-nmea.log", MsOfDay("003956.00"), "epx",
     "gpsd closed its first cycle before the cycle's GST came: its errors are its own, from the satellites' geometry"},
    {"ublox-zed-f9p-nmea.log", MsOfDay("003956.00"), "epy", "the same"},
    {"ublox-zed-f9p-nmea.log", MsOfDay("003956.00"), "epv", "the same"},
    {"ublox-neo-m9n-nmea.log", MsOfDay("223745.00"), "epv",
     "gpsd closed its first cycle before the cycle's GST came: its epv is the VDOP's"},
    {"ublox-zed-f9p-nmea.log", kEveryCycle, "uSat",
     "gpsd counts the signals in use: this receiver reports GPS, Galileo and GLONASS satellites on two signals"},
    {"bu353-glonass.log", MsOfDay("081411.000"), "eph",
     "the capture starts after the cycle's GGA; gpsd's report at the cycle's RMC starts afresh, without the DOPs"},
    {"bu353-glonass.log", MsOfDay("081411.000"), "geoidSep",
     "no GGA gave the cycle a geoid separation: gpsd's is its own, from its model of the geoid"},
};

// The error estimates are held against gpsd's only where gpsd's come from
// what the feed reads (`errors`, the keys compared). Elsewhere gpsd works
// them out from the satellites' geometry (epx, epy without a GST), takes
// them from sentences the feed does not read (GBS, SiRF's PSRFEPE), or works
// epv out at the cycle's GGA, before the cycle's GSA gives the VDOP (so its
// value is the previous cycle's).
struct CaptureCase {
  const char* name;
  int tpvCycles;         // cycles to compare at least: every cycle gpsd reported
  int skyCycles;         // those of them with satellites
  const char* gpsdDate;  // the date gpsd puts in place of the receiver's, or nullptr
  std::vector<const char*> errors;
};

class ShareFeedAgainstGpsd : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(ShareFeedAgainstGpsd, ReportsWhatGpsdReportedForEachCycle) {
  const CaptureCase& c = GetParam();
  const std::vector<std::string> lines = CaptureLines(std::string("multi/") + c.name);
  ASSERT_FALSE(lines.empty());
  const GpsdCycles gpsd = ReadGpsd(std::string("multi/") + c.name);

  Shared shared;
  shared.feed.LinkOpened("COM3");
  for (const std::string& line : lines) shared.Take(line);
  shared.feed.LinkClosed();
  EXPECT_EQ(shared.sink.sentences, lines);  // every line passes as it came

  std::set<const Exception*> used;
  const auto excused = [&](long long cycle, const char* key) {
    for (const Exception& e : kExceptions) {
      if (std::string(e.capture) == c.name && (e.cycle == cycle || e.cycle < 0) && std::string(e.key) == key) {
        used.insert(&e);
        return true;
      }
    }
    return false;
  };
  // A number as both write it: the same value in the same digits, or none in both.
  const auto compare = [&](const std::string& ours, const std::string& theirs, long long cycle, const char* key) {
    const std::string a = NumberText(ours, key), b = NumberText(theirs, key);
    if (a != b && !excused(cycle, key)) {
      ADD_FAILURE() << c.name << " cycle " << cycle << " " << key << ": ours " << a << ", gpsd's " << b;
    }
  };

  int tpvCompared = 0, skyCompared = 0;
  long long cycle = -1;  // the time of the last TPV, which the SKY after it shares
  for (const std::string& text : shared.sink.reports) {
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    const json report = json::parse(text);
    EXPECT_EQ(report["device"], "COM3");
    if (report["class"] == "TPV") {
      cycle = MsOfIso(report.value("time", ""));
      const auto found = gpsd.tpv.find(cycle);
      if (cycle < 0 || found == gpsd.tpv.end()) continue;
      ++tpvCompared;
      SCOPED_TRACE(cycle);
      const json theirs = json::parse(found->second);
      EXPECT_EQ(report["mode"], theirs["mode"]);
      EXPECT_EQ(report.value("status", 1), theirs.value("status", 1));
      // gpsd leaves the time out of a TPV without a fix, and before a fix whose date it knows.
      if (theirs.contains("time")) {
        const std::string ours = report["time"];
        EXPECT_EQ(c.gpsdDate != nullptr ? std::string(c.gpsdDate) + ours.substr(10) : ours, theirs["time"]);
      }
      for (const char* key : {"lat", "lon", "alt", "altMSL", "altHAE", "geoidSep", "speed", "track"}) {
        compare(text, found->second, cycle, key);
      }
      for (const char* key : c.errors) compare(text, found->second, cycle, key);
    } else {
      ASSERT_EQ(report["class"], "SKY");
      const auto theirSky = gpsd.sky.find(cycle);
      if (cycle < 0 || theirSky == gpsd.sky.end() || !report.contains("satellites")) continue;
      ++skyCompared;
      SCOPED_TRACE(cycle);
      for (const char* key : {"hdop", "pdop", "vdop", "uSat"}) compare(text, theirSky->second, cycle, key);
      const Sky ours = SatellitesOf(report), theirs = SatellitesOf(json::parse(theirSky->second));
      std::set<std::pair<int, int>> keys;
      for (const auto& s : ours) keys.insert(s.first);
      for (const auto& s : theirs) keys.insert(s.first);
      for (const auto& key : keys) {
        const std::string name = std::to_string(key.first) + "/" + std::to_string(key.second);
        if (!ours.count(key) || !theirs.count(key)) {
          ADD_FAILURE() << "satellite " << name << " only in " << (ours.count(key) ? "ours" : "gpsd's");
          continue;
        }
        const Satellite &a = ours.at(key), &b = theirs.at(key);
        EXPECT_EQ(a.prn, b.prn) << name;
        EXPECT_EQ(a.used, b.used) << name;
        EXPECT_TRUE(Same(a.el, b.el) && Same(a.az, b.az) && Same(a.ss, b.ss))
            << name << " el/az/ss ours " << a.el << "/" << a.az << "/" << a.ss << ", gpsd's " << b.el << "/" << b.az
            << "/" << b.ss;
      }
    }
  }
  EXPECT_GE(tpvCompared, c.tpvCycles);
  EXPECT_GE(skyCompared, c.skyCycles);
  for (const Exception& e : kExceptions) {
    if (std::string(e.capture) == c.name && used.count(&e) == 0) ADD_FAILURE() << "no longer needed: " << e.why;
  }
}

std::string CaptureTestName(const ::testing::TestParamInfo<CaptureCase>& param) {
  std::string name = param.param.name;
  for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(MultiCaptures, ShareFeedAgainstGpsd,
                         ::testing::Values(
                             // GBS after GST: gpsd's epx and epy are GBS's.
                             CaptureCase{"ublox-neo-m9n-nmea.log", 61, 61, nullptr, {"eph", "epv"}},
                             CaptureCase{"ublox-zed-f9p-nmea.log", 29, 29, nullptr, {"eph", "epx", "epy", "epv"}},
                             CaptureCase{"quectel-l76k-nmea.log", 150, 149, nullptr, {"eph", "epv"}},
                             // gpsd takes the 2015 date for one before its GPS week rolled over, and moves it on.
                             CaptureCase{"neo-m8n.log", 22, 22, "2034-11-01", {"eph", "epv"}},
                             CaptureCase{"sirfstarv-nmea.log", 59, 12, nullptr, {"eph"}},
                             CaptureCase{"bu353-glonass.log", 19, 3, nullptr, {"eph"}},
                             CaptureCase{"beidou-gb.log", 5, 5, nullptr, {}}),
                         CaptureTestName);

// A link's life as steps: "open NAME", "close", or a sentence (CR LF added).
// `order`: N for each sentence passed on, R for each report, as they came.
// `reports`: the members each report has, in order (HasMembers).
struct FeedCase {
  const char* what;
  std::vector<std::string> steps;
  const char* order;
  std::vector<const char*> reports;
};

const char kZedRmc1[] = "$GNRMC,003956.00,A,4552.65403,S,17030.00668,E,0.025,,120419,,,A,V*07";  // ublox-zed-f9p
const char kZedGga1[] = "$GNGGA,003956.00,4552.65403,S,17030.00668,E,1,12,0.64,14.2,M,1.8,M,,*56";
const char kZedGsa1[] = "$GNGSA,A,3,13,16,21,15,10,29,27,20,,,,,1.05,0.64,0.83,1*03";
const char kZedRmc2[] = "$GNRMC,003957.00,A,4552.65403,S,17030.00673,E,0.061,,120419,,,A,V*0C";
const char kNoTime[] = "$GPRMC,,V,,,,,,,,,,N*53";
const std::string kAt = "4552.65403,S,17030.00668,E,";

const FeedCase kFeedCases[] = {
    {"a cycle is reported when the next time comes, before that sentence, and at the close",
     {"open COM3", kZedRmc1, kZedGga1, kZedGsa1, kZedRmc2, "close"},
     "NNNRRNRR",
     {R"({"class":"TPV","device":"COM3","mode":3,"time":"2019-04-12T00:39:56.000Z","lat":-45.877567167,)"
      R"("!status":null})",
      R"({"class":"SKY","hdop":0.64,"pdop":1.05,"vdop":0.83,"uSat":12,"!satellites":null,"!nSat":null})",
      R"({"class":"TPV","mode":2,"time":"2019-04-12T00:39:57.000Z","lon":170.500112167,"!alt":null,"!eph":null})",
      R"({"class":"SKY","!hdop":null,"!uSat":null})"}},
    {"a receiver without a time: an RMC after an RMC starts a cycle", {"open COM3", kNoTime, kNoTime, "close"},
     "NRRNRR",
     {R"({"class":"TPV","mode":1,"!time":null,"!lat":null})", R"({"class":"SKY"})", R"({"class":"TPV","mode":1})"}},
    {"a new link forgets the cycle, and a second close reports nothing",
     {"open COM3", kZedRmc1, "open \\\\.\\COM10", kZedRmc2, "close", "close"}, "NNRR",
     {R"({"class":"TPV","device":"\\\\.\\COM10","time":"2019-04-12T00:39:57.000Z"})"}},
    {"the last date serves a cycle without an RMC, until midnight",
     {"open COM3", Sentence("GNRMC,235958.50,A," + kAt + "0.025,,120419,,,A,V"),
      Sentence("GNGGA,235959.50," + kAt + "1,12,0.64,14.2,M,1.8,M,,"),
      Sentence("GNGGA,000000.50," + kAt + "1,12,0.64,14.2,M,1.8,M,,"), "close"},
     "NRRNRRNRR",
     {R"({"time":"2019-04-12T23:59:58.500Z"})", R"({"class":"SKY"})", R"({"time":"2019-04-12T23:59:59.500Z"})",
      R"({"class":"SKY"})", R"({"class":"TPV","!time":null,"mode":3})"}},
    {"a leap second", {"open COM3", Sentence("GNRMC,235960.25,A," + kAt + "0.025,,311216,,,A,V"), "close"}, "NRR",
     {R"({"time":"2016-12-31T23:59:60.250Z"})"}},
    {"no GSA: GGA's quality gives the mode and the status, the DGPS errors",
     {"open COM3", Sentence("GNGGA,003956.00," + kAt + "6,12,0.64,,M,1.8,M,,"),
      Sentence("GNGGA,003957.00," + kAt + "4,12,0.50,14.2,M,1.8,M,,"),
      Sentence("GNGGA,003958.00," + kAt + "0,00,,,M,,M,,"), "close"},
     "NRRNRRNRR",
     {R"({"mode":2,"status":5,"eph":12.160,"!alt":null,"!time":null})", R"({"class":"SKY","uSat":12,"hdop":0.64})",
      R"({"mode":3,"status":3,"eph":2.375,"alt":14.2,"altHAE":16.0})", R"({"class":"SKY"})",
      R"({"mode":1,"!status":null,"!lat":null,"!eph":null})"}},
    {"a number too large for its format is left out",
     {"open COM3", Sentence("GNGGA,003956.00," + kAt + "1,12,99999999999999999999,99999999999999999999,M,1.8,M,,"),
      "close"},
     "NRR",
     {R"({"mode":3,"!alt":null,"!altMSL":null,"!altHAE":null,"!eph":null,"geoidSep":1.8})", R"({"!hdop":null})"}},
    {"a device name is escaped", {"open quote\"back\\slash\ttab", kNoTime, "close"}, "NRR",
     {R"({"device":"quote\"back\\slash\ttab"})", R"({"device":"quote\"back\\slash\ttab"})"}},
};

TEST(ShareFeed, ReportsEachCycleOnceAtItsEnd) {
  for (const FeedCase& c : kFeedCases) {
    SCOPED_TRACE(c.what);
    Shared shared;
    for (const std::string& step : c.steps) {
      if (step.compare(0, 5, "open ") == 0) {
        shared.feed.LinkOpened(step.c_str() + 5);
      } else if (step == "close") {
        shared.feed.LinkClosed();
      } else {
        shared.Take(step.back() == '\n' ? step : step + "\r\n");
      }
    }
    EXPECT_EQ(shared.sink.order, c.order);
    ASSERT_GE(shared.sink.reports.size(), c.reports.size());
    for (std::size_t i = 0; i < c.reports.size(); ++i) {
      EXPECT_TRUE(HasMembers(json::parse(shared.sink.reports[i]), json::parse(c.reports[i])))
          << shared.sink.reports[i];
    }
  }
}

// The longest SKY: the view full, every satellite with the widest numbers,
// and the longest device name, every character of it escaped.
TEST(ShareFeed, TheLongestSkyFitsItsBuffer) {
  Shared shared;
  shared.feed.LinkOpened(std::string(monitor::kShareDeviceChars - 1, '\x01').c_str());
  int number = 0;
  for (const char* talker : {"GP", "GL", "GB"}) {  // GPS 1-32, GLONASS 1-32, BeiDou 1-32: 96 satellites
    for (int message = 1; message <= 8; ++message) {
      std::string body = std::string(talker) + "GSV,8," + std::to_string(message) + ",32";
      for (int k = 0; k < 4; ++k) body += "," + std::to_string(number++ % 32 + 1) + ",-90,359,99";
      shared.Take(Sentence(body));
    }
  }
  ASSERT_EQ(shared.intake.gnss().Count(), nmea::kGnssCapacity);
  shared.Take(Sentence("GNGGA,003956.00," + kAt + "1,12,9999999.99,14.2,M,1.8,M,,"));
  shared.Take(Sentence("GNGSA,A,3,,,,,,,,,,,,,9999999.99,9999999.99,9999999.99"));
  shared.feed.LinkClosed();
  ASSERT_EQ(shared.sink.reports.size(), 2u);
  const std::string& sky = shared.sink.reports[1];
  EXPECT_LT(sky.size(), static_cast<std::size_t>(monitor::kShareObjectChars));
  const json report = json::parse(sky);
  EXPECT_EQ(report["satellites"].size(), static_cast<std::size_t>(nmea::kGnssCapacity));
  EXPECT_EQ(report["nSat"], nmea::kGnssCapacity);
  EXPECT_EQ(report["satellites"][95],
            json::parse(R"({"PRN":432,"el":-90.0,"az":359.0,"ss":99.0,"used":false,"gnssid":3,"svid":32})"));
}

// Numbers as printf writes them, whatever the locale; strings escaped.
TEST(JsonText, WritesNumbersAndStringsWithinItsBuffer) {
  const struct {
    double value;
    int decimals;
    const char* text;  // nullptr: does not fit
    bool printf;       // printf writes the same
  } numbers[] = {
      {-45.877567166666667, 9, "-45.877567167", true}, {14.2, 4, "14.2000", true}, {0.61 * 4.75, 3, "2.897", true},
      {0.125, 2, "0.12", true}, {0.375, 2, "0.38", true}, {2.5, 0, "2", true}, {6, 1, "6.0", true},
      {-0.0001, 3, "0.000", false}, {1e9, 9, nullptr, false}, {std::nan(""), 1, nullptr, false}};
  for (const auto& n : numbers) {
    char buffer[32];
    monitor::JsonText text(buffer, sizeof buffer);
    text.Fixed(n.value, n.decimals);
    const int length = text.Finish();
    EXPECT_EQ(length == 0 ? std::string("(none)") : std::string(buffer), n.text != nullptr ? n.text : "(none)");
    if (n.printf) {
      char printed[32];
      std::snprintf(printed, sizeof printed, "%.*f", n.decimals, n.value);
      EXPECT_STREQ(printed, n.text);
    }
  }

  // a \" b \\ c \u000a \u00e9 and the quotes: 21 characters and the terminator.
  char buffer[22];
  monitor::JsonText fits(buffer, sizeof buffer);
  fits.String("a\"b\\c\n\xe9", 64);
  EXPECT_EQ(fits.Finish(), 21);
  EXPECT_EQ(json::parse(buffer), "a\"b\\c\n\xc3\xa9");
  monitor::JsonText spills(buffer, sizeof buffer);
  spills.String("a\"b\\c\n\xe9!", 64);
  EXPECT_EQ(spills.Finish(), 0);
}

}  // namespace
