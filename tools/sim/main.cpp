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

#include "link/stream_lexer.hpp"
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
      const long written = port.Write(out.data(), out.size());
      if (written < 0) {
        std::fprintf(stderr, "trelvane-sim: writing to %s failed\n", device);
        return kFailed;
      }
      out.erase(0, static_cast<std::size_t>(written));
      if (!out.empty()) waitMs = 20;
    }
    char in[256];
    const long got = port.Read(in, sizeof in, waitMs);
    if (got < 0) {
      std::fprintf(stderr, "trelvane-sim: reading from %s failed (the other end is gone?)\n", device);
      return kFailed;
    }
    if (got == 0) {
      lexer.EndOfBurst(ears);
    } else {
      lexer.Feed(reinterpret_cast<const unsigned char*>(in), static_cast<int>(got), ears);
    }
  }
  return stopSignal == SIGINT ? kInterrupted : 0;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long baud = kDefaultBaud;
  bool once = false;
  bool fast = false;
  const char* device = nullptr;
  const char* capturePath = nullptr;
  trelvane::sim::NoiseSettings noise;
  trelvane::link::Family family = trelvane::link::Family::kSirf;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--baud") == 0) {
      if (++i == argc || !ParseBaud(argv[i], baud)) return Usage("--baud needs a positive whole number");
    } else if (std::strcmp(arg, "--noise") == 0) {
      if (++i == argc || !ParseRate(argv[i], noise.rate)) return Usage("--noise needs a rate from 0 to below 1");
    } else if (std::strcmp(arg, "--seed") == 0) {
      if (++i == argc || !ParseSeed(argv[i], noise.seed)) return Usage("--seed needs a whole number");
    } else if (std::strcmp(arg, "--receiver") == 0) {
      if (++i == argc || !trelvane::sim::ParseFamily(argv[i], family)) {
        return Usage("--receiver needs sirf, mtk, ublox8, ublox9, casic or airoha");
      }
    } else if (std::strcmp(arg, "--once") == 0) {
      once = true;
    } else if (std::strcmp(arg, "--fast") == 0) {
      fast = true;
    } else if (arg[0] == '-' && arg[1] != 0) {
      return Usage("unknown option");
    } else if (device == nullptr) {
      device = arg;
    } else if (capturePath == nullptr) {
      capturePath = arg;
    } else {
      return Usage("too many arguments");
    }
  }
  if (device == nullptr) return Usage("no DEVICE");
  if (family != trelvane::link::Family::kSirf) {
    char why[300];
    trelvane::sim::SerialDevice port;
    if (!port.Open(device, baud, why, sizeof why)) {
      std::fprintf(stderr, "trelvane-sim: cannot open %s: %s\n", device, why);
      return kFailed;
    }
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    std::printf("trelvane-sim: speaking %s\n", trelvane::sim::FamilyArgument(family));
    std::fflush(stdout);
    return RunPersona(port, device, family, fast);
  }

  const std::string defaultCapture = std::string(TRELVANE_CAPTURE_DIR) + "/bundg_zeus_9.log";
  if (capturePath == nullptr) capturePath = defaultCapture.c_str();
  char why[300];
  std::string bytes;
  if (!trelvane::sim::ReadWholeFile(capturePath, bytes, why, sizeof why)) {
    std::fprintf(stderr, "trelvane-sim: cannot read capture %s: %s\n", capturePath, why);
    return kFailed;
  }
  trelvane::sim::Capture capture;
  capture.Load(bytes, noise);
  if (capture.CycleCount() == 0) {
    std::fprintf(stderr, "trelvane-sim: capture %s has no lines to send\n", capturePath);
    return kFailed;
  }

  trelvane::sim::SerialDevice port;
  if (!port.Open(device, baud, why, sizeof why)) {
    std::fprintf(stderr, "trelvane-sim: cannot open %s: %s\n", device, why);
    return kFailed;
  }
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);

  trelvane::sim::Player player(capture, baud, fast, once);
  trelvane::sim::ReplyLines replies;
  const int chunkMs = WaitMsUntil(trelvane::sim::WireMicros(trelvane::sim::ChunkBytes(baud), baud), 0);
  player.Start(NowMicros());
  while (stopSignal == 0) {
    std::int64_t now = NowMicros();
    const Action action = player.Next(now);
    if (action.kind == Action::Kind::kDone) break;
    int waitMs = 0;
    if (action.kind == Action::Kind::kWrite) {
      const long written = port.Write(action.data, action.size);
      if (written < 0) {
        std::fprintf(stderr, "trelvane-sim: writing to %s failed\n", device);
        return kFailed;
      }
      player.Wrote(static_cast<std::size_t>(written), NowMicros());
      if (written == 0) waitMs = chunkMs;  // the device is full: give it a chunk's time
    } else {
      waitMs = WaitMsUntil(action.untilMicros, now);
    }

    // Waiting is listening: what the monitor sends is printed as it comes.
    char in[256];
    const long got = port.Read(in, sizeof in, waitMs);
    if (got < 0) {
      std::fprintf(stderr, "trelvane-sim: reading from %s failed (the other end is gone?)\n", device);
      return kFailed;
    }
    for (long k = 0; k < got; ++k) {
      if (replies.Push(in[k])) PrintReply(replies.Line());
    }
  }
  if (stopSignal != 0) {
    PrintSent(player, capture.NoiseItems());
    return stopSignal == SIGINT ? kInterrupted : 0;
  }
  if (!port.Drain()) {
    std::fprintf(stderr, "trelvane-sim: draining %s failed\n", device);
    return kFailed;
  }
  PrintSent(player, capture.NoiseItems());
  return 0;
}
