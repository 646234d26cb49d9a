// The shared receiver's feed: where its fix cycles begin and end, what it
// leaves out, and its reports against gpsd's own reports of the bundled
// multi-system captures (data/captures/multi/*.log.chk). Each capture goes
// through the intake and the feed as the monitor takes it, and each TPV and
// SKY is held against the last one gpsd reported for the same fix cycle.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "monitor/share_feed.hpp"
#include "tests/native/monitor/json_members.hpp"
#include "tests/native/nmea/capture_file.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace {

using namespace trelvane;
using nlohmann::json;
using trelvane::testing::HasMembers;
using trelvane::testing::Sentence;

struct Shared final : monitor::ShareSink {
  void Sentence(const char* line, int length) override { order += line[length - 1] == '\n' ? 'N' : '?'; }
  void Report(const char* object, int length) override {
    reports.emplace_back(object, static_cast<std::size_t>(length));
    order += 'R';
  }
  // A line as the reader delivers it: CR LF ended (three captures were saved with bare LFs).
  void Take(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    line += "\r\n";
    if (m.intake.HandleSentence(line.c_str(), static_cast<int>(line.size())) == 1) {
      feed.Accepted(line.c_str(), static_cast<int>(line.size()), m.intake);
    }
  }
  trelvane::testing::Monitor<nmea::DesktopBuild> m;
  monitor::ShareFeed feed{*this};
  std::vector<std::string> reports;
  std::string order;  // N for each sentence passed on, R for each report, as they came
};

// Milliseconds of the day of "hhmmss.ss", and of "2019-04-12T00:39:56.000Z".
long long MsOfDay(const std::string& t) {
  return std::stoll(t.substr(0, 2)) * 3600000 + std::stoll(t.substr(2, 2)) * 60000 +
         std::llround(std::stod(t.substr(4)) * 1000);
}
long long MsOfIso(const std::string& iso) {
  return iso.size() < 23 ? -1 : MsOfDay(iso.substr(11, 2) + iso.substr(14, 2) + iso.substr(17, 6));
}

// The text of a top-level number as written ("-45.877567167"), "" for none.
std::string NumberText(const std::string& report, const std::string& key) {
  const std::size_t at = report.find("\"" + key + "\":");
  if (at == std::string::npos) return "";
  return report.substr(at + key.size() + 3, report.find_first_of(",}", at) - at - key.size() - 3);
}

// PRN, el, az, ss (-1 for none) and used per gnssid and svid; gpsd lists
// each signal of a satellite, merged here as the all-systems view merges them.
std::map<std::pair<int, int>, std::tuple<int, double, double, double, bool>> Satellites(const json& sky) {
  std::map<std::pair<int, int>, std::tuple<int, double, double, double, bool>> out;
  for (const json& s : sky["satellites"]) {
    const auto it = out.try_emplace({s["gnssid"].get<int>(), s["svid"].get<int>()}, s["PRN"].get<int>(),
                                    s.value("el", -1.0), s.value("az", -1.0), -1.0, false).first;
    std::get<3>(it->second) = std::max(std::get<3>(it->second), s.value("ss", -1.0));
    std::get<4>(it->second) = std::get<4>(it->second) || s["used"].get<bool>();
  }
  return out;
}

// Where gpsd says otherwise, and why: values (`keys`) of a capture's cycle
// (its time of day in ms; -1: every cycle). Each must still be needed.
struct Exception {
  const char* capture;
  long long cycle;
  const char* keys;
  const char* why;
};
const Exception kExceptions[] = {
    {"beidou-gb.log", MsOfDay("053232.438"), "speed track", "gpsd reported the cycle before its RMC, which comes last"},
    {"ublox-zed-f9p-nmea.log", MsOfDay("003956.00"), "epx epy epv",
     "gpsd reported its first cycle before the GST: its errors are its own, from the satellites' geometry"},
    {"ublox-neo-m9n-nmea.log", MsOfDay("223745.00"), "epv", "the same: gpsd's is from the VDOP"},
    {"ublox-zed-f9p-nmea.log", -1, "uSat", "gpsd counts signals in use; this receiver uses two of most satellites"},
    {"bu353-glonass.log", MsOfDay("081411.000"), "eph geoidSep", "the capture starts after the cycle's GGA: gpsd's "
                                                                 "report at its RMC has no DOPs, and its own geoid"},
};

