#include "tools/sim/receiver_persona.hpp"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tools/sim/fix_times.hpp"

namespace trelvane::sim {

namespace {

struct FamilyName {
  Family family;
  const char* argument;
};
constexpr FamilyName kFamilyNames[] = {
    {Family::kSirf, "sirf"},     {Family::kMediaTek, "mtk"}, {Family::kUblox8, "ublox8"},
    {Family::kUblox9, "ublox9"}, {Family::kCasic, "casic"},  {Family::kAiroha, "airoha"},
};

bool IsUblox(Family f) { return f == Family::kUblox8 || f == Family::kUblox9; }

// Field `index` of a comma-separated sentence (0 = address), without checksum.
std::string_view Field(std::string_view line, int index) {
  const std::size_t star = line.find('*');
  if (star != std::string_view::npos) line = line.substr(0, star);
  for (; index > 0; --index) {
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) return {};
    line.remove_prefix(comma + 1);
  }
  return line.substr(0, line.find(','));
}

// Sets one of the receiver's switches and names what was done ("VTG off").
std::string Turn(bool& setting, bool on, const char* what) {
  setting = on;
  return std::string(what) + (on ? " on" : " off");
}

// The rates each family's parts take on their serial port.
struct PortRates {
  Family family;
  unsigned long rates[9];  // zero-ended when fewer
};
constexpr PortRates kPortRates[] = {
    {Family::kSirf, {4800, 9600, 38400, 57600, 115200}},
    {Family::kMediaTek, {4800, 9600, 14400, 19200, 38400, 57600, 115200, 230400, 460800}},
    {Family::kUblox8, {4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600}},
    {Family::kUblox9, {4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600}},
    {Family::kCasic, {4800, 9600, 19200, 38400, 57600, 115200}},
    {Family::kAiroha, {9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600}},
};

bool TakesPortRate(Family family, unsigned long baud) {
  for (const PortRates& row : kPortRates) {
    if (row.family != family) continue;
    for (unsigned long rate : row.rates) {
      if (rate != 0 && rate == baud) return true;
    }
  }
  return false;
}

// A CASIC part names its port rates by index.
constexpr unsigned long kCasicRates[] = {4800, 9600, 19200, 38400, 57600, 115200};

// CFG-VALSET keys the u-blox 9 persona acts on.
constexpr std::uint32_t kKeyVtgUart1 = 0x209100B1;
constexpr std::uint32_t kKeySbas = 0x10310020;
constexpr std::uint32_t kKeyPowerSave = 0x20D00001;
constexpr std::uint32_t kKeyUart1Baud = 0x40520001;
constexpr std::uint32_t kKeyMeasurePeriod = 0x30210001;

// A field of digits only, at most nine of them; false for anything else.
bool Whole(std::string_view text, unsigned long& value) {
  if (text.empty() || text.size() > 9) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  return true;
}

// `size` bytes (at most 8) at `at` as a little-endian number.
std::uint64_t LittleEndian(std::string_view bytes, std::size_t at, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t b = size; b > 0; --b) value = (value << 8) | static_cast<unsigned char>(bytes[at + b - 1]);
  return value;
}

// A configuration key's value size in bytes, from its bits 28-30: one bit
// (stored in a byte), 1, 2, 4 or 8 bytes; 0 for a size no key has.
std::size_t ValueSize(std::uint32_t key) {
  switch ((key >> 28) & 7) {
    case 1:
    case 2:
      return 1;
    case 3:
      return 2;
    case 4:
      return 4;
    case 5:
      return 8;
    default:
      return 0;
  }
}

// The value of `key` in a CFG-VALSET payload (version, layers, two reserved
// bytes, then keys each followed by a value of its own size). False when the
// key is absent, or the walk meets a key of no known size or a value that
// runs past the payload: what follows it cannot be read.
bool ValsetValue(std::string_view payload, std::uint32_t key, std::uint64_t& value) {
  std::size_t at = 4;
  while (at + 4 <= payload.size()) {
    const auto k = static_cast<std::uint32_t>(LittleEndian(payload, at, 4));
    const std::size_t size = ValueSize(k);
    if (size == 0 || at + 4 + size > payload.size()) return false;
    if (k == key) {
      value = LittleEndian(payload, at + 4, size);
      return true;
    }
    at += 4 + size;
  }
  return false;
}

