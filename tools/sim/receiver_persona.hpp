// The simulated receiver speaking one family of today's receivers: its
// start-up lines, a fix cycle each fix period made from its settings, its
// answers to the identify queries, its acknowledgements, and what it does on
// its own family's commands: cold start (five cycles without a fix), VTG on
// or off, SBAS satellites in GSV on or off, the port rate, the fix rate
// (1, 2, 5 or 10 Hz, each cycle stamped to the hundredth of a second) and
// the save. Another family's commands are ignored, and so is a port rate the
// family's parts do not take: no answer (a u-blox's ACK-NAK), and the port
// stays where it is.
// No OS calls here; main.cpp drives it with a clock and a SerialDevice, and
// moves the device when PortRate() changes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "receiver/receiver_family.hpp"
#include "tools/sim/rtk_corrections.hpp"

namespace trelvane::sim {

using receiver::Family;

// The family named on the command line (sirf, mtk, ublox8, ublox9, casic,
// airoha); false for any other name.
bool ParseFamily(const char* name, Family& family);
const char* FamilyArgument(Family family);

// "$" + body + "*hh" + CR LF.
std::string WithChecksum(std::string_view body);
// B5 62, class, id, length, payload, Fletcher sum.
std::string UbxFrame(int cls, int id, std::string_view payload);

// The fix rates a receiver runs at; a command asks for one by its period
// (100, 200, 500 or 1000 ms).
constexpr unsigned kFixRatesHz[] = {1, 2, 5, 10};
bool IsFixRate(unsigned long hz);

class Persona {
 public:
  // A receiver whose port is at `baud`, making `hz` fixes a second (one
  // when `hz` is none of the fix rates).
  explicit Persona(Family family, unsigned long baud = 4800, unsigned hz = 1)
      : family_(family), baud_(baud), hz_(IsFixRate(hz) ? hz : 1) {}

  // What the receiver sends when it starts and after a cold start.
  std::string StartLines() const;
  // What it sends first at a new port rate: a SiRF part restarts there, so
  // its start-up lines; the others go on with their cycles.
  std::string LinesAtNewRate() const;
  // The next fix cycle's sentences, stamped with the time of day to the
  // hundredth; advances the clock by one fix period. A cycle falls on a whole
  // multiple of the period, as a receiver's fixes do. Given `utcMs` (ms since
  // 1970), the cycle carries that time and its date instead.
  std::string NextCycle(std::int64_t utcMs = -1);
  // After a cold start, no fix for `ms` from the next cycle on, rather than
  // for five cycles.
  void SetTimeToFix(long ms) { timeToFixMs_ = ms; }
  // The corrections' solution for the cycles from now on: with one, a cycle
  // with a fix reports its quality, age and base in GGA and its mode in RMC.
  void SetRtk(const RtkSolution& rtk) { rtk_ = rtk; }

  // Takes one line the monitor wrote (CR LF stripped) or one binary frame.
  // Appends the receiver's answer to `reply`; returns what was recognised
  // ("cold start", "VTG off", "port rate 115200", "fix rate 5 Hz", "save", "values stored",
  // "identify" ...) or "" for nothing of its family. A frame that asks for
  // several things returns them one a line. The answer to a port-rate
  // command is sent at the old rate; the port moves after it.
  std::string OnLine(std::string_view line, std::string& reply);
  std::string OnFrame(std::string_view frame, std::string& reply);

  int CyclesWithoutFix() const { return noFix_; }
  bool Vtg() const { return vtg_; }
  bool Sbas() const { return sbas_; }
  unsigned long PortRate() const { return baud_; }
  // A u-blox 8's UART1 takes RTCM 3 in (an RTK rover's setting), as its
  // port setting says: its corrections count only while it does.
  void TakeRtcmIn() { portIn_ = static_cast<unsigned char>(portIn_ | kRtcm3); }
  bool RtcmIn() const { return (portIn_ & kRtcm3) != 0; }
  unsigned FixRateHz() const { return hz_; }

 private:
  std::string ColdStart(std::string& reply);
  std::string Gsv() const;
  std::string SirfLine(std::string_view address, std::string_view line);
  std::string MediaTekLine(std::string_view address, std::string_view line, std::string& reply);
  std::string CasicLine(std::string_view address, std::string_view line, std::string& reply);
  std::string AirohaLine(std::string_view address, std::string_view line, std::string& reply);
  std::string Ublox8Config(int id, std::string_view payload, bool& taken);
  std::string Valset(std::string_view payload, bool& taken);
  // Moves to the rate, or names it ignored and clears `taken`; the ...Field
  // forms take the rate or period as a sentence's field.
  std::string PortRateJob(unsigned long baud, bool& taken);
  std::string PortRateField(std::string_view text, bool& taken);
  std::string FixRateJob(unsigned long periodMs, bool& taken);
  std::string FixRateField(std::string_view text, bool& taken);

  Family family_;
  unsigned long baud_;
  unsigned hz_;
  int noFix_ = 0;
  bool vtg_ = true;
  bool sbas_ = true;
  bool powerSave_ = false;
  RtkSolution rtk_;
  static constexpr unsigned char kRtcm3 = 0x20;  // the protocol masks' RTCM 3 bit
  unsigned char portIn_ = 0x03;                  // UART1's protocols in and out: UBX and NMEA
  unsigned char portOut_ = 0x03;
  long centis_ = 0;  // hundredths of a second since 12:00:00 of the next cycle
  long timeToFixMs_ = 0;            // 0: a cold start loses the fix for five cycles
  std::int64_t lastStampMs_ = 0;    // the last cycle's time
  std::int64_t fixFromMs_ = 0;      // a cycle stamped before this has no fix
  bool coldPending_ = false;        // a cold start waits for the next cycle to time it from
};

}  // namespace trelvane::sim