// Error estimates are compared (`errors`) only where gpsd's come from what
// the feed reads: elsewhere gpsd works epx and epy out from the satellites'
// geometry, takes them from GBS or SiRF's PSRFEPE, or works epv out at the
// GGA, before the cycle's GSA (so its VDOP is the previous cycle's).
struct CaptureCase {
  const char* name;
  int tpvCycles, skyCycles;  // at least: every cycle gpsd reported, those with satellites
  const char* gpsdDate;      // the date gpsd puts in place of the receiver's, or nullptr
  std::vector<const char*> errors;
};

class ShareFeedAgainstGpsd : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(ShareFeedAgainstGpsd, ReportsWhatGpsdReportedForEachCycle) {
  const CaptureCase& c = GetParam();
  // gpsd's last TPV and SKY with satellites per cycle, by the RMC and GGA times it echoed.
  std::map<long long, std::string> tpv, sky;
  const std::string chk = trelvane::testing::ReadCapture(std::string("multi/") + c.name + ".chk");
  long long cycle = -1;
  for (std::size_t from = 0, end; (end = chk.find('\n', from)) != std::string::npos; from = end + 1) {
    const std::string line = chk.substr(from, end - from);
    if (line[0] == '$' && (line.compare(3, 4, "RMC,") == 0 || line.compare(3, 4, "GGA,") == 0)) {
      cycle = line[7] == ',' ? cycle : MsOfDay(line.substr(7, line.find(',', 7) - 7));
    } else if (line.rfind("{\"class\":\"TPV\"", 0) == 0 && cycle >= 0) {
      tpv[cycle] = line;
    } else if (line.rfind("{\"class\":\"SKY\"", 0) == 0 && line.find("\"satellites\"") != std::string::npos) {
      sky[cycle] = line;
    }
  }

  Shared shared;
  shared.feed.LinkOpened("COM3");
  long lines = 0;
  const std::string capture = trelvane::testing::ReadCapture(std::string("multi/") + c.name);
  for (std::size_t from = 0, end; (end = capture.find('\n', from)) != std::string::npos; from = end + 1) {
    if (capture[from] == '#') continue;
    shared.Take(capture.substr(from, end + 1 - from));
    ++lines;
  }
  shared.feed.LinkClosed();
  EXPECT_EQ(std::count(shared.order.begin(), shared.order.end(), 'N'), lines);  // every line passes on

