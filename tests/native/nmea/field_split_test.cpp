// Reading numbers and cutting sentences into FieldTable slots.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "nmea/field_table.hpp"
#include "nmea/read_number.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace trelvane::testing {
namespace {

using nmea::FieldTable;

template <class Ch>
class FieldSplitTest : public ::testing::Test {};
using CharTypes = ::testing::Types<char, nmea::Utf16Unit>;
TYPED_TEST_SUITE(FieldSplitTest, CharTypes);

TYPED_TEST(FieldSplitTest, ReadsNumbersAsPercentDDoes) {
  struct {
    const char* field;
    int position;
    int value;
  } const cases[] = {
      {"123519", 0, 123519},  {"123519", 2, 3519},   {"123519", 4, 19},    {"123519.000", 0, 123519},
      {"4916.4500", 5, 4500}, {"0.35", 0, 0},        {"022.4", 0, 22},     {"", 0, 0},
      {"12", 2, 0},           {"12", 5, 0},          {" 42", 0, 42},       {"\t-7x", 0, -7},
      {"+8", 0, 8},           {"-", 0, 0},           {"A", 0, 0},          {"12-34", 2, -34},
      {"99999999999999999999", 0, INT_MAX},          {"-99999999999999999999", 0, INT_MIN},
      {"2147483647", 0, INT_MAX},                    {"-2147483648", 0, INT_MIN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " at " + std::to_string(c.position));
    EXPECT_EQ(nmea::ReadNumber(Widen<TypeParam>(c.field).c_str(), c.position), c.value);
  }
}

template <class Ch>
std::vector<std::string> Slots(const FieldTable<Ch>& fields, int count) {
  std::vector<std::string> out;
  for (int s = 0; s < count; ++s) out.push_back(Utf8(fields[s]));
  return out;
}

template <class Ch>
FieldTable<Ch> Dirty() {
  FieldTable<Ch> fields;
  for (auto& slot : fields.slot) {
    for (auto& c : slot) c = Ch('#');
    slot[nmea::kSlotChars - 1] = Ch(0);
  }
  return fields;
}

TYPED_TEST(FieldSplitTest, SplitsAtCommaStarAndCarriageReturn) {
  auto fields = Dirty<TypeParam>();
  const auto line = Widen<TypeParam>("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n");
  nmea::SplitFields(line.c_str(), 19, fields);
  const std::vector<std::string> expected = {"$GPGSA", "A", "3", "04", "05", "", "09", "12", "", "",
                                             "24",     "",  "",  "",   "",   "2.5", "1.3", "2.1", "39"};
  EXPECT_EQ(Slots(fields, 19), expected);
}

TYPED_TEST(FieldSplitTest, SlotsAfterTheEndOfTheLineAreEmpty) {
  struct {
    const char* line;
    std::vector<std::string> slots;
  } const cases[] = {
      // The carriage return ends the content, even in mid-line.
      {"$GPRMC,1,A*00\r\n", {"$GPRMC", "1", "A", "00", "", ""}},
      {"$GPRMC,1\rA,B\r\n", {"$GPRMC", "1", "", "", "", ""}},
      // A line feed is not a delimiter: it stays in the field it ends.
      {"$GPRMC,1*0\n", {"$GPRMC", "1", "0\n", "", "", ""}},
      // The end of the text ends the content too.
      {"$GPRMC,1", {"$GPRMC", "1", "", "", "", ""}},
      {"", {"", "", "", "", "", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    auto fields = Dirty<TypeParam>();
    nmea::SplitFields(Widen<TypeParam>(c.line).c_str(), 6, fields);
    EXPECT_EQ(Slots(fields, 6), c.slots);
  }
}

TYPED_TEST(FieldSplitTest, CutsALongFieldAndGoesOnAtItsDelimiter) {
  auto fields = Dirty<TypeParam>();
  const std::string longField(60, 'x');
  nmea::SplitFields(Widen<TypeParam>("$GPTXT," + longField + ",next*00\r\n").c_str(), 4, fields);
  EXPECT_EQ(Utf8(fields[1]), std::string(47, 'x'));
  EXPECT_EQ(Utf8(fields[2]), "next");
  EXPECT_EQ(Utf8(fields[3]), "00");
}

TYPED_TEST(FieldSplitTest, GsvSplitCountsTheSatellitesItCarries) {
  struct {
    const char* line;
    int satellites;
    int lastSlot;  // the last slot the split filled
  } const cases[] = {
      {"$GPGSV,1,1,00*79\r\n", 0, 4},
      {"$GPGSV,3,3,09,25,08,,*45\r\n", 1, 8},
      {"$GPGSV,3,3,11,15,17,310,,16,19,101,30,21,22,264,21*7A\r\n", 3, 16},
      {"$GPGSV,3,1,12,23,51,148,32,20,19,073,26,04,18,310,19,13,49,215,24*7F\r\n", 4, 20},
      // A fifth satellite does not fit the table: fields after slot 20 are ignored.
      {"$GPGSV,3,1,12,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20*00\r\n", 4, 20},
      // Newer receivers add a signal id after the last satellite: it is no satellite.
      {"$GPGSV,4,1,16,03,38,277,40,06,63,197,39,07,58,132,50,11,28,048,40,1*6D\r\n", 4, 20},
      {"$GPGSV,3,3,11,24,,,,39,,,34,46,,,49,1*60\r\n", 3, 17},
      {"$GPGSV,4,4,13,46,,,50,1*61\r\n", 1, 9},
      // A satellite cut short by the checksum is not counted either.
      {"$GPGSV,1,1,01,07,79*00\r\n", 0, 6},
      {"$GPGSV*00\r\n", 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    auto fields = Dirty<TypeParam>();
    EXPECT_EQ(nmea::SplitGsv(Widen<TypeParam>(c.line).c_str(), fields), c.satellites);
    for (int s = c.lastSlot + 1; s < nmea::kMaxSlots; ++s) EXPECT_EQ(Utf8(fields[s]), "") << "slot " << s;
  }
}

}  // namespace
}  // namespace trelvane::testing
