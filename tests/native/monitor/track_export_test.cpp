// The track a recording exports: its cycles made from hand-made streams
// (dating, segments, what each point carries), and every bundled capture's
// GPX, KML and CSV held against real peers: the published GPX schema
// (xmllint) and another converter's reading of the same capture (gpsbabel).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "monitor/track_export.hpp"
#include "tests/native/monitor/string_out.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace trelvane::monitor {
namespace {

using testing::Sentence;

using testing::StringOut;

std::string Export(TrackFormat format, const std::string& capture, const char* name = "drive.nmea") {
  StringOut out;
  auto track = std::make_unique<TrackExport<StringOut>>(format, name, out);
  // Fed in small slices, as the monitor's timer feeds a large file.
  for (std::size_t at = 0; at < capture.size(); at += 7) {
    const std::size_t n = capture.size() - at < 7 ? capture.size() - at : 7;
    track->Feed(reinterpret_cast<const unsigned char*>(capture.data() + at), n);
  }
  EXPECT_TRUE(track->Finish());
  return out.text;
}

std::string Gga(const char* time, int quality, const char* lat = "4807.0380", const char* alt = "545.4") {
  return Sentence(std::string("GPGGA,") + time + "," + lat + ",N,01131.0000,E," + std::to_string(quality) +
                  ",08,0.9," + alt + ",M,46.9,M,,");
}
std::string Rmc(const char* time, const char* date, const char* status = "A") {
  return Sentence(std::string("GPRMC,") + time + "," + status + ",4807.0380,N,01131.0000,E,022.4,084.4," + date +
                  ",003.1,W");
}

// The CSV's rows without its header: the quickest view of every point.
std::vector<std::string> Rows(const std::string& capture) {
  std::istringstream lines(Export(TrackFormat::kCsv, capture));
  std::vector<std::string> rows;
  std::string row;
  std::getline(lines, row);
  EXPECT_EQ(row, "utc,lat,lon,alt_m,geoid_m,quality,fix,sats,hdop,vdop,pdop,speed_mps,course_deg,age_s,station\r");
  while (std::getline(lines, row)) rows.push_back(row);
  return rows;
}

std::string Field(const std::string& row, int index) {
  std::size_t start = 0;
  for (int i = 0; i < index; ++i) start = row.find(',', start) + 1;
  return row.substr(start, row.find_first_of(",\r", start) - start);
}

TEST(TrackCycles, DatesSegmentsAndFields) {
  struct Case {
    const char* what;
    std::string capture;
    std::vector<std::string> times;  // the utc field of each row
    int segments;                    // "<trkseg>" in the GPX
  };
  const Case cases[] = {
      {"a GGA before its RMC is dated by it, and one before midnight by the day before",
       Gga("235959", 1) + Gga("000000", 1) + Rmc("000000", "010127"),
       {"2026-12-31T23:59:59Z", "2027-01-01T00:00:00Z"}, 1},
      {"the receiver's fraction, as many digits as it sent",
       Rmc("100000.10", "091226") + Gga("100000.10", 1) + Gga("100000.2", 1) + Gga("100000.305", 1),
       {"2026-12-09T10:00:00.10Z", "2026-12-09T10:00:00.2Z", "2026-12-09T10:00:00.305Z"}, 1},
      {"a lost fix and a gap of more than 5 s each start a segment; 5 s does not",
       Rmc("100000", "091226") + Gga("100000", 1) + Gga("100001", 0) + Gga("100002", 1) + Gga("100007", 1) +
           Gga("100013", 1),
       {"2026-12-09T10:00:00Z", "2026-12-09T10:00:02Z", "2026-12-09T10:00:07Z", "2026-12-09T10:00:13Z"}, 3},
      {"midnight between two RMCs moves the day on",
       Rmc("235958", "091226") + Gga("235959", 1) + Gga("000000", 1),
       {"2026-12-09T23:59:58Z", "2026-12-09T23:59:59Z", "2026-12-10T00:00:00Z"}, 1},
      {"an RMC with status V and a GGA without a fix make no point", Rmc("100000", "091226", "V") + Gga("100000", 0),
       {}, 0},
      {"a bad checksum is no sentence", Rmc("100000", "091226") + "$GPGGA,100001,4807.0380,N,01131.0000,E,1*00\r\n",
       {"2026-12-09T10:00:00Z"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> times;
    for (const std::string& row : Rows(c.capture)) times.push_back(Field(row, 0));
    EXPECT_EQ(times, c.times);
    const std::string gpx = Export(TrackFormat::kGpx, c.capture);
    int segments = 0;
    for (std::size_t at = 0; (at = gpx.find("<trkseg>", at)) != std::string::npos; ++at) ++segments;
    EXPECT_EQ(segments, c.segments);
  }

  // Without any date the cycles are held as long as the hold lasts, then go
  // out undated, every one of them.
  std::string undated;
  for (int i = 0; i < kHeldCycles + 3; ++i) {
    char time[16];
    std::snprintf(time, sizeof time, "1000%02d", i);
    undated += Gga(time, 1);
  }
  const std::vector<std::string> rows = Rows(undated);
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kHeldCycles + 3));
  for (const std::string& row : rows) EXPECT_EQ(Field(row, 0), "");
}

TEST(TrackCycles, APointCarriesWhatTheCycleGave) {
  const std::string dgps =
      Rmc("100000.00", "091226") +
      Sentence("GNGGA,100000.00,4807.0380,S,01131.0000,W,2,12,0.54,83.1,M,-29.5,M,1.5,0042") +
      Sentence("GNGSA,A,3,13,16,21,,,,,,,,,,1.05,0.64,0.83,1") + Sentence("GNGSA,A,3,70,71,,,,,,,,,,,9.9,9.9,9.9,2");
  EXPECT_EQ(Rows(dgps), std::vector<std::string>{"2026-12-09T10:00:00.00Z,-48.117300000,-11.516666667,83.1,-29.5,2,"
                                                 "dgps,12,0.54,0.83,1.05,11.524,84.4,1.5,42\r"});
  // GSA's dimension where the quality is plain GPS; RMC alone gives the
  // position and motion, and the GGA's fields stay empty.
  const std::string plain = Rmc("100000", "091226") + Sentence("GPGSA,A,2,13,16,21,,,,,,,,,,1.5,1.2,0.9");
  EXPECT_EQ(Rows(plain), std::vector<std::string>{"2026-12-09T10:00:00Z,48.117300000,11.516666667,,,,2d,,1.2,0.9,"
                                                  "1.5,11.524,84.4,,\r"});

  const std::string gpx = Export(TrackFormat::kGpx, dgps, "a&b <drive>.nmea");
  EXPECT_NE(gpx.find("<metadata><time>2026-12-09T10:00:00.00Z</time></metadata>"), std::string::npos);
  EXPECT_NE(gpx.find("<name>a&amp;b &lt;drive&gt;.nmea</name>"), std::string::npos);
  EXPECT_NE(gpx.find("<trkpt lat=\"-48.117300000\" lon=\"-11.516666667\">\n        <ele>83.1</ele>\n        "
                     "<time>2026-12-09T10:00:00.00Z</time>\n        <geoidheight>-29.5</geoidheight>\n        "
                     "<fix>dgps</fix>\n        <sat>12</sat>\n        <hdop>0.54</hdop>\n        <vdop>0.83</vdop>\n"
                     "        <pdop>1.05</pdop>\n        <ageofdgpsdata>1.5</ageofdgpsdata>\n        "
                     "<dgpsid>42</dgpsid>\n      </trkpt>"),
            std::string::npos)
      << gpx;
  const std::string kml = Export(TrackFormat::kKml, dgps + Gga("100001", 1, "4807.0390", "84"));
  EXPECT_NE(kml.find("<name>Start</name><Point><altitudeMode>absolute</altitudeMode><coordinates>"
                     "-11.516666667,-48.117300000,83.1</coordinates>"),
            std::string::npos)
      << kml;
  EXPECT_NE(kml.find("<coordinates>\n-11.516666667,-48.117300000,83.1\n11.516666667,48.117316667,84\n"
                     "</coordinates></LineString>"),
            std::string::npos);
  EXPECT_NE(kml.find("<name>End</name><Point><altitudeMode>absolute</altitudeMode><coordinates>"
                     "11.516666667,48.117316667,84</coordinates>"),
            std::string::npos);
  // An empty recording still makes a well-formed file of each kind.
  EXPECT_EQ(Export(TrackFormat::kCsv, ""),
            "utc,lat,lon,alt_m,geoid_m,quality,fix,sats,hdop,vdop,pdop,speed_mps,course_deg,age_s,station\r\n");
  EXPECT_NE(Export(TrackFormat::kGpx, "").find("<trk>\n    <name>drive.nmea</name>\n  </trk>\n</gpx>\n"),
            std::string::npos);
}

// --- Against the peers ----------------------------------------------------

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, got);
    pclose(pipe);
  }
  return out;
}

