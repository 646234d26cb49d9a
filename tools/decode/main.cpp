// trelvane-decode: replays a receiver capture through the monitors' own
// stream lexer and monitor session and prints, for every line handed to it, the result and the
// readout and satellite table after it (and the all-systems view, when the
// line changed it), as one JSON object per line.
//
//   trelvane-decode [--build desktop|pocket] [--gnss | --accuracy | --health] [FILE]
//   trelvane-decode --gpx | --kml | --csv | --series | --cn0 [FILE]
//
// FILE absent or "-" reads standard input. --gnss adds, on each line read as
// a GGA or GST, the values it gave ("gga" or "gst"). --accuracy prints no
// objects but, after the last line, the accuracy page's nine texts, one a
// line, as the page would show them; --health, the health page's sentence
// table, timed by the receiver's own times in the file. --gpx, --kml and
// --csv write the file's track in that format, as the monitor's Export Track
// writes it. --series prints the charts' history a row a second, --cn0 a row
// a satellite a second.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "monitor/history_csv.hpp"
#include "monitor/history_feed.hpp"
#include "monitor/track_export.hpp"
#include "nmea/build_policy.hpp"
#include "tools/decode/binary_stdio.hpp"
#include "tools/decode/json_file.hpp"
#include "tools/decode/replay.hpp"

namespace {

constexpr int kBadUsage = 2;

int Usage(const char* problem) {
  std::fprintf(stderr, "trelvane-decode: %s (usage: trelvane-decode [--build desktop|pocket] [--gnss | --accuracy | --health | --gpx | --kml | --csv | --series | --cn0] [FILE])\n",
               problem);
  return kBadUsage;
}

template <class Build>
bool Run(std::FILE* in, std::FILE* out, bool fixes, bool accuracy, bool health) {
  trelvane::decode::JsonFile writer(out);
  trelvane::decode::Replay<Build> replay(writer.Text(), fixes, !accuracy && !health);
  static unsigned char chunk[1 << 16];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) replay.Feed(chunk, got);
  replay.Finish();
  if (accuracy) replay.WriteAccuracy();
  if (health) replay.WriteHealth();
  const bool readOk = std::ferror(in) == 0;
  return writer.Flush() && readOk;
}

struct FileOut {
  std::FILE* file;
  bool Write(const char* bytes, std::size_t count) { return std::fwrite(bytes, 1, count, file) == count; }
};

// The track of the whole input, named after the file (without its folders).
bool Export(std::FILE* in, std::FILE* out, trelvane::monitor::TrackFormat format, const char* path) {
  const char* name = path != nullptr && std::strcmp(path, "-") != 0 ? path : "stdin";
  for (const char* p = name; *p != 0; ++p) {
    if (*p == '/' || *p == '\\') name = p + 1;
  }
  FileOut sink{out};
  static trelvane::monitor::TrackExport<FileOut> track(format, name, sink);
  static unsigned char chunk[1 << 16];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) track.Feed(chunk, got);
  const bool written = track.Finish();
  return written && std::fflush(out) == 0 && std::ferror(in) == 0;
}

// The whole input's history, as the charts have it.
bool Chart(std::FILE* in, std::FILE* out, bool perSatellite) {
  static trelvane::monitor::History history;
  static trelvane::monitor::HistoryFeed feed(history);
  static unsigned char chunk[1 << 16];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) feed.Feed(chunk, got);
  feed.Finish();
  FileOut sink{out};
  const bool written = perSatellite ? trelvane::monitor::WriteCn0(history, sink) : trelvane::monitor::WriteSeries(history, sink);
  return written && std::fflush(out) == 0 && std::ferror(in) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool pocket = false;
  bool fixes = false;
  bool accuracy = false;
  bool health = false;
  int track = -1;  // a TrackFormat
  int chart = -1;  // 0: --series, 1: --cn0
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--build") == 0) {
      if (++i == argc) return Usage("--build needs desktop or pocket");
      if (std::strcmp(argv[i], "desktop") == 0) {
        pocket = false;
      } else if (std::strcmp(argv[i], "pocket") == 0) {
        pocket = true;
      } else {
        return Usage("--build needs desktop or pocket");
      }
    } else if (std::strcmp(arg, "--gnss") == 0) {
      fixes = true;
    } else if (std::strcmp(arg, "--accuracy") == 0) {
      accuracy = true;
    } else if (std::strcmp(arg, "--health") == 0) {
      health = true;
    } else if (std::strcmp(arg, "--gpx") == 0) {
      track = static_cast<int>(trelvane::monitor::TrackFormat::kGpx);
    } else if (std::strcmp(arg, "--kml") == 0) {
      track = static_cast<int>(trelvane::monitor::TrackFormat::kKml);
    } else if (std::strcmp(arg, "--csv") == 0) {
      track = static_cast<int>(trelvane::monitor::TrackFormat::kCsv);
    } else if (std::strcmp(arg, "--series") == 0 || std::strcmp(arg, "--cn0") == 0) {
      chart = std::strcmp(arg, "--cn0") == 0 ? 1 : 0;
    } else if (arg[0] == '-' && arg[1] != 0) {
      return Usage("unknown option");
    } else if (path != nullptr) {
      return Usage("more than one input file");
    } else {
      path = arg;
    }
  }

  // The C runtime must not translate line ends: every sentence ends in CR LF.
  trelvane::decode::UseBinaryStdio();
  std::FILE* in = stdin;
  if (path != nullptr && std::strcmp(path, "-") != 0) {
    in = std::fopen(path, "rb");
    if (in == nullptr) {
      std::fprintf(stderr, "trelvane-decode: cannot open %s: %s\n", path, std::strerror(errno));
      return kBadUsage;
    }
  }
  const bool ok = chart >= 0   ? Chart(in, stdout, chart == 1)
                 : track >= 0 ? Export(in, stdout, static_cast<trelvane::monitor::TrackFormat>(track), path)
                 : pocket ? Run<trelvane::nmea::PocketBuild>(in, stdout, fixes, accuracy, health)
                         : Run<trelvane::nmea::DesktopBuild>(in, stdout, fixes, accuracy, health);
  if (in != stdin) std::fclose(in);
  if (!ok) {
    std::fprintf(stderr, "trelvane-decode: read or write failed\n");
    return kBadUsage;
  }
  return 0;
}
