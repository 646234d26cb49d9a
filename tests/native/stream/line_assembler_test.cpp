// The line cutter the readers and trelvane-decode share, fed byte by byte and
// in random chunks.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "nmea/build_policy.hpp"
#include "stream/line_assembler.hpp"
#include "tests/native/nmea/nmea_test_support.hpp"

namespace {

using trelvane::stream::LineAssembler;
using trelvane::testing::Widen;

template <class Ch>
std::vector<std::basic_string<Ch>> Cut(LineAssembler<Ch>& cutter, const std::string& bytes, int* overflows = nullptr) {
  std::vector<std::basic_string<Ch>> lines;
  for (unsigned char b : bytes) {
    switch (cutter.Push(b)) {
      case LineAssembler<Ch>::Step::kLine:
        EXPECT_EQ(cutter.Line()[cutter.LineLength()], Ch(0));
        lines.emplace_back(cutter.Line(), cutter.LineLength());
        break;
      case LineAssembler<Ch>::Step::kOverflow:
        if (overflows != nullptr) ++*overflows;
        break;
      case LineAssembler<Ch>::Step::kStored:
        break;
    }
  }
  return lines;
}

template <class Ch>
class LineAssemblerTest : public ::testing::Test {};
using CharTypes = ::testing::Types<char, trelvane::nmea::Utf16Unit>;
TYPED_TEST_SUITE(LineAssemblerTest, CharTypes);

TYPED_TEST(LineAssemblerTest, KeepsCarriageReturnsAndEndsAtLineFeed) {
  LineAssembler<TypeParam> cutter;
  const std::string gsa = "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n";
  auto lines = Cut(cutter, gsa + "\r\n" + "bare\n" + "mid\rline\r\n" + "tail without end");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], Widen<TypeParam>(gsa));
  EXPECT_EQ(lines[1], Widen<TypeParam>("\r\n"));
  EXPECT_EQ(lines[2], Widen<TypeParam>("bare\n"));
  EXPECT_EQ(lines[3], Widen<TypeParam>("mid\rline\r\n"));
  EXPECT_EQ(cutter.Pending(), 16);
}

TYPED_TEST(LineAssemblerTest, BytesAboveAsciiWidenToOneUnitEach) {
  LineAssembler<TypeParam> cutter;
  auto lines = Cut(cutter, std::string("\xA2\x58\xFF\n", 4));
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_EQ(lines[0].size(), 4u);
  EXPECT_EQ(static_cast<unsigned>(lines[0][0]) & 0xFFu, 0xA2u);
  EXPECT_EQ(static_cast<unsigned>(lines[0][2]) & 0xFFu, 0xFFu);
}

TYPED_TEST(LineAssemblerTest, HoldsAtMost510BytesBeforeTheLineFeed) {
  LineAssembler<TypeParam> cutter;
  auto lines = Cut(cutter, std::string(510, 'x') + "\n");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 511u);

  // 511 bytes stored: the next byte, a line feed included, drops them all, and
  // what follows starts a new line.
  int overflows = 0;
  lines = Cut(cutter, std::string(511, 'y') + "\n" + "$GPGGA\r\n", &overflows);
  EXPECT_EQ(overflows, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], Widen<TypeParam>("$GPGGA\r\n"));

  overflows = 0;
  lines = Cut(cutter, std::string(512, 'z') + "ok\n", &overflows);
  EXPECT_EQ(overflows, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], Widen<TypeParam>("ok\n"));
}

TYPED_TEST(LineAssemblerTest, DiscardDropsAPartialLine) {
  LineAssembler<TypeParam> cutter;
  Cut(cutter, "$GPRMC,1235");
  cutter.Discard();
  auto lines = Cut(cutter, "19,A*00\r\n");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], Widen<TypeParam>("19,A*00\r\n"));
}

// The same lines come out whether the stream arrives byte by byte or in
// chunks of any size: the cutter keeps no state but the line in progress.
TEST(LineAssembler, ChunkingDoesNotChangeTheLines) {
  std::string stream;
  std::mt19937 random(7);
  for (int i = 0; i < 400; ++i) {
    const int length = static_cast<int>(random() % 700);
    for (int k = 0; k < length; ++k) stream.push_back(static_cast<char>(random() % 4 == 0 ? '\r' : 'a' + k % 26));
    stream.push_back('\n');
  }
  LineAssembler<char> whole;
  const auto expected = Cut(whole, stream);
  ASSERT_GT(expected.size(), 200u);

  LineAssembler<char> chunked;
  std::vector<std::string> got;
  for (std::size_t at = 0; at < stream.size();) {
    const std::size_t n = std::min<std::size_t>(1 + random() % 97, stream.size() - at);
    for (auto& line : Cut(chunked, stream.substr(at, n))) got.push_back(line);
    at += n;
  }
  EXPECT_EQ(got, expected);
}

}  // namespace