struct LatLon {
  double lat, lon;
};
std::vector<LatLon> TrackPoints(const std::string& gpx) {
  std::vector<LatLon> points;
  for (std::size_t at = 0; (at = gpx.find("<trkpt lat=\"", at)) != std::string::npos; ++at) {
    LatLon p{};
    if (std::sscanf(gpx.c_str() + at, "<trkpt lat=\"%lf\" lon=\"%lf\"", &p.lat, &p.lon) == 2) points.push_back(p);
  }
  return points;
}

TEST(TrackPeers, EveryCaptureExportsToWhatThePeersRead) {
  const char* captures[] = {
      "bundg_zeus_9.log", "gp-320fw-2019-04-07-coldboot.log", "myguide-3100.log", "nd-1005.log",
      "nokia-ld-4w.log", "quectel.log", "multi/beidou-gb.log", "multi/bu353-glonass.log", "multi/neo-m8n.log",
      "multi/quectel-l76k-nmea.log", "multi/sirfstarv-nmea.log", "multi/ublox-neo-m9n-nmea.log",
      "multi/ublox-zed-f9p-nmea.log",
  };
  const std::string dir = TRELVANE_CAPTURE_DIR;
  const std::string schema = dir + "/../formats/gpx-1.1.xsd";
  const std::string tmp = ::testing::TempDir();
  for (const char* name : captures) {
    SCOPED_TRACE(name);
    const std::string capture = dir + "/" + name;
    const std::string bytes = ReadFile(capture);
    const std::string gpx = Export(TrackFormat::kGpx, bytes);
    const std::vector<LatLon> ours = TrackPoints(gpx);
    ASSERT_FALSE(ours.empty());
    const std::string ourGpx = tmp + "/track.gpx", ourKml = tmp + "/track.kml";
    std::ofstream(ourGpx, std::ios::binary) << gpx;
    std::ofstream(ourKml, std::ios::binary) << Export(TrackFormat::kKml, bytes);

    EXPECT_EQ(Output("xmllint --noout --schema '" + schema + "' '" + ourGpx + "' 2>&1"), ourGpx + " validates\n");

    // The other converter reads the capture itself. It leaves out cycles we
    // keep (those before the first date, and positions an RMC alone gave),
    // and may date a GGA by the RMC after it, so each of its points is
    // looked for among ours by position, cycle for cycle.
    const std::vector<LatLon> theirs =
        TrackPoints(Output("gpsbabel -i nmea -f '" + capture + "' -o gpx,gpxver=1.1 -F - 2>/dev/null"));
    EXPECT_FALSE(theirs.empty());
    std::size_t from = 0;
    for (const LatLon& p : theirs) {
      std::size_t at = from;
      while (at < ours.size() && !(std::fabs(ours[at].lat - p.lat) < 1e-7 && std::fabs(ours[at].lon - p.lon) < 1e-7)) ++at;
      EXPECT_LT(at, ours.size()) << "their point " << p.lat << "," << p.lon << " is not among ours";
      if (at < ours.size()) from = at;  // it may give one cycle twice, by its RMC and its GGA
    }

    // It reads our GPX and KML back with every point.
    const std::pair<const char*, std::string> ourFiles[] = {{"gpx", ourGpx}, {"kml", ourKml}};
    for (const auto& [format, path] : ourFiles) {
      EXPECT_EQ(TrackPoints(Output(std::string("gpsbabel -i ") + format + " -f '" + path + "' -o gpx -F - 2>/dev/null")).size(),
                ours.size())
          << format;
    }
    // One CSV row a point.
    const std::string csv = Export(TrackFormat::kCsv, bytes);
    std::size_t rows = 0;
    for (char c : csv) rows += c == '\n' ? 1 : 0;
    EXPECT_EQ(rows, ours.size() + 1);
  }
}

}  // namespace
}  // namespace trelvane::monitor
