// The simulated receiver speaking one family of today's receivers: its
// start-up lines, a fix cycle a second made from its settings, its answers
// to the identify queries, its acknowledgements, and what it does on its own
// family's commands (cold start: five cycles without a fix; VTG on or off;
// SBAS satellites in GSV on or off). Another family's commands are ignored.
// No OS calls here; main.cpp drives it with a clock and a SerialDevice.
#pragma once

#include <string>
#include <string_view>

#include "receiver/receiver_family.hpp"

namespace trelvane::sim {

using link::Family;

// The family named on the command line (sirf, mtk, ublox8, ublox9, casic,
// airoha); false for any other name.
bool ParseFamily(const char* name, Family& family);
const char* FamilyArgument(Family family);

// "$" + body + "*hh" + CR LF.
std::string WithChecksum(std::string_view body);
// B5 62, class, id, length, payload, Fletcher sum.
std::string UbxFrame(int cls, int id, std::string_view payload);

class Persona {
 public:
  explicit Persona(Family family) : family_(family) {}

  // What the receiver sends when it starts and after a cold start.
  std::string StartLines() const;
  // The next fix cycle's sentences; advances the clock by one second.
  std::string NextCycle();

  // Takes one line the monitor wrote (CR LF stripped) or one binary frame.
  // Appends the receiver's answer to `reply`; returns what was recognised
  // ("cold start", "VTG off", "identify" ...) or "" for nothing of its family.
  std::string OnLine(std::string_view line, std::string& reply);
  std::string OnFrame(std::string_view frame, std::string& reply);

  int CyclesWithoutFix() const { return noFix_; }
  bool Vtg() const { return vtg_; }
  bool Sbas() const { return sbas_; }

 private:
  std::string ColdStart(std::string& reply);
  std::string Gsv() const;

  Family family_;
  int noFix_ = 0;
  bool vtg_ = true;
  bool sbas_ = true;
  bool powerSave_ = false;
  int second_ = 0;
};

}  // namespace trelvane::sim
