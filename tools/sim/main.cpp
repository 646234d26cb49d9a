// trelvane-sim: a simulated receiver. Plays a receiver capture onto a serial
// device one fix cycle a second at the wire's byte rate, and prints each line
// the monitor writes back, prefixed "<< ". At the end it prints how many
// valid sentences it sent, so that a test can compare them with what a
// monitor handled.
//
//   trelvane-sim [--baud N] [--once] [--fast] [--noise RATE] [--seed N] DEVICE [CAPTURE]
//   trelvane-sim --receiver FAMILY [--baud N] [--fast] DEVICE
//
// DEVICE is a tty path (such as one end of a socat pty pair) or COMn on
// Windows. CAPTURE defaults to the bundled bundg_zeus_9.log. --noise mixes
// hostile items into the stream (noise.hpp), RATE being their share of the
// items sent (0 to below 1); --seed picks which (the same seed, the same noise).
//
// --receiver speaks one family of today's receivers (receiver_persona.hpp):
// sirf (the default) plays the capture as above; mtk, ublox8, ublox9, casic
// and airoha send that family's start-up lines and a made-up fix cycle a
// second, answer its identify query, acknowledge and act on its commands.
// Each line the monitor writes is printed "<< " as above, each binary frame
// "<< " and its bytes in hexadecimal, and each command recognised "== " and
// what it asks ("== VTG off").
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "stream/stream_lexer.hpp"
#include "tools/sim/capture_player.hpp"
#include "tools/sim/receiver_persona.hpp"
#include "tools/sim/serial_device.hpp"