// The fix rate a period asks for; 0 for a period that is none of them.
unsigned HzForPeriod(unsigned long periodMs) {
  for (unsigned hz : kFixRatesHz) {
    if (periodMs == 1000 / hz) return hz;
  }
  return 0;
}

// Appends `job` to `jobs`, one a line.
void AddJob(std::string& jobs, const std::string& job) {
  if (job.empty()) return;
  if (!jobs.empty()) jobs += '\n';
  jobs += job;
}

}  // namespace

bool ParseFamily(const char* name, Family& family) {
  for (const FamilyName& row : kFamilyNames) {
    if (std::strcmp(name, row.argument) == 0) {
      family = row.family;
      return true;
    }
  }
  return false;
}

const char* FamilyArgument(Family family) {
  for (const FamilyName& row : kFamilyNames) {
    if (row.family == family) return row.argument;
  }
  return "?";
}

std::string WithChecksum(std::string_view body) {
  unsigned sum = 0;
  for (unsigned char c : body) sum ^= c;
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + std::string(body) + tail;
}

std::string UbxFrame(int cls, int id, std::string_view payload) {
  std::string f = "\xB5\x62";
  f += static_cast<char>(cls);
  f += static_cast<char>(id);
  f += static_cast<char>(payload.size() & 0xFF);
  f += static_cast<char>((payload.size() >> 8) & 0xFF);
  f.append(payload);
  unsigned a = 0, b = 0;
  for (std::size_t i = 2; i < f.size(); ++i) {
    a = (a + static_cast<unsigned char>(f[i])) & 0xFF;
    b = (b + a) & 0xFF;
  }
  f += static_cast<char>(a);
  f += static_cast<char>(b);
  return f;
}

bool IsFixRate(unsigned long hz) {
  for (unsigned rate : kFixRatesHz) {
    if (rate == hz) return true;
  }
  return false;
}

std::string Persona::StartLines() const {
  switch (family_) {
    case Family::kMediaTek:
      return WithChecksum("PMTK011,MTKGPS") + WithChecksum("PMTK010,001");
    case Family::kUblox8:
      return WithChecksum("GPTXT,01,01,02,u-blox AG - www.u-blox.com") +
             WithChecksum("GPTXT,01,01,02,HW UBX-M8030 00080000") + WithChecksum("GPTXT,01,01,02,FWVER=SPG 3.01") +
             WithChecksum("GPTXT,01,01,02,PROTVER=18.00") + WithChecksum("GPTXT,01,01,02,MOD=NEO-M8N-0");
    case Family::kUblox9:
      return WithChecksum("GNTXT,01,01,02,u-blox AG - www.u-blox.com") +
             WithChecksum("GNTXT,01,01,02,HW UBX 9 00190000") + WithChecksum("GNTXT,01,01,02,FWVER=SPG 4.04") +
             WithChecksum("GNTXT,01,01,02,PROTVER=32.01") + WithChecksum("GNTXT,01,01,02,MOD=NEO-M9N");
    case Family::kCasic:
      return WithChecksum("GPTXT,01,01,02,MA=CASIC") + WithChecksum("GPTXT,01,01,02,IC=AT6558R-5N-32-1C580901") +
             WithChecksum("GPTXT,01,01,02,SW=URANUS5,V5.3.0.0") + WithChecksum("GPTXT,01,01,02,MO=GB");
    default:
      return {};  // an Airoha part makes itself known only when asked
  }
}

