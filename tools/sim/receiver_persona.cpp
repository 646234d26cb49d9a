#include "tools/sim/receiver_persona.hpp"

#include <cstdio>
#include <cstring>

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

// The value (1 byte) of `key` in a CFG-VALSET frame's payload; -1 when absent.
int ValsetValue(std::string_view frame, unsigned long key) {
  const std::size_t length = static_cast<unsigned char>(frame[4]) | (static_cast<unsigned char>(frame[5]) << 8);
  for (std::size_t at = 6 + 4; at + 5 <= 6 + length; at += 5) {
    unsigned long k = 0;
    for (int b = 3; b >= 0; --b) k = (k << 8) | static_cast<unsigned char>(frame[at + b]);
    if (k == key) return static_cast<unsigned char>(frame[at + 4]);
  }
  return -1;
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

std::string Persona::NextCycle() {
  const bool fix = noFix_ == 0;
  if (noFix_ > 0) --noFix_;
  const int t = second_++;
  char time[16];
  std::snprintf(time, sizeof time, "12%02d%02d.00", (t / 60) % 60, t % 60);
  std::string out;
  out += WithChecksum(std::string("GPRMC,") + time + (fix ? ",A" : ",V") +
                      ",2503.7123,N,12138.7456,E,0.0,0.0,081226,,,A");
  out += WithChecksum(std::string("GPGGA,") + time + ",2503.7123,N,12138.7456,E," + (fix ? "1,08" : "0,00") +
                      ",0.9,45.3,M,15.2,M,,");
  out += WithChecksum(fix ? "GPGSA,A,3,04,05,09,12,24,25,29,31,,,,,1.8,0.9,1.5" : "GPGSA,A,1,,,,,,,,,,,,,,,");
  out += Gsv();
  if (vtg_) out += WithChecksum(fix ? "GPVTG,0.0,T,,M,0.0,N,0.0,K,A" : "GPVTG,,T,,M,,N,,K,N");
  if (family_ == Family::kCasic) out += WithChecksum("GPTXT,01,01,01,ANTENNA OK");
  return out;
}

std::string Persona::ColdStart(std::string& reply) {
  noFix_ = 5;
  reply += StartLines();
  return "cold start";
}

std::string Persona::OnLine(std::string_view line, std::string& reply) {
  const std::string_view address = Field(line, 0);
  switch (family_) {
    case Family::kMediaTek: {
      if (address == "$PMTK103") return ColdStart(reply);
      if (address == "$PMTK605") {
        reply += WithChecksum("PMTK705,AXN_5.1.7_3333_18021200,0005,PA1010D,1.0");
        return "identify";
      }
      std::string job;
      if (address == "$PMTK314") job = Turn(vtg_, Field(line, 3) != "0", "VTG");
      if (address == "$PMTK313") job = Turn(sbas_, Field(line, 1) == "1", "SBAS");
      if (address == "$PMTK301") job = "DGPS source " + std::string(Field(line, 1));
      if (address == "$PMTK225") job = Turn(powerSave_, Field(line, 1) != "0", "power save");
      if (!job.empty()) reply += WithChecksum("PMTK001," + std::string(address.substr(5)) + ",3");
      return job;
    }
    case Family::kCasic:
      if (address == "$PCAS10") return ColdStart(reply);
      if (address == "$PCAS03") return Turn(vtg_, Field(line, 6) != "0", "VTG");
      if (address == "$PCAS06") {
        reply += WithChecksum(Field(line, 1) == "1" ? "GPTXT,01,01,02,HW=ATGM336H,0001" :
                                                       "GPTXT,01,01,02,SW=URANUS5,V5.3.0.0");
        return "identify";
      }
      return {};
    case Family::kAiroha: {
      std::string job;
      if (address == "$PAIR006") job = ColdStart(reply);
      if (address == "$PAIR062" && Field(line, 1) == "5") job = Turn(vtg_, Field(line, 2) != "0", "VTG");
      if (address == "$PAIR410") job = Turn(sbas_, Field(line, 1) != "0", "SBAS");
      if (address == "$PAIR020") {
        reply += WithChecksum("PAIR020,AG3352Q_V2.5.0.AG3352_20230420");
        job = "identify";
      }
      if (!job.empty()) reply += WithChecksum("PAIR001," + std::string(address.substr(5)) + ",0");
      if (address == "$PQTMVERNO") {
        reply += WithChecksum("PQTMVER,1,MODULE,LC29HAANR11A03S,2023/03/08,14:39:58");
        job = "identify";
      }
      return job;
    }
    default:
      return {};  // a u-blox takes its commands as UBX frames
  }
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
  std::string job;
  if (id == 0x04) return ColdStart(reply);  // CFG-RST: not acknowledged
  if (family_ == Family::kUblox8) {
    if (id == 0x01 && payload.size() == 3 && payload[0] == '\xF0' && payload[1] == 0x05) {
      job = Turn(vtg_, payload[2] != 0, "VTG");
    }
    if (id == 0x16 && payload.size() == 8) job = Turn(sbas_, (payload[0] & 1) != 0, "SBAS");
    if (id == 0x11 && payload.size() == 2) job = Turn(powerSave_, payload[1] != 0, "power save");
  } else if (id == 0x8A) {
    const int vtg = ValsetValue(frame, 0x209100B1ul);
    const int sbas = ValsetValue(frame, 0x10310020ul);
    const int power = ValsetValue(frame, 0x20D00001ul);
    if (vtg >= 0) job = Turn(vtg_, vtg != 0, "VTG");
    if (sbas >= 0) job = Turn(sbas_, sbas != 0, "SBAS");
    if (power >= 0) job = Turn(powerSave_, power != 0, "power save");
  }
  // Acknowledged, named by class and id, whether or not the setting was known.
  reply += UbxFrame(0x05, job.empty() ? 0x00 : 0x01, frame.substr(2, 2));
  return job;
}

}  // namespace trelvane::sim
