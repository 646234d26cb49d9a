// trelvane-sim: a simulated receiver. Plays a receiver capture onto a serial
// device one fix cycle a second (or --hz N a second) at the wire's byte rate,
// and prints each line the monitor writes back, prefixed "<< ". At the end it
// prints how many valid sentences it sent, so that a test can compare them
// with what a monitor handled.
//
//   trelvane-sim [--baud N] [--hz N] [--once] [--fast] [--noise RATE] [--seed N] [--ttff S] [--clock MS] DEVICE [CAPTURE]
//   trelvane-sim --receiver FAMILY [--rtk] [--baud N] [--hz N] [--fast] [--ttff S] [--clock MS] DEVICE
//   trelvane-sim [--receiver FAMILY] [--rtk] [options] --tcp-listen PORT [CAPTURE]
//
// DEVICE is a tty path (such as one end of a socat pty pair) or COMn on
// Windows. --tcp-listen serves the receiver on 127.0.0.1:PORT instead (0: a
// free port; the one taken is printed "trelvane-sim: listening on
// 127.0.0.1:PORT"), to one client at a time, the next when it leaves; what
// the client sends is the wire's input, the bytes are paced at --baud as on
// a line (tcp_device.hpp), on Linux and Windows alike.
// CAPTURE defaults to the bundled bundg_zeus_9.log. --hz starts at
// 1, 2, 5 or 10 fix cycles a second (a capture's cycles are played that many
// a second, each with its own fix time, hhmmss.ss, one fix period after the
// one before, as a receiver at that rate sends them). --noise mixes hostile items into the stream (noise.hpp), RATE
// being their share of the items sent (0 to below 1); --seed picks which
// (the same seed, the same noise).
//
// --receiver speaks one family of today's receivers (receiver_persona.hpp):
// sirf (the default) plays the capture as above; mtk, ublox8, ublox9, casic
// and airoha send that family's start-up lines and a made-up fix cycle each
// fix period, answer its identify query, acknowledge and act on its
// commands, their bytes paced at the wire's rate. --ttff makes a cold start
// lose the fix for S seconds from the next cycle (for five cycles without it);
// --clock stamps each cycle with the PC's UTC and its date, the cycle
// leaving MS ms after its fix period begins. Each line the monitor
// writes is printed "<< " as above, each binary frame "<< " and its bytes in
// hexadecimal, and each command recognised "== " and what it asks
// ("== VTG off", "== port rate 115200", "== port rate 921600 ignored",
// "== fix rate 10 Hz", "== save"). The capture's SiRF part hears its port
// and fix rate commands too, and with --ttff its cold start ($PSRF104 or
// $PSRF101): its cycles' RMC then say V and GGA quality 0 for S seconds.
// With --ttff or --clock a capture plays with fix times as with --hz.
//
// --rtk (with a --receiver other than sirf) makes the persona an RTK rover
// (rtk_corrections.hpp): RTCM 3 frames among what arrives on the wire, found
// by their CRC-24Q, give RTK float once the base's position (1005/1006) and
// an MSM came (GGA quality 5, the corrections' age and the base's id in GGA
// fields 13 and 14, RMC mode F), RTK fixed after 10 s of corrections with no
// silence over 5 s (4, R), and the receiver's own solution again 10 s after
// the last good frame. Every byte still reaches the command reader too; with
// --rtk it hears a line from its last "$", as what comes before is the
// corrections' binary. Once a second while bytes arrive it prints
// "== rtcm TYPES (N bytes, M bad)": the distinct message types of the good
// frames in that second in ascending order, their bytes, and M the bytes
// that formed no good frame (noise, broken frames, and the commands).
//
// A port-rate command is answered at the old rate (where the family answers
// it at all); once the answer has left the wire the device is drained and
// moved to the new rate, where the sim goes on, its byte pacing at the new
// rate. A fix-rate command changes the cycles a second from the next cycle
// on. A rate the family's parts do not take is ignored, as they ignore it.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "stream/stream_lexer.hpp"
#include "tools/sim/capture_player.hpp"
#include "tools/sim/device.hpp"
#include "tools/sim/receiver_persona.hpp"
#include "tools/sim/rtk_corrections.hpp"
#include "tools/sim/serial_device.hpp"
#include "tools/sim/tcp_device.hpp"