// Eight GPS satellites, and with SBAS on two SBAS satellites (NMEA 46, 48).
std::string Persona::Gsv() const {
  static const char* const kSatellites[] = {"04,40,083,46", "05,12,140,38", "09,65,270,44", "12,35,310,41",
                                            "24,20,045,36", "25,54,190,42", "29,08,330,30", "31,28,230,39",
                                            "46,38,210,33", "48,34,160,31"};
  const int count = sbas_ ? 10 : 8;
  const int messages = (count + 3) / 4;
  std::string out;
  for (int m = 0; m < messages; ++m) {
    std::string body = "GPGSV," + std::to_string(messages) + "," + std::to_string(m + 1) + "," + std::to_string(count);
    for (int s = m * 4; s < count && s < m * 4 + 4; ++s) body += std::string(",") + kSatellites[s];
    out += WithChecksum(body);
  }
  return out;
}

std::string Persona::LinesAtNewRate() const { return family_ == Family::kSirf ? StartLines() : std::string(); }

std::string Persona::NextCycle(std::int64_t utcMs) {
  char time[48];
  char date[32] = "081226";
  if (utcMs >= 0) {
    const std::int64_t dayMs = utcMs % 86400000;
    std::snprintf(time, sizeof time, "%02d%02d%02d.%02d", static_cast<int>(dayMs / 3600000),
                  static_cast<int>(dayMs / 60000 % 60), static_cast<int>(dayMs / 1000 % 60),
                  static_cast<int>(dayMs % 1000 / 10));
    UtcDate(utcMs / 1000, date);
    lastStampMs_ = utcMs;
  } else {
    const long step = 100 / static_cast<long>(hz_);
    const long stamp = (centis_ + step - 1) / step * step;
    centis_ = stamp + step;
    const long second = stamp / 100;
    std::snprintf(time, sizeof time, "12%02ld%02ld.%02ld", (second / 60) % 60, second % 60, stamp % 100);
    lastStampMs_ = 10LL * stamp;
  }
  if (coldPending_) {
    coldPending_ = false;
    fixFromMs_ = lastStampMs_ + timeToFixMs_;
  }
  const bool fix = noFix_ == 0 && lastStampMs_ >= fixFromMs_;
  if (noFix_ > 0) --noFix_;
  // With corrections: quality, sats, ... "age,station" ("1.0,0042"), and the mode.
  const bool rtk = fix && rtk_.quality != 0;
  char quality[16] = "0,00";
  char corrections[64] = ",";
  if (fix) std::snprintf(quality, sizeof quality, "%d,08", rtk ? rtk_.quality : 1);
  if (rtk) std::snprintf(corrections, sizeof corrections, "%ld.%ld,%04d", rtk_.ageTenths / 10, rtk_.ageTenths % 10, rtk_.station);
  std::string out;
  out += WithChecksum(std::string("GPRMC,") + time + (fix ? ",A" : ",V") +
                      ",2503.7123,N,12138.7456,E,0.0,0.0," + date + ",,," + (rtk ? rtk_.mode : 'A'));
  out += WithChecksum(std::string("GPGGA,") + time + ",2503.7123,N,12138.7456,E," + quality + ",0.9,45.3,M,15.2,M," +
                      corrections);
  out += WithChecksum(fix ? "GPGSA,A,3,04,05,09,12,24,25,29,31,,,,,1.8,0.9,1.5" : "GPGSA,A,1,,,,,,,,,,,,,,,");
  out += Gsv();
  if (vtg_) out += WithChecksum(fix ? "GPVTG,0.0,T,,M,0.0,N,0.0,K,A" : "GPVTG,,T,,M,,N,,K,N");
  if (family_ == Family::kCasic) out += WithChecksum("GPTXT,01,01,01,ANTENNA OK");
  return out;
}

std::string Persona::ColdStart(std::string& reply) {
  if (timeToFixMs_ > 0) {
    coldPending_ = true;  // timed from the next cycle, which may be the first
  } else {
    noFix_ = 5;
  }
  reply += StartLines();
  return "cold start";
}

std::string Persona::PortRateJob(unsigned long baud, bool& taken) {
  const std::string rate = std::to_string(baud);
  if (!TakesPortRate(family_, baud)) {
    taken = false;
    return "port rate " + rate + " ignored";
  }
  baud_ = baud;
  return "port rate " + rate;
}