namespace {

using trelvane::sim::Action;

constexpr int kFailed = 1;
constexpr int kBadUsage = 2;
constexpr int kInterrupted = 130;
constexpr unsigned long kDefaultBaud = 4800;
constexpr unsigned long kMaxBaud = 100000000;
// The longest single wait, so that a stop request is seen soon on systems
// where the signal does not cut the wait short.
constexpr std::int64_t kMaxWaitMs = 100;

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void RequestStop(int signal) { stopSignal = signal; }

int Usage(const char* problem) {
  std::fprintf(stderr,
               "trelvane-sim: %s (usage: trelvane-sim [--receiver FAMILY] [--baud N] [--once] [--fast] "
               "[--noise RATE] [--seed N] DEVICE [CAPTURE])\n",
               problem);
  return kBadUsage;
}

// A rate is digits only: "4800x", "-1" and "" are refused, as is 0.
bool ParseBaud(const char* text, unsigned long& baud) {
  if (*text == 0) return false;
  unsigned long value = 0;
  for (const char* c = text; *c != 0; ++c) {
    if (*c < '0' || *c > '9') return false;
    value = value * 10 + static_cast<unsigned long>(*c - '0');
    if (value > kMaxBaud) return false;
  }
  baud = value;
  return value > 0;
}

// A noise rate is a decimal below 1 ("0.2", ".25", "0"): digits and at most
// one point, nothing else.
bool ParseRate(const char* text, double& rate) {
  int digits = 0;
  int points = 0;
  for (const char* c = text; *c != 0; ++c) {
    if (*c == '.') {
      ++points;
    } else if (*c >= '0' && *c <= '9') {
      ++digits;
    } else {
      return false;
    }
  }
  if (digits == 0 || points > 1) return false;
  rate = std::strtod(text, nullptr);
  return rate >= 0 && rate < 1;
}

// A seed is digits only, at most 2^64 - 1.
bool ParseSeed(const char* text, std::uint64_t& seed) {
  if (*text == 0) return false;
  std::uint64_t value = 0;
  for (const char* c = text; *c != 0; ++c) {
    if (*c < '0' || *c > '9') return false;
    const auto digit = static_cast<std::uint64_t>(*c - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  seed = value;
  return true;
}

std::int64_t NowMicros() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::microseconds>(now).count();
}

int WaitMsUntil(std::int64_t untilMicros, std::int64_t nowMicros) {
  std::int64_t ms = (untilMicros - nowMicros + 999) / 1000;
  if (ms < 0) ms = 0;
  if (ms > kMaxWaitMs) ms = kMaxWaitMs;
  return static_cast<int>(ms);
}

void PrintReply(std::string_view line) {
  std::fputs("<< ", stdout);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void PrintSent(const trelvane::sim::Player& player, std::size_t noisePerPlay) {
  const trelvane::sim::SentenceCount sent = player.SentencesSent();
  std::printf("trelvane-sim: sent %llu valid sentences (%llu whole on a line of their own); noise items per play: %zu\n",
              static_cast<unsigned long long>(sent.valid), static_cast<unsigned long long>(sent.whole), noisePerPlay);
  std::fflush(stdout);
}

// Writes what the device takes at once (Write's count), or reports on stderr
// that the device failed and returns -1.
long WriteToDevice(trelvane::sim::SerialDevice& port, const char* device, const char* data, std::size_t size) {
  const long written = port.Write(data, size);
  if (written < 0) std::fprintf(stderr, "trelvane-sim: writing to %s failed\n", device);
  return written;
}

// Reads what the monitor sent within `waitMs` (Read's count), or reports on
// stderr that the device failed and returns -1.
long ReadFromDevice(trelvane::sim::SerialDevice& port, const char* device, char* in, std::size_t capacity, int waitMs) {
  const long got = port.Read(in, capacity, waitMs);
  if (got < 0) std::fprintf(stderr, "trelvane-sim: reading from %s failed (the other end is gone?)\n", device);
  return got;
}

// What the monitor writes, as the persona hears it: printed, then answered.
struct PersonaEars {
  trelvane::sim::Persona& persona;
  std::string& reply;
  PersonaEars(trelvane::sim::Persona& p, std::string& r) : persona(p), reply(r) {}

  static void PrintJob(const std::string& job) {
    if (job.empty()) return;
    std::printf("== %s\n", job.c_str());
    std::fflush(stdout);
  }
  void OnLine(const char* line, int length) {
    std::string_view text(line, static_cast<std::size_t>(length));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    if (text.empty()) return;
    PrintReply(text);
    PrintJob(persona.OnLine(text, reply));
  }
  bool OnLineCut() { return true; }
  void OnFrame(const unsigned char* frame, int length) {
    std::string hex;
    char two[4];
    for (int n = 0; n < length; ++n) {
      std::snprintf(two, sizeof two, n == 0 ? "%02X" : " %02X", frame[n]);
      hex += two;
    }
    PrintReply(hex);
    PrintJob(persona.OnFrame(std::string_view(reinterpret_cast<const char*>(frame), static_cast<std::size_t>(length)),
                             reply));
  }
};

// The family-speaking receiver: start-up lines, then a cycle a second (every
// 100 ms with `fast`); between them it listens, and answers at once.
int RunPersona(trelvane::sim::SerialDevice& port, const char* device, trelvane::link::Family family, bool fast) {
  trelvane::sim::Persona persona(family);
  std::string out = persona.StartLines();
  std::string reply;
  PersonaEars ears(persona, reply);
  trelvane::link::StreamLexer<char> lexer;
  const std::int64_t period = fast ? 100000 : 1000000;
  std::int64_t nextCycle = NowMicros();
  while (stopSignal == 0) {
    const std::int64_t now = NowMicros();
    if (now >= nextCycle) {
      out += persona.NextCycle();
      nextCycle += period;
      if (nextCycle < now) nextCycle = now + period;
    }
    out += reply;
    reply.clear();
    int waitMs = WaitMsUntil(nextCycle, NowMicros());
    if (!out.empty()) {
      const long written = WriteToDevice(port, device, out.data(), out.size());
      if (written < 0) return kFailed;
      out.erase(0, static_cast<std::size_t>(written));
      if (!out.empty()) waitMs = 20;
    }
    char in[256];
    const long got = ReadFromDevice(port, device, in, sizeof in, waitMs);
    if (got < 0) return kFailed;
    if (got == 0) {
      lexer.EndOfBurst(ears);
    } else {
      lexer.Feed(reinterpret_cast<const unsigned char*>(in), static_cast<int>(got), ears);
    }
  }
  return stopSignal == SIGINT ? kInterrupted : 0;
}

// What the command line asks for.
struct Options {
  unsigned long baud = kDefaultBaud;
  bool once = false;
  bool fast = false;
  const char* device = nullptr;
  const char* capturePath = nullptr;  // nullptr: the bundled capture
  trelvane::sim::NoiseSettings noise;
  trelvane::link::Family family = trelvane::link::Family::kSirf;
};

// Fills `options` from the arguments; returns what is wrong with them, or
// nullptr when nothing is.
const char* ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--baud") == 0) {
      if (++i == argc || !ParseBaud(argv[i], options.baud)) return "--baud needs a positive whole number";
    } else if (std::strcmp(arg, "--noise") == 0) {
      if (++i == argc || !ParseRate(argv[i], options.noise.rate)) return "--noise needs a rate from 0 to below 1";
    } else if (std::strcmp(arg, "--seed") == 0) {
      if (++i == argc || !ParseSeed(argv[i], options.noise.seed)) return "--seed needs a whole number";
    } else if (std::strcmp(arg, "--receiver") == 0) {
      if (++i == argc || !trelvane::sim::ParseFamily(argv[i], options.family)) {
        return "--receiver needs sirf, mtk, ublox8, ublox9, casic or airoha";
      }
    } else if (std::strcmp(arg, "--once") == 0) {
      options.once = true;
    } else if (std::strcmp(arg, "--fast") == 0) {
      options.fast = true;
    } else if (arg[0] == '-' && arg[1] != 0) {
      return "unknown option";
    } else if (options.device == nullptr) {
      options.device = arg;
    } else if (options.capturePath == nullptr) {
      options.capturePath = arg;
    } else {
      return "too many arguments";
    }
  }
  return options.device == nullptr ? "no DEVICE" : nullptr;
}