namespace {

using trelvane::sim::Action;
using trelvane::sim::Device;

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
               "trelvane-sim: %s (usage: trelvane-sim [--receiver FAMILY] [--rtk] [--baud N] [--hz N] [--once] [--fast] "
               "[--noise RATE] [--seed N] [--ttff S] [--clock MS] {DEVICE | --tcp-listen PORT} [CAPTURE])\n",
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

std::int64_t UtcMillis() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
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
long WriteToDevice(Device& port, const char* device, const char* data, std::size_t size) {
  const long written = port.Write(data, size);
  if (written < 0) std::fprintf(stderr, "trelvane-sim: writing to %s failed\n", device);
  return written;
}

// Reads what the monitor sent within `waitMs` (Read's count), or reports on
// stderr that the device failed and returns -1.
long ReadFromDevice(Device& port, const char* device, char* in, std::size_t capacity, int waitMs) {
  const long got = port.Read(in, capacity, waitMs);
  if (got < 0) std::fprintf(stderr, "trelvane-sim: reading from %s failed (the other end is gone?)\n", device);
  return got;
}

// Prints what a persona recognised, one "== " line for each thing asked.
void PrintJob(const std::string& job) {
  std::size_t at = 0;
  while (at < job.size()) {
    std::size_t end = job.find('\n', at);
    if (end == std::string::npos) end = job.size();
    std::printf("== %.*s\n", static_cast<int>(end - at), job.data() + at);
    at = end + 1;
  }
  std::fflush(stdout);
}

// What the monitor writes, as the persona hears it: printed, then answered.
// With corrections on the same wire a line holds their binary before the
// command, so it is heard from its last "$" (a line without one is binary
// alone).
struct PersonaEars {
  trelvane::sim::Persona& persona;
  std::string& reply;
  bool fromDollar;
  PersonaEars(trelvane::sim::Persona& p, std::string& r, bool d) : persona(p), reply(r), fromDollar(d) {}