std::string Persona::PortRateField(std::string_view text, bool& taken) {
  unsigned long baud = 0;
  if (Whole(text, baud)) return PortRateJob(baud, taken);
  taken = false;
  return "port rate " + std::string(text) + " ignored";
}

std::string Persona::FixRateJob(unsigned long periodMs, bool& taken) {
  const unsigned hz = HzForPeriod(periodMs);
  if (hz == 0) {
    taken = false;
    return "fix period " + std::to_string(periodMs) + " ms ignored";
  }
  hz_ = hz;
  return "fix rate " + std::to_string(hz) + " Hz";
}

std::string Persona::FixRateField(std::string_view text, bool& taken) {
  unsigned long periodMs = 0;
  if (Whole(text, periodMs)) return FixRateJob(periodMs, taken);
  taken = false;
  return "fix period " + std::string(text) + " ms ignored";
}

// A SiRF part answers neither: it moves to the new rate and restarts there,
// or switches its 5 Hz mode (PSRF103 mode 6) on or off (mode 7).
std::string Persona::SirfLine(std::string_view address, std::string_view line) {
  bool taken = true;
  if (address == "$PSRF100") {
    const bool nmea8N1 = Field(line, 1) == "1" && Field(line, 3) == "8" && Field(line, 4) == "1" && Field(line, 5) == "0";
    if (nmea8N1) return PortRateField(Field(line, 2), taken);
    return "port rate " + std::string(Field(line, 2)) + " ignored";
  }
  if (address == "$PSRF103" && Field(line, 2) == "6") return FixRateJob(200, taken);
  if (address == "$PSRF103" && Field(line, 2) == "7") return FixRateJob(1000, taken);
  return {};
}

std::string Persona::MediaTekLine(std::string_view address, std::string_view line, std::string& reply) {
  if (address == "$PMTK103") return ColdStart(reply);
  if (address == "$PMTK605") {
    reply += WithChecksum("PMTK705,AXN_5.1.7_3333_18021200,0005,PA1010D,1.0");
    return "identify";
  }
  bool taken = true;
  std::string job;
  if (address == "$PMTK314") job = Turn(vtg_, Field(line, 3) != "0", "VTG");
  if (address == "$PMTK313") job = Turn(sbas_, Field(line, 1) == "1", "SBAS");
  if (address == "$PMTK301") job = "DGPS source " + std::string(Field(line, 1));
  if (address == "$PMTK225") job = Turn(powerSave_, Field(line, 1) != "0", "power save");
  if (address == "$PMTK251") job = PortRateField(Field(line, 1), taken);
  if (address == "$PMTK220") job = FixRateField(Field(line, 1), taken);
  // The position fix interval follows the fix interval set before it.
  if (address == "$PMTK300") job = "position fix interval " + std::string(Field(line, 1)) + " ms";
  if (!job.empty() && taken) reply += WithChecksum("PMTK001," + std::string(address.substr(5)) + ",3");
  return job;
}

// A CASIC part acts on its commands without an answer.
std::string Persona::CasicLine(std::string_view address, std::string_view line, std::string& reply) {
  bool taken = true;
  if (address == "$PCAS10") return ColdStart(reply);
  if (address == "$PCAS03") return Turn(vtg_, Field(line, 6) != "0", "VTG");
  if (address == "$PCAS06") {
    reply += WithChecksum(Field(line, 1) == "1" ? "GPTXT,01,01,02,HW=ATGM336H,0001" :
                                                   "GPTXT,01,01,02,SW=URANUS5,V5.3.0.0");
    return "identify";
  }
  if (address == "$PCAS01") {
    unsigned long index = 0;
    if (Whole(Field(line, 1), index) && index < sizeof kCasicRates / sizeof kCasicRates[0]) {
      return PortRateJob(kCasicRates[index], taken);
    }
    return "port rate index " + std::string(Field(line, 1)) + " ignored";
  }
  if (address == "$PCAS02") return FixRateField(Field(line, 1), taken);
  if (address == "$PCAS00") return "save";
  return {};
}

