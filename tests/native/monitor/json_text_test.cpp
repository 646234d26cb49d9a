// The one JSON writer: fixed decimals rounded as printf rounds them, a text
// that must fit spoiled by what does not, and a streaming text that gives
// the same bytes through a drain of any buffer size.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "monitor/json_text.hpp"

namespace {

using trelvane::monitor::JsonText;

TEST(JsonText, FixedRoundsAsPrintfAndSpoilsWhatDoesNotFit) {
  const struct { double value; int decimals; const char* text; } cases[] = {
      {14.2, 4, "14.2000"},      {0.125, 2, "0.12"},  {0.375, 2, "0.38"},  // exact halves go to the even digit
      {2.675, 2, "2.67"},        // just below the half in binary
      {-45.877567167, 9, "-45.877567167"}, {-0.0004, 3, "0.000"}, {-0.5, 0, "0"}, {-1.5, 0, "-2"},
      {9999999.99, 2, "9999999.99"}, {1e16, 0, "10000000000000000"},
      {1e17, 0, nullptr}, {std::numeric_limits<double>::quiet_NaN(), 2, nullptr},
      {std::numeric_limits<double>::infinity(), 1, nullptr},
  };
  for (const auto& c : cases) {
    char buffer[64];
    JsonText json(buffer, sizeof buffer);
    json.Fixed(c.value, c.decimals);
    const int length = json.Finish();
    if (c.text == nullptr) {
      EXPECT_TRUE(json.Spoiled()) << c.value;
      EXPECT_EQ(length, 0);
    } else {
      EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(length)), c.text) << c.value;
    }
  }
  char small[8];
  JsonText json(small, sizeof small);
  json.Literal("{\"a\":");
  json.Int(-1234);
  EXPECT_EQ(json.Finish(), 0) << "nine bytes do not fit eight";
  EXPECT_EQ(small[0], 0);
}

// The same writes into one large buffer and through drains of every size
// from 1 byte up: the bytes are the same, and what was written since a place
// is known only while no drain has taken part of it.
TEST(JsonText, AStreamingTextGivesTheSameBytesThroughAnyBuffer) {
  const auto write = [](JsonText& json) {
    json.Literal("{\"readout\":");
    json.DesktopString("52\xA2X51.0093'");  // the degree sign in the desktop's code page
    json.Literal(",\"name\":");
    json.Utf16String(u"\u00e9t\u00e9 \U0001F600 \xD800");  // and an unpaired surrogate
    json.Raw(",\"n\":");
    json.Int(-9223372036854775807LL - 1);
    json.Raw(",\"shortest\":");
    json.Shortest(0.64);
    json.Raw(",\"long\":\"");
    const std::string run(300, 'x');
    json.Raw(run.c_str(), static_cast<int>(run.size()));
    json.Literal("\"}\n");
  };
  char whole[1024];
  JsonText reference(whole, sizeof whole);
  write(reference);
  const std::string expected(whole, static_cast<std::size_t>(reference.Finish()));
  EXPECT_NE(expected.find("\"52\xC2\xB0" "51.0093'\""), std::string::npos);
  EXPECT_NE(expected.find("\"\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80 \xEF\xBF\xBD\""), std::string::npos);
  EXPECT_NE(expected.find("\"n\":-9223372036854775808,\"shortest\":0.64,"), std::string::npos);

  for (int capacity : {1, 2, 3, 7, 64, 299, 301}) {
    std::string drained;
    char buffer[512];
    JsonText json(buffer, capacity, JsonText::Drain{[](void* into, const char* bytes, int length) {
                                                      static_cast<std::string*>(into)->append(bytes, length);
                                                      return true;
                                                    },
                                                    &drained});
    const JsonText::Position start = json.Here();
    write(json);
    const char* since = nullptr;
    std::size_t count = 0;
    EXPECT_FALSE(json.WrittenSince(start, since, count)) << capacity;
    EXPECT_TRUE(json.Flush());
    EXPECT_FALSE(json.Spoiled());
    EXPECT_EQ(drained, expected) << capacity;
  }
}

}  // namespace
