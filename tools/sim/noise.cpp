#include "tools/sim/noise.hpp"

#include <algorithm>

#include "nmea/sentence_intake.hpp"
#include "stream/line_assembler.hpp"

namespace trelvane::sim {

namespace {

// The filler of a long line: printable, without "$", "*" or a line end.
constexpr char kLongLineFiller[] = "NOISE,0123456789,ABCDEFGHIJ,";
constexpr std::size_t kRandomBytesMax = 64;
constexpr std::size_t kNulsMax = 16;
constexpr std::size_t kBareCrsMax = 4;

constexpr char kHexUpper[] = "0123456789ABCDEF";
constexpr char kHexLower[] = "0123456789abcdef";

// A sentence that passes ends "*hh" CR LF: the "*" is 5 from its end.
std::size_t StarOf(std::string_view sentence) { return sentence.size() - 5; }

void AppendWrongChecksum(std::string_view next, NoiseRandom& random, std::string& out) {
  const std::size_t star = StarOf(next);
  const int value = nmea::HexDigitValue(next[star + 1]) * 16 + nmea::HexDigitValue(next[star + 2]);
  const int wrong = value ^ (1 << random.Below(8));
  const bool lower = (next[star + 1] >= 'a' && next[star + 1] <= 'f') || (next[star + 2] >= 'a' && next[star + 2] <= 'f');
  const char* hex = lower ? kHexLower : kHexUpper;
  out.append(next.substr(0, star + 1));
  out.push_back(hex[wrong >> 4]);
  out.push_back(hex[wrong & 15]);
  out.append("\r\n");
}

}  // namespace

std::uint64_t NoiseRandom::Next() {
  state_ += 0x9E3779B97F4A7C15ull;
  std::uint64_t z = state_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double NoiseRandom::Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

std::size_t NoiseRandom::Below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(Next() % n); }

bool MonitorAccepts(std::string_view line) {
  line = line.substr(0, line.find('\0'));  // the monitor handles a line as zero-terminated text
  if (line.size() >= static_cast<std::size_t>(nmea::kWorkingCopyChars)) return false;
  return nmea::ChecksumPasses(line.data(), static_cast<int>(line.size()));
}

bool ValidSentence(std::string_view line) { return line.find('\0') == std::string_view::npos && MonitorAccepts(line); }

NoiseKind AppendNoise(NoiseKind kind, std::string_view next, NoiseRandom& random, std::string& out) {
  // A head needs a byte before the "*": a sentence may be no more than "*hh".
  const bool sentence = ValidSentence(next);
  if ((kind == NoiseKind::kWrongChecksum && !sentence) || (kind == NoiseKind::kCutSentence && !(sentence && StarOf(next) > 0))) {
    kind = NoiseKind::kLoneDollar;
  }
  switch (kind) {
    case NoiseKind::kRandomBytes:
      for (std::size_t n = 1 + random.Below(kRandomBytesMax); n > 0; --n) {
        const char byte = static_cast<char>(random.Below(256));
        out.push_back(byte == '$' || byte == '*' ? '~' : byte);
      }
      break;
    case NoiseKind::kNuls:
      out.append(1 + random.Below(kNulsMax), '\0');
      break;
    case NoiseKind::kLongLine:
      for (std::size_t n = 0; n < kLongNoiseLine; n += sizeof kLongLineFiller - 1) {
        out.append(kLongLineFiller, std::min(sizeof kLongLineFiller - 1, kLongNoiseLine - n));
      }
      break;
    case NoiseKind::kBareCrs:
      out.append(1 + random.Below(kBareCrsMax), '\r');
      break;
    case NoiseKind::kWrongChecksum:
      AppendWrongChecksum(next, random, out);
      break;
    case NoiseKind::kLoneDollar:
      out.append("$\r\n");
      break;
    case NoiseKind::kCutSentence:
      out.append(next.substr(0, 1 + random.Below(StarOf(next))));  // at least the "$", never the "*"
      break;
  }
  return kind;
}

GapCheck CheckGap(std::string_view noise, std::string_view next) {
  stream::LineAssembler<char> lines;
  GapCheck check;
  for (char byte : noise) {
    if (lines.Push(static_cast<unsigned char>(byte)) != stream::LineAssembler<char>::Step::kLine) continue;
    if (MonitorAccepts(std::string_view(lines.Line(), static_cast<std::size_t>(lines.LineLength())))) return check;
  }
  for (std::size_t i = 0; i < next.size(); ++i) {
    if (lines.Push(static_cast<unsigned char>(next[i])) != stream::LineAssembler<char>::Step::kLine) continue;
    const std::string_view line(lines.Line(), static_cast<std::size_t>(lines.LineLength()));
    const bool last = i + 1 == next.size();
    if (last) check.whole = line == next;
    if (MonitorAccepts(line) && !check.whole) return check;
  }
  check.safe = true;
  return check;
}

}  // namespace trelvane::sim