std::string Persona::AirohaLine(std::string_view address, std::string_view line, std::string& reply) {
  bool taken = true;
  std::string job;
  if (address == "$PAIR006") job = ColdStart(reply);
  if (address == "$PAIR062" && Field(line, 1) == "5") job = Turn(vtg_, Field(line, 2) != "0", "VTG");
  if (address == "$PAIR410") job = Turn(sbas_, Field(line, 1) != "0", "SBAS");
  if (address == "$PAIR020") {
    reply += WithChecksum("PAIR020,AG3352Q_V2.5.0.AG3352_20230420");
    job = "identify";
  }
  if (address == "$PAIR864") job = PortRateField(Field(line, 3), taken);
  if (address == "$PAIR050") job = FixRateField(Field(line, 1), taken);
  if (address == "$PAIR513") job = "save";
  if (!job.empty() && taken) reply += WithChecksum("PAIR001," + std::string(address.substr(5)) + ",0");
  if (address == "$PQTMVERNO") {
    reply += WithChecksum("PQTMVER,1,MODULE,LC29HAANR11A03S,2023/03/08,14:39:58");
    job = "identify";
  }
  return job;
}

std::string Persona::OnLine(std::string_view line, std::string& reply) {
  const std::string_view address = Field(line, 0);
  switch (family_) {
    case Family::kSirf:
      return SirfLine(address, line);
    case Family::kMediaTek:
      return MediaTekLine(address, line, reply);
    case Family::kCasic:
      return CasicLine(address, line, reply);
    case Family::kAiroha:
      return AirohaLine(address, line, reply);
    default:
      return {};  // a u-blox takes its commands as UBX frames
  }
}

// CFG-PRT for UART1 (its rate at payload offset 8), CFG-RATE (the
// measurement period first) and CFG-CFG with something to save.
std::string Persona::Ublox8Config(int id, std::string_view payload, bool& taken) {
  if (id == 0x01 && payload.size() == 3 && payload[0] == '\xF0' && payload[1] == 0x05) {
    return Turn(vtg_, payload[2] != 0, "VTG");
  }
  if (id == 0x16 && payload.size() == 8) return Turn(sbas_, (payload[0] & 1) != 0, "SBAS");
  if (id == 0x11 && payload.size() == 2) return Turn(powerSave_, payload[1] != 0, "power save");
  if (id == 0x00 && payload.size() == 20 && payload[0] == 1) {
    // The whole setting is written: what it says of the protocols holds
    // from now on, and an RTK rover told to take no RTCM 3 says so.
    const bool rtcmBefore = RtcmIn();
    portIn_ = static_cast<unsigned char>(payload[12]);
    portOut_ = static_cast<unsigned char>(payload[14]);
    std::string jobs = PortRateJob(static_cast<unsigned long>(LittleEndian(payload, 8, 4)), taken);
    if (rtcmBefore && !RtcmIn()) AddJob(jobs, "RTCM 3 in off");
    return jobs;
  }
  if (id == 0x08 && payload.size() == 6) return FixRateJob(static_cast<unsigned long>(LittleEndian(payload, 0, 2)), taken);
  if (id == 0x09 && (payload.size() == 12 || payload.size() == 13) && LittleEndian(payload, 4, 4) != 0) return "save";
  return {};
}