  std::map<const Exception*, bool> used;
  const auto compare = [&](const std::string& ours, const std::string& theirs, const char* key) {
    if (NumberText(ours, key) == NumberText(theirs, key)) return;
    for (const Exception& e : kExceptions) {
      const std::string keys = std::string(" ") + e.keys + " ";
      if (c.name == std::string(e.capture) && (e.cycle == cycle || e.cycle < 0) &&
          keys.find(std::string(" ") + key + " ") != std::string::npos) {
        used[&e] = true;
        return;
      }
    }
    ADD_FAILURE() << "cycle " << cycle << " " << key << ": ours " << NumberText(ours, key) << ", gpsd's "
                  << NumberText(theirs, key);
  };
  int tpvCompared = 0, skyCompared = 0;
  for (const std::string& text : shared.reports) {
    const json ours = json::parse(text);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(ours["device"], "COM3");
    if (ours["class"] == "TPV") cycle = MsOfIso(ours.value("time", ""));
    const auto& gpsd = ours["class"] == "TPV" ? tpv : sky;
    if (gpsd.count(cycle) == 0) continue;
    SCOPED_TRACE(cycle);
    const std::string& text2 = gpsd.at(cycle);
    const json theirs = json::parse(text2);
    if (ours["class"] == "TPV") {
      ++tpvCompared;
      EXPECT_EQ(ours["mode"], theirs["mode"]);
      EXPECT_EQ(ours.value("status", 1), theirs.value("status", 1));
      // gpsd leaves the time out without a fix, and before a fix whose date it knows.
      const std::string time = ours["time"];
      if (theirs.contains("time")) {
        EXPECT_EQ(c.gpsdDate ? c.gpsdDate + time.substr(10) : time, theirs["time"]);
      }
      for (const char* key : {"lat", "lon", "alt", "altMSL", "altHAE", "geoidSep", "speed", "track"}) {
        compare(text, text2, key);
      }
      for (const char* key : c.errors) compare(text, text2, key);
    } else {
      ++skyCompared;
      for (const char* key : {"hdop", "pdop", "vdop", "uSat"}) compare(text, text2, key);
      EXPECT_EQ(Satellites(ours), Satellites(theirs));
    }
  }
  EXPECT_GE(tpvCompared, c.tpvCycles);
  EXPECT_GE(skyCompared, c.skyCycles);
  for (const Exception& e : kExceptions) {
    if (c.name == std::string(e.capture)) {
      EXPECT_TRUE(used[&e]) << "no longer needed: " << e.why;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    MultiCaptures, ShareFeedAgainstGpsd,
    ::testing::Values(CaptureCase{"ublox-neo-m9n-nmea.log", 61, 61, nullptr, {"eph", "epv"}},  // GBS's epx, epy
                      CaptureCase{"ublox-zed-f9p-nmea.log", 29, 29, nullptr, {"eph", "epx", "epy", "epv"}},
                      CaptureCase{"quectel-l76k-nmea.log", 150, 149, nullptr, {"eph", "epv"}},
                      // gpsd takes a 2015 date for one before a GPS week rollover and moves it on.
                      CaptureCase{"neo-m8n.log", 22, 22, "2034-11-01", {"eph", "epv"}},
                      CaptureCase{"sirfstarv-nmea.log", 59, 12, nullptr, {"eph"}},
                      CaptureCase{"bu353-glonass.log", 19, 3, nullptr, {"eph"}},
                      CaptureCase{"beidou-gb.log", 5, 5, nullptr, {}}));

const std::string kAt = "4552.65403,S,17030.00668,E,";  // ublox-zed-f9p-nmea.log's position
const std::string kNoTime = "$GPRMC,,V,,,,,,,,,,N*53";

// The view full: GPS, GLONASS and BeiDou 1-32 with the widest numbers, for
// a device name escaped in full.
std::vector<std::string> FullSky() {
  std::vector<std::string> steps = {"open " + std::string(monitor::kShareDeviceChars - 1, '\x01')};
  for (int n = 0; n < nmea::kGnssCapacity; n += 4) {
    std::string body = std::string(n < 32 ? "GP" : n < 64 ? "GL" : "GB") + "GSV,8," + std::to_string(n % 32 / 4 + 1);
    body += ",32";
    for (int k = n; k < n + 4; ++k) body += "," + std::to_string(k % 32 + 1) + ",-90,359,99";
    steps.push_back(Sentence(body));
  }
  steps.push_back(Sentence("GNGGA,003956.00," + kAt + "1,12,9999999.99,14.2,M,1.8,M,,"));
  steps.push_back(Sentence("GNGSA,A,3,,,,,,,,,,,,,9999999.99,9999999.99,9999999.99"));
  steps.push_back("close");
  return steps;
}

// A link's life: "open NAME", "close", "sought" (a seek in a file), or a sentence. `order`: N for each
// sentence passed on, R for each report; `reports`: members of each (HasMembers).
const struct {
  const char* what;
  std::vector<std::string> steps;
  std::string order;
  std::vector<const char*> reports;
} kFeedCases[] = {
    {"a cycle is reported when the next time comes, before that sentence, and at the close",
     {"open COM3", "$GNRMC,003956.00,A,4552.65403,S,17030.00668,E,0.025,,120419,,,A,V*07",
      "$GNGGA,003956.00,4552.65403,S,17030.00668,E,1,12,0.64,14.2,M,1.8,M,,*56",
      "$GNGSA,A,3,13,16,21,15,10,29,27,20,,,,,1.05,0.64,0.83,1*03",
      "$GNRMC,003957.00,A,4552.65403,S,17030.00673,E,0.061,,120419,,,A,V*0C", "close"},
     "NNNRRNRR",
     {R"({"class":"TPV","mode":3,"time":"2019-04-12T00:39:56.000Z","!status":0})",
      R"({"class":"SKY","hdop":0.64,"pdop":1.05,"vdop":0.83,"uSat":12,"!satellites":0,"!nSat":0})",
      R"({"class":"TPV","mode":2,"time":"2019-04-12T00:39:57.000Z","!alt":0,"!eph":0})", R"({"!hdop":0})"}},
    {"without times an RMC after an RMC starts a cycle; a new link forgets it; a second close reports nothing",
     {"open COM3", kNoTime, kNoTime, "open \\\\.\\COM\"10", kNoTime, "close", "close"}, "NRRNNRR",
     {R"({"mode":1,"!time":0,"!lat":0})", "{}", R"({"device":"\\\\.\\COM\"10"})"}},
    {"the last date serves until midnight; a leap second",
     {"open COM3", Sentence("GNRMC,235958.50,A," + kAt + "0.025,,311216,,,A,V"),
      Sentence("GNGGA,235959.50," + kAt + "1,12,0.64,14.2,M,1.8,M,,"),
      Sentence("GNRMC,235960.25,A," + kAt + "0.025,,311216,,,A,V"),
      Sentence("GNGGA,000000.50," + kAt + "0,00,,,M,,M,,"), "close"},
     "NRRNRRNRRNRR",
     {R"({"time":"2016-12-31T23:59:58.500Z"})", "{}", R"({"time":"2016-12-31T23:59:59.500Z"})", "{}",
      R"({"time":"2016-12-31T23:59:60.250Z"})", "{}", R"({"!time":0,"mode":1})"}},
    {"a seek drops the old place's cycle and date: the first report is all of the new place",
     {"open play.nmea", Sentence("GNRMC,235958.00,A," + kAt + "0.025,,311216,,,A,V"),
      Sentence("GNGGA,235958.00," + kAt + "1,12,0.64,14.2,M,1.8,M,,"), "sought",
      Sentence("GNGGA,120000.00," + kAt + "4,12,0.50,14.2,M,1.8,M,,"),
      Sentence("GNGGA,120001.00," + kAt + "1,12,0.64,14.2,M,1.8,M,,"), "close"},
     "NNNRRNRR",
     {R"({"status":3,"!time":0})", "{}", R"({"!status":0,"!time":0})", "{}"}},
    {"no GSA: GGA's quality gives mode and status, a differential fix its errors; numbers too large left out",
     {"open COM3", Sentence("GNGGA,003956.00," + kAt + "6,12,0.64,,M,1.8,M,,"),
      Sentence("GNGGA,003957.00," + kAt + "4,12,0.50,14.2,M,1.8,M,,"),
      Sentence("GNGGA,003958.00," + kAt + "1,12,99999999999999999999,99999999999999999999,M,1.8,M,,"), "close"},
     "NRRNRRNRR",
     {R"({"mode":2,"status":5,"eph":12.160,"!alt":0})", R"({"uSat":12,"hdop":0.64})",
      R"({"mode":3,"status":3,"eph":2.375,"alt":14.2,"altHAE":16.0})", "{}",
      R"({"mode":3,"!alt":0,"!altHAE":0,"!eph":0,"geoidSep":1.8})", R"({"!hdop":0})"}},
    {"the longest SKY fits", FullSky(), std::string(26, 'N') + "RR",
     {"{}", R"({"nSat":96,"vdop":9999999.99})"}},
};

TEST(ShareFeed, ReportsEachCycleOnceAtItsEnd) {
  for (const auto& c : kFeedCases) {
    SCOPED_TRACE(c.what);
    Shared shared;
    for (const std::string& step : c.steps) {
      if (step.compare(0, 5, "open ") == 0) {
        shared.feed.LinkOpened(step.c_str() + 5);
      } else if (step == "close") {
        shared.feed.LinkClosed();
      } else if (step == "sought") {
        shared.feed.Sought();
      } else {
        shared.Take(step);
      }
    }
    EXPECT_EQ(shared.order, c.order);
    for (std::size_t i = 0; i < c.reports.size() && i < shared.reports.size(); ++i) {
      EXPECT_TRUE(HasMembers(json::parse(shared.reports[i]), json::parse(c.reports[i]))) << shared.reports[i];
    }
  }
}

}  // namespace
