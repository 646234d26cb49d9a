// A day of receiver history with 64 satellites in view every second (four
// systems' GSV groups of sixteen), dated 2026-12-09 from midnight, plus
// `extra` seconds: for the history's test and the charts' benchmark.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "monitor/history.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace trelvane::testing {

inline void FillDay(monitor::History& history, int extra = 0) {
  monitor::HistoryBuilder<char> builder(history);
  std::vector<std::string> gsv;
  for (const char* talker : {"GP", "GL", "GA", "GB"}) {
    for (int message = 1; message <= 4; ++message) {
      std::string body = std::string(talker) + "GSV,4," + std::to_string(message) + ",16";
      for (int k = 0; k < 4; ++k) {
        const int number = (std::string(talker) == "GL" ? 65 : 1) + (message - 1) * 4 + k;
        body += "," + std::to_string(number) + ",45,120," + std::to_string(20 + k + message);
      }
      gsv.push_back(Sentence(body));
    }
  }
  const std::string gsa = Sentence("GNGSA,A,3,01,02,03,04,05,06,07,08,,,,,1.5,0.9,1.2");
  for (int s = 0; s < monitor::kHistorySeconds + extra; ++s) {
    char rmc[96], gga[128];
    std::snprintf(rmc, sizeof rmc, "GNRMC,%02d%02d%02d,A,4807.0380,N,01131.0000,E,0.0,0.0,%02d1226,,", s / 3600 % 24,
                  s / 60 % 60, s % 60, 9 + s / 86400);
    std::snprintf(gga, sizeof gga, "GNGGA,%02d%02d%02d,4807.0380,N,01131.0000,E,%d,08,0.9,%d.0,M,46.9,M,,",
                  s / 3600 % 24, s / 60 % 60, s % 60, s % 600 < 60 ? 5 : 4, 500 + s % 100);
    for (const std::string& line : {Sentence(rmc), Sentence(gga), gsa}) {
      builder.Line(line.c_str(), static_cast<int>(line.size()));
    }
    for (const std::string& g : gsv) builder.Line(g.c_str(), static_cast<int>(g.size()));
  }
  builder.Finish();
}

}  // namespace trelvane::testing