// A VALSET takes effect when its layers include RAM; one for the
// battery-backed RAM or the flash alone is kept for the next start and
// changes nothing now. A rate it cannot take refuses the whole frame, as the
// part applies a VALSET whole or not at all.
std::string Persona::Valset(std::string_view payload, bool& taken) {
  if (payload.size() < 4 || payload[0] != 0) return {};
  const unsigned layers = static_cast<unsigned char>(payload[1]);
  // Values written to the battery-backed RAM or the flash are stored, not
  // a save of all the part holds (CFG-CFG's "save").
  if ((layers & 1) == 0) return (layers & 6) != 0 ? "values stored" : "";
  std::uint64_t baud = 0;
  std::uint64_t period = 0;
  const bool hasBaud = ValsetValue(payload, kKeyUart1Baud, baud);
  const bool hasPeriod = ValsetValue(payload, kKeyMeasurePeriod, period);
  if (hasBaud && !TakesPortRate(family_, static_cast<unsigned long>(baud))) {
    return PortRateJob(static_cast<unsigned long>(baud), taken);
  }
  if (hasPeriod && HzForPeriod(static_cast<unsigned long>(period)) == 0) {
    return FixRateJob(static_cast<unsigned long>(period), taken);
  }
  std::string jobs;
  std::uint64_t value = 0;
  if (ValsetValue(payload, kKeyVtgUart1, value)) AddJob(jobs, Turn(vtg_, value != 0, "VTG"));
  if (ValsetValue(payload, kKeySbas, value)) AddJob(jobs, Turn(sbas_, value != 0, "SBAS"));
  if (ValsetValue(payload, kKeyPowerSave, value)) AddJob(jobs, Turn(powerSave_, value != 0, "power save"));
  if (hasBaud) AddJob(jobs, PortRateJob(static_cast<unsigned long>(baud), taken));
  if (hasPeriod) AddJob(jobs, FixRateJob(static_cast<unsigned long>(period), taken));
  if ((layers & 6) != 0) AddJob(jobs, "values stored");
  return jobs;
}

std::string Persona::OnFrame(std::string_view frame, std::string& reply) {
  if (frame.size() < 8 || static_cast<unsigned char>(frame[0]) != 0xB5) return {};
  const int cls = static_cast<unsigned char>(frame[2]);
  const int id = static_cast<unsigned char>(frame[3]);
  const std::string_view payload = frame.substr(6, frame.size() - 8);
  if (cls == 0x0A && id == 0x04 && payload.empty()) {
    if (family_ == Family::kCasic) {  // a CASIC part answers UBX polls too
      reply += UbxFrame(0x05, 0x00, std::string("\x0A\x04", 2));
      return "UBX poll";
    }
    if (!IsUblox(family_)) return {};
    const bool nine = family_ == Family::kUblox9;
    std::string body;
    auto field = [&body](std::string_view text, std::size_t width) {
      body.append(text);
      body.append(width - text.size(), '\0');
    };
    field(nine ? "ROM SPG 4.04 (7f89f7)" : "ROM CORE 3.01 (107888)", 30);
    field(nine ? "00190000" : "00080000", 10);
    field(nine ? "FWVER=SPG 4.04" : "FWVER=SPG 3.01", 30);
    field(nine ? "PROTVER=32.01" : "PROTVER=18.00", 30);
    field(nine ? "MOD=NEO-M9N" : "MOD=NEO-M8N-0", 30);
    reply += UbxFrame(0x0A, 0x04, body);
    return "identify";
  }
  if (!IsUblox(family_) || cls != 0x06) return {};
  if (id == 0x04) return ColdStart(reply);  // CFG-RST: not acknowledged
  if (family_ == Family::kUblox8 && id == 0x00 && payload.size() == 1 && payload[0] == 1) {
    // The poll of UART1's setting: answered with it, then acknowledged.
    std::string setting("\x01\x00\x00\x00\xD0\x08\x00\x00", 8);
    for (int shift = 0; shift < 32; shift += 8) setting += static_cast<char>((baud_ >> shift) & 0xFF);
    setting += std::string{static_cast<char>(portIn_), '\0', static_cast<char>(portOut_), '\0'};
    setting += std::string(4, '\0');
    reply += UbxFrame(0x06, 0x00, setting);
    reply += UbxFrame(0x05, 0x01, frame.substr(2, 2));
    return "port setting polled";
  }
  bool taken = true;
  std::string job;
  // CFG-CFG is taken by the 9 and 10 as by the 8: it saves what they hold.
  if (family_ == Family::kUblox8 || id == 0x09) job = Ublox8Config(id, payload, taken);
  if (family_ == Family::kUblox9 && id == 0x8A) job = Valset(payload, taken);
  // Acknowledged, named by class and id: ACK-ACK for what it did, ACK-NAK
  // for what it did not know or could not take.
  reply += UbxFrame(0x05, job.empty() || !taken ? 0x00 : 0x01, frame.substr(2, 2));
  return job;
}

}  // namespace trelvane::sim