  void OnLine(const char* line, int length) {
    std::string_view text(line, static_cast<std::size_t>(length));
    if (fromDollar) {
      const std::size_t dollar = text.rfind('$');
      text.remove_prefix(dollar == std::string_view::npos ? text.size() : dollar);
    }
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

// Moves the device to `baud` once what was written has left it. False,
// reported on stderr, when the device cannot drain or take the rate.
bool MoveDevice(Device& port, const char* device, unsigned long baud) {
  if (!port.Drain()) {
    std::fprintf(stderr, "trelvane-sim: draining %s failed\n", device);
    return false;
  }
  if (!port.SetBaud(baud)) {
    std::fprintf(stderr, "trelvane-sim: cannot move %s to %lu baud\n", device, baud);
    return false;
  }
  std::printf("trelvane-sim: now at %lu baud\n", baud);
  std::fflush(stdout);
  return true;
}

// What the command line asks for.
struct Options {
  unsigned long baud = kDefaultBaud;
  unsigned long hz = 1;
  bool hzGiven = false;  // a capture then plays with fix times 1/hz s apart
  bool once = false;
  bool fast = false;
  bool rtk = false;
  unsigned long ttffSeconds = 0;  // 0: a cold start loses the fix for five cycles
  long clockMs = -1;              // -1: made-up times; else the PC's UTC, cycles leaving this late
  bool tcp = false;
  unsigned long tcpPort = 0;
  const char* device = nullptr;  // the serial device's path, or a name for the TCP port
  const char* capturePath = nullptr;  // nullptr: the bundled capture
  trelvane::sim::NoiseSettings noise;
  trelvane::receiver::Family family = trelvane::receiver::Family::kSirf;
};

// The family-speaking receiver: start-up lines, then a cycle each fix period
// (a tenth of it with `fast`), its bytes paced at the wire's rate; between
// writes it listens, and answers at once. A cycle falling due while more than
// a second of the wire still waits is lost, as a receiver whose port cannot
// carry its fixes loses them, rather than the stream falling ever further
// behind. A port-rate command moves the device once everything written
// before it, the answer included, has left the wire; no cycle is made
// meanwhile. With --rtk what arrives is also searched for corrections, whose
// solution each cycle reports.
class PersonaRun {
 public:
  PersonaRun(Device& port, const Options& options)
      : port_(port),
        device_(options.device),
        persona_(options.family, options.baud, static_cast<unsigned>(options.hz)),
        baud_(options.baud),
        hz_(persona_.FixRateHz()),
        fast_(options.fast),
        pacer_(options.baud),
        rtk_(options.rtk),
        ears_(persona_, reply_, options.rtk),
        clockMs_(options.clockMs) {
    if (rtk_) persona_.TakeRtcmIn();  // a rover set up for corrections on its port
    persona_.SetTimeToFix(static_cast<long>(options.ttffSeconds) * 1000);
  }

  int Run() {
    out_ = persona_.StartLines();
    nextCycle_ = NowMicros();
    if (clockMs_ >= 0) ScheduleOnClock(nextCycle_);
    while (stopSignal == 0) {
      const std::int64_t now = NowMicros();
      if (!FollowRates(now)) return kFailed;
      if (baud_ == persona_.PortRate() && now >= nextCycle_) MakeCycle(now);
      std::int64_t wakeAt = nextCycle_;
      if (!WriteDue(now, wakeAt) || !Listen(WaitMsUntil(wakeAt, NowMicros()))) return kFailed;
      if (rtk_ && corrections_.Report(NowMicros(), report_)) PrintJob(report_);
    }
    return stopSignal == SIGINT ? kInterrupted : 0;
  }

 private:
  std::int64_t Period() const { return 1000000 / static_cast<std::int64_t>(hz_) / (fast_ ? 10 : 1); }

  void MakeCycle(std::int64_t now) {
    if (rtk_) persona_.SetRtk(persona_.RtcmIn() ? corrections_.Solution(now) : trelvane::sim::RtkSolution{});
    const std::string cycle = persona_.NextCycle(clockMs_ >= 0 ? cycleUtcMs_ : -1);
    if (out_.size() <= trelvane::sim::WireBytesPerSecond(baud_)) out_ += cycle;
    if (clockMs_ >= 0) {
      ScheduleOnClock(now);
      return;
    }
    nextCycle_ += Period();
    if (nextCycle_ < now) nextCycle_ = now + Period();
  }

  // With --clock: the next cycle is the next whole fix period of the PC's
  // UTC, and it leaves clockMs_ after that time.
  void ScheduleOnClock(std::int64_t now) {
    const std::int64_t periodMs = 1000 / static_cast<std::int64_t>(hz_);
    const std::int64_t utc = UtcMillis();
    std::int64_t cycle = (utc - clockMs_) / periodMs * periodMs + periodMs;
    if (cycle <= cycleUtcMs_) cycle = cycleUtcMs_ + periodMs;  // never the same time twice
    cycleUtcMs_ = cycle;
    nextCycle_ = now + (cycle + clockMs_ - utc) * 1000;
  }

  // A new fix rate takes the next cycle; a new port rate waits for the wire.
  bool FollowRates(std::int64_t now) {
    if (persona_.FixRateHz() != hz_) {
      hz_ = persona_.FixRateHz();
      nextCycle_ = std::min(nextCycle_, now + Period());
      if (clockMs_ >= 0) ScheduleOnClock(now);
    }
    if (persona_.PortRate() == baud_ || !out_.empty() || now < pacer_.WireFree()) return true;
    if (!MoveDevice(port_, device_, persona_.PortRate())) return false;
    baud_ = persona_.PortRate();
    pacer_.SetBaud(baud_);
    out_ += persona_.LinesAtNewRate();
    return true;
  }

  // Writes a chunk when the pacer allows one; brings `wakeAt` forward to
  // when the next may go, or the wire is free for a pending move.
  bool WriteDue(std::int64_t now, std::int64_t& wakeAt) {
    if (persona_.PortRate() != baud_) wakeAt = std::min(wakeAt, pacer_.WireFree());
    if (out_.empty()) return true;
    if (now < pacer_.NextWriteAt()) {
      wakeAt = std::min(wakeAt, pacer_.NextWriteAt());
      return true;
    }
    const long written = WriteToDevice(port_, device_, out_.data(), std::min(out_.size(), pacer_.Chunk()));
    if (written < 0) return false;
    pacer_.Wrote(static_cast<std::size_t>(written), NowMicros());
    out_.erase(0, static_cast<std::size_t>(written));
    // The device full: give it a chunk's wire time.
    wakeAt = std::min(wakeAt, written == 0 ? now + trelvane::sim::WireMicros(pacer_.Chunk(), baud_)
                                           : pacer_.NextWriteAt());
    return true;
  }

  bool Listen(int waitMs) {
    char in[256];
    const long got = ReadFromDevice(port_, device_, in, sizeof in, waitMs);
    if (got < 0) return false;
    if (got == 0) {
      lexer_.EndOfBurst(ears_);
    } else {
      const auto* bytes = reinterpret_cast<const unsigned char*>(in);
      lexer_.Feed(bytes, static_cast<int>(got), ears_);
      if (rtk_) corrections_.Feed(bytes, static_cast<std::size_t>(got), NowMicros());
    }
    out_ += reply_;
    reply_.clear();
    return true;
  }

  Device& port_;
  const char* device_;
  trelvane::sim::Persona persona_;
  unsigned long baud_;  // the device's rate, which the persona's leads
  unsigned hz_;         // the fix rate the cycles are made at
  bool fast_;
  trelvane::sim::WirePacer pacer_;
  std::string out_;    // what waits for the wire
  std::string reply_;  // the persona's answers to what it just heard
  bool rtk_;
  trelvane::sim::RtkCorrections corrections_;
  std::string report_;  // the corrections' last report
  PersonaEars ears_;
  trelvane::stream::StreamLexer<char> lexer_;
  std::int64_t nextCycle_ = 0;
  long clockMs_;                   // -1: made-up times
  std::int64_t cycleUtcMs_ = 0;    // with --clock: the next cycle's time
};

// Fills `options` from the arguments; returns what is wrong with them, or
// nullptr when nothing is.
const char* ParseOptions(int argc, char** argv, Options& options) {
  const char* positional[2] = {nullptr, nullptr};
  int positionals = 0;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--baud") == 0) {
      if (++i == argc || !ParseBaud(argv[i], options.baud)) return "--baud needs a positive whole number";
    } else if (std::strcmp(arg, "--hz") == 0) {
      options.hzGiven = true;
      // Digits only, as a rate; then one of the fix rates.
      if (++i == argc || !ParseBaud(argv[i], options.hz) || !trelvane::sim::IsFixRate(options.hz)) {
        return "--hz needs 1, 2, 5 or 10";
      }
    } else if (std::strcmp(arg, "--noise") == 0) {
      if (++i == argc || !ParseRate(argv[i], options.noise.rate)) return "--noise needs a rate from 0 to below 1";
    } else if (std::strcmp(arg, "--seed") == 0) {
      if (++i == argc || !ParseSeed(argv[i], options.noise.seed)) return "--seed needs a whole number";
    } else if (std::strcmp(arg, "--receiver") == 0) {
      if (++i == argc || !trelvane::sim::ParseFamily(argv[i], options.family)) {
        return "--receiver needs sirf, mtk, ublox8, ublox9, casic or airoha";
      }
    } else if (std::strcmp(arg, "--tcp-listen") == 0) {
      // Digits only, as a rate; 0 asks for any free port.
      options.tcp = true;
      if (++i == argc || (std::strcmp(argv[i], "0") != 0 && !ParseBaud(argv[i], options.tcpPort)) ||
          options.tcpPort > 65535) {
        return "--tcp-listen needs a port from 0 to 65535";
      }
    } else if (std::strcmp(arg, "--ttff") == 0) {
      if (++i == argc || !ParseBaud(argv[i], options.ttffSeconds) || options.ttffSeconds == 0 ||
          options.ttffSeconds > 3600) {
        return "--ttff needs 1 to 3600 seconds";
      }
    } else if (std::strcmp(arg, "--clock") == 0) {
      unsigned long ms = 0;
      if (++i == argc || !ParseBaud(argv[i], ms) || ms > 999) return "--clock needs 0 to 999 ms";
      options.clockMs = static_cast<long>(ms);
    } else if (std::strcmp(arg, "--rtk") == 0) {
      options.rtk = true;
    } else if (std::strcmp(arg, "--once") == 0) {
      options.once = true;
    } else if (std::strcmp(arg, "--fast") == 0) {
      options.fast = true;
    } else if (arg[0] == '-' && arg[1] != 0) {
      return "unknown option";
    } else if (positionals == 2) {
      return "too many arguments";
    } else {
      positional[positionals++] = arg;
    }
  }
  // Served on a TCP port, the receiver has no DEVICE: its one argument is the capture.
  if (options.tcp) {
    if (positionals == 2) return "too many arguments (--tcp-listen takes no DEVICE)";
    options.device = "the TCP port";
    options.capturePath = positional[0];
  } else {
    options.device = positional[0];
    options.capturePath = positional[1];
  }
  if (options.rtk && options.family == trelvane::receiver::Family::kSirf) {
    return "--rtk needs --receiver mtk, ublox8, ublox9, casic or airoha";
  }
  return options.device == nullptr ? "no DEVICE" : nullptr;
}

// The wire the options name: the serial device, or a TCP port.
class Wire {
 public:
  // Opens the device at the wire's rate, or listens on the port (and says
  // where); from then on Ctrl+C or a termination request only asks the run
  // to stop, so that it ends in order. False, reported on stderr, when the
  // device does not open.
  bool Open(const Options& options) {
    char why[300];
    if (options.tcp) {
      if (!tcp_.Listen(static_cast<unsigned>(options.tcpPort), why, sizeof why)) {
        std::fprintf(stderr, "trelvane-sim: %s\n", why);
        return false;
      }
      device_ = &tcp_;
      std::printf("trelvane-sim: listening on 127.0.0.1:%u\n", tcp_.Port());
      std::fflush(stdout);
    }
    if (device_ == nullptr) {
      if (!serial_.Open(options.device, options.baud, why, sizeof why)) {
        std::fprintf(stderr, "trelvane-sim: cannot open %s: %s\n", options.device, why);
        return false;
      }
      device_ = &serial_;
    }
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    return true;
  }
  Device& Get() { return *device_; }

