// A capture's fix times made those of a receiver at any fix rate: each
// sentence that carries the fix's UTC (GGA, RMC, GNS, GST, ZDA, GBS, GRS,
// GLL) gets it as hhmmss.ss, its checksum worked out again, so that a
// capture recorded at 1 Hz plays as a receiver whose fixes come 0.1 s
// apart. Portable; no allocation beyond the strings handed in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trelvane::sim {

constexpr std::uint32_t kCentisecondsPerDay = 24u * 3600u * 100u;

// Where `line`'s fix time field lies: false for a sentence without one.
bool FixTimeField(std::string_view line, std::size_t& at, std::size_t& length);

// The time in `line` (hhmmss with any decimals) in hundredths of a second
// of the day; false when it has none or it does not read as a time.
bool ReadFixTime(std::string_view line, std::uint32_t& centiseconds);

// `line` (without its line end) with its fix time written as hhmmss.ss,
// the same time, and its checksum worked out again. Lines without a fix
// time are left as they are.
void TimeInHundredths(std::string& line);

// The UTC date of `utcSeconds` (since 1970) as an RMC writes it: ddmmyy.
void UtcDate(std::int64_t utcSeconds, char (&ddmmyy)[32]);

// Every fix time of `cycle` (whole lines, CR LF ended, as written by
// TimeInHundredths) set to `centiseconds` of the day, in place: the lengths
// stay, so what was counted of the cycle still holds. Given `ddmmyy`, an
// RMC's date becomes it; with `noFix`, an RMC says V and a GGA quality 0.
void StampCycle(std::string& cycle, std::uint32_t centiseconds, const char* ddmmyy = nullptr, bool noFix = false);

}  // namespace trelvane::sim