// Opens the device at the wire's rate; from then on Ctrl+C or a termination
// request only asks the run to stop, so that it ends in order. False,
// reported on stderr, when the device does not open.
bool OpenDevice(trelvane::sim::SerialDevice& port, const char* device, unsigned long baud) {
  char why[300];
  if (!port.Open(device, baud, why, sizeof why)) {
    std::fprintf(stderr, "trelvane-sim: cannot open %s: %s\n", device, why);
    return false;
  }
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  return true;
}

// A receiver of the family the options name, until stopped.
int SpeakFamily(const Options& options) {
  trelvane::sim::SerialDevice port;
  if (!OpenDevice(port, options.device, options.baud)) return kFailed;
  std::printf("trelvane-sim: speaking %s\n", trelvane::sim::FamilyArgument(options.family));
  std::fflush(stdout);
  return RunPersona(port, options.device, options.family, options.fast);
}

// Reads the capture at `path` and cuts it into cycles with the noise asked
// for. False, reported on stderr, when it cannot be read or has nothing to send.
bool LoadCapture(const char* path, const trelvane::sim::NoiseSettings& noise, trelvane::sim::Capture& capture) {
  char why[300];
  std::string bytes;
  if (!trelvane::sim::ReadWholeFile(path, bytes, why, sizeof why)) {
    std::fprintf(stderr, "trelvane-sim: cannot read capture %s: %s\n", path, why);
    return false;
  }
  capture.Load(bytes, noise);
  if (capture.CycleCount() == 0) {
    std::fprintf(stderr, "trelvane-sim: capture %s has no lines to send\n", path);
    return false;
  }
  return true;
}

// Writes what the player schedules and, while it waits, prints each line the
// monitor sends back; until the player is done or a stop is requested. False
// when the device failed (reported on stderr).
bool Play(trelvane::sim::SerialDevice& port, const char* device, unsigned long baud, trelvane::sim::Player& player) {
  trelvane::sim::ReplyLines replies;
  const int chunkMs = WaitMsUntil(trelvane::sim::WireMicros(trelvane::sim::ChunkBytes(baud), baud), 0);
  player.Start(NowMicros());
  while (stopSignal == 0) {
    const std::int64_t now = NowMicros();
    const Action action = player.Next(now);
    if (action.kind == Action::Kind::kDone) break;
    int waitMs = 0;
    if (action.kind == Action::Kind::kWrite) {
      const long written = WriteToDevice(port, device, action.data, action.size);
      if (written < 0) return false;
      player.Wrote(static_cast<std::size_t>(written), NowMicros());
      if (written == 0) waitMs = chunkMs;  // the device is full: give it a chunk's time
    } else {
      waitMs = WaitMsUntil(action.untilMicros, now);
    }

    // Waiting is listening: what the monitor sends is printed as it comes.
    char in[256];
    const long got = ReadFromDevice(port, device, in, sizeof in, waitMs);
    if (got < 0) return false;
    for (long k = 0; k < got; ++k) {
      if (replies.Push(in[k])) PrintReply(replies.Line());
    }
  }
  return true;
}

// The capture played onto the device (once, or until stopped), then the
// count of valid sentences sent. A stopped run does not wait for the device
// to drain.
int PlayCapture(const Options& options) {
  const std::string defaultCapture = std::string(TRELVANE_CAPTURE_DIR) + "/bundg_zeus_9.log";
  const char* path = options.capturePath != nullptr ? options.capturePath : defaultCapture.c_str();
  trelvane::sim::Capture capture;
  if (!LoadCapture(path, options.noise, capture)) return kFailed;
  trelvane::sim::SerialDevice port;
  if (!OpenDevice(port, options.device, options.baud)) return kFailed;
  trelvane::sim::Player player(capture, options.baud, options.fast, options.once);
  if (!Play(port, options.device, options.baud, player)) return kFailed;
  if (stopSignal != 0) {
    PrintSent(player, capture.NoiseItems());
    return stopSignal == SIGINT ? kInterrupted : 0;
  }
  if (!port.Drain()) {
    std::fprintf(stderr, "trelvane-sim: draining %s failed\n", options.device);
    return kFailed;
  }
  PrintSent(player, capture.NoiseItems());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const char* problem = ParseOptions(argc, argv, options)) return Usage(problem);
  return options.family == trelvane::link::Family::kSirf ? PlayCapture(options) : SpeakFamily(options);
}