 private:
  trelvane::sim::SerialDevice serial_;
  trelvane::sim::TcpDevice tcp_;
  Device* device_ = nullptr;
};

// A receiver of the family the options name, until stopped.
int SpeakFamily(const Options& options) {
  Wire wire;
  if (!wire.Open(options)) return kFailed;
  std::printf("trelvane-sim: speaking %s\n", trelvane::sim::FamilyArgument(options.family));
  std::fflush(stdout);
  PersonaRun run(wire.Get(), options);
  return run.Run();
}

// Reads the capture at `path` and cuts it into cycles with the noise asked
// for. False, reported on stderr, when it cannot be read or has nothing to send.
bool LoadCapture(const char* path, const trelvane::sim::NoiseSettings& noise, bool hundredths,
                 trelvane::sim::Capture& capture) {
  char why[300];
  std::string bytes;
  if (!trelvane::sim::ReadWholeFile(path, bytes, why, sizeof why)) {
    std::fprintf(stderr, "trelvane-sim: cannot read capture %s: %s\n", path, why);
    return false;
  }
  capture.Load(bytes, noise, hundredths);
  if (capture.CycleCount() == 0) {
    std::fprintf(stderr, "trelvane-sim: capture %s has no lines to send\n", path);
    return false;
  }
  return true;
}

// One step of the player: a write, or how long to wait for the next. False
// when the device failed (reported on stderr); `done` once the player is.
bool PlayerStep(Device& port, const char* device, unsigned long baud,
                trelvane::sim::Player& player, int& waitMs, bool& done) {
  const std::int64_t now = NowMicros();
  const Action action = player.Next(now);
  done = action.kind == Action::Kind::kDone;
  waitMs = 0;
  if (action.kind == Action::Kind::kWait) waitMs = WaitMsUntil(action.untilMicros, now);
  if (action.kind != Action::Kind::kWrite) return true;
  const long written = WriteToDevice(port, device, action.data, action.size);
  if (written < 0) return false;
  player.Wrote(static_cast<std::size_t>(written), NowMicros());
  // The device is full: give it a chunk's time.
  if (written == 0) waitMs = WaitMsUntil(trelvane::sim::WireMicros(trelvane::sim::ChunkBytes(baud), baud), 0);
  return true;
}

// Prints each line the monitor sent as it completes; the capture's SiRF part
// acts on those of its rate commands (it answers none of them).
void Hear(const char* in, long got, trelvane::sim::ReplyLines& replies, trelvane::sim::Persona& sirf,
          trelvane::sim::Player& player, long ttffMs) {
  std::string unanswered;
  for (long k = 0; k < got; ++k) {
    if (!replies.Push(in[k])) continue;
    PrintReply(replies.Line());
    const std::string job = sirf.OnLine(replies.Line(), unanswered);
    PrintJob(job);
    // A SiRF cold start ($PSRF104 with its reset bits, or $PSRF101).
    const std::string_view line = replies.Line();
    if (ttffMs > 0 && (line.substr(0, 9) == "$PSRF104," || line.substr(0, 9) == "$PSRF101,")) {
      player.ColdStart(ttffMs);
      PrintJob("cold start");
    }
    if (!job.empty()) player.SetFixRate(sirf.FixRateHz());
  }
}

// Writes what the player schedules and, while it waits, hears what the
// monitor sends back; until the player is done or a stop is requested. A
// port-rate command stops the writing until what was written has left the
// wire, then moves the device and the player's schedule to the new rate.
// False when the device failed (reported on stderr).
bool Play(Device& port, const Options& options, trelvane::sim::Player& player) {
  trelvane::sim::ReplyLines replies;
  trelvane::sim::Persona sirf(trelvane::receiver::Family::kSirf, options.baud, static_cast<unsigned>(options.hz));
  unsigned long baud = options.baud;
  player.SetFixRate(sirf.FixRateHz());
  player.Start(NowMicros());
  while (stopSignal == 0) {
    int waitMs = 0;
    bool done = false;
    if (sirf.PortRate() == baud) {
      if (!PlayerStep(port, options.device, baud, player, waitMs, done)) return false;
      if (done) break;
    } else if (NowMicros() >= player.WireFree()) {
      if (!MoveDevice(port, options.device, sirf.PortRate())) return false;
      baud = sirf.PortRate();
      // The part restarts at the new rate; the capture's lines are its
      // start-up, so the play goes on where it was.
      player.SetBaud(baud);
    } else {
      waitMs = WaitMsUntil(player.WireFree(), NowMicros());
    }
    // Waiting is listening: what the monitor sends is heard as it comes.
    char in[256];
    const long got = ReadFromDevice(port, options.device, in, sizeof in, waitMs);
    if (got < 0) return false;
    Hear(in, got, replies, sirf, player, static_cast<long>(options.ttffSeconds) * 1000);
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
  // A cycle whose time, date or fix is to be set carries its time in hundredths.
  const bool stamped = options.hzGiven || options.ttffSeconds != 0 || options.clockMs >= 0;
  if (!LoadCapture(path, options.noise, stamped, capture)) return kFailed;
  Wire wire;
  if (!wire.Open(options)) return kFailed;
  Device& port = wire.Get();
  trelvane::sim::Player player(capture, options.baud, options.fast, options.once);
  if (stamped) player.GiveFixTimes();
  if (options.clockMs >= 0) player.KeepClock(UtcMillis() * 1000 - NowMicros(), options.clockMs);
  if (!Play(port, options, player)) return kFailed;
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
  return options.family == trelvane::receiver::Family::kSirf ? PlayCapture(options) : SpeakFamily(options);
}
