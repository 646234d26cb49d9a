// The handheld serial link on the virtual-cable rig (COM7, receiver's end
// COM17), with UTF-16 lines, its event wait, and the saved port.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <string>

#include "link/serial_link_handheld.hpp"
#include "receiver/link_settings.hpp"
#include "tests/rig/rig.hpp"
#include "tests/win/link/corrections_cases.hpp"
#include "tests/win/link/link_cases.hpp"
#include "tests/win/link/serial_test_support.hpp"

namespace {

using trelvane::link::HandheldLink;
using trelvane::rig::Cable;
using trelvane::rig::LineWindow;
using trelvane::rig::ReceiverEnd;
using trelvane::test::Delivered;
using trelvane::test::kGsa;
using namespace trelvane::test;  // where the shared link cases are registered

constexpr int kBaud57600 = 6;
constexpr DWORD kLineWaitMs = 3000;

// The saved port as the handheld's refill reads it back, or "" when absent.
std::wstring SavedPort(DWORD* type, DWORD* size) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Trelvane", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return L"";
  wchar_t value[256] = {};
  *size = sizeof(value);
  const LONG result = RegQueryValueExW(key, L"ComPort", nullptr, type, reinterpret_cast<BYTE*>(value), size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS ? value : L"";
}

struct HandheldTraits {
  using Link = HandheldLink;
  static constexpr int kProgramCom = 7;
  static constexpr int kReceiverCom = 17;
  static constexpr bool kWide = true;
  static std::wstring ProgramPort(const Cable& cable) { return cable.ProgramPortW(); }
};
INSTANTIATE_TYPED_TEST_SUITE_P(Handheld, LinkCases, HandheldTraits);
INSTANTIATE_TYPED_TEST_SUITE_P(Handheld, CorrectionsCases, HandheldTraits);

class HandheldLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cable.IsUp()) << "no rig server (run through ctest, see tests/README.md)";
    ASSERT_TRUE(receiver.Open(cable.ReceiverPort(), 57600));
    ASSERT_EQ(link.OpenLink(window.Handle(), cable.ProgramPortW().c_str(), kBaud57600), 1);
  }
  void TearDown() override { link.CloseLink(); }

  Cable cable{7, 17};
  ReceiverEnd receiver;
  LineWindow window{true};
  HandheldLink link;
};

TEST_F(HandheldLinkTest, DeliversUtf16LinesOneUnitPerByte) {
  const std::string lines[] = {kGsa, "\r\n", "bare line feed\n", "carriage\rreturn\r\n",
                               std::string("\xA2\x58 high bytes\r\n")};
  std::string all;
  for (const std::string& line : lines) all += line;
  ASSERT_TRUE(receiver.Write(all));
  ASSERT_TRUE(window.WaitForLines(5, kLineWaitMs));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(window.lines[i], Delivered(lines[i]));
  EXPECT_FALSE(window.sawWideUnit);  // each byte became the unit of its own value
}

TEST_F(HandheldLinkTest, ALineLongerThanItsBufferIsDroppedNotWrittenPast) {
  // 511 units are stored; the 512th byte drops them, and the 89 that follow
  // start a new line.
  ASSERT_TRUE(receiver.Write(std::string(600, 'x') + "\n" + kGsa));
  ASSERT_TRUE(window.WaitForLines(2, kLineWaitMs));
  EXPECT_EQ(window.lines[0], Delivered(std::string(88, 'x') + "\n"));
  EXPECT_EQ(window.lines[1], Delivered(kGsa));

  ASSERT_TRUE(receiver.Write(std::string(510, 'y') + "\n"));
  ASSERT_TRUE(window.WaitForLines(3, kLineWaitMs));
  EXPECT_EQ(window.lines[2], Delivered(std::string(510, 'y') + "\n"));
}

TEST_F(HandheldLinkTest, CloseEndsTheReaderWhetherItWaitsForAnEventOrForAByte) {
  // Waiting for the first byte, in the port's event wait.
  window.Pump(200);
  link.CloseLink();
  EXPECT_TRUE(trelvane::test::WaitForReaders(HandheldLink::RunningReaders, 0, 2000))
      << HandheldLink::RunningReaders() << " readers running";

  // In the middle of a line, in a blocking read.
  ASSERT_EQ(link.OpenLink(window.Handle(), cable.ProgramPortW().c_str(), kBaud57600), 1);
  ASSERT_TRUE(receiver.Write(kGsa + "$GPGSA,A,3"));
  ASSERT_TRUE(window.WaitForLines(1, kLineWaitMs));
  link.CloseLink();
  EXPECT_TRUE(trelvane::test::WaitForReaders(HandheldLink::RunningReaders, 0, 2000))
      << HandheldLink::RunningReaders() << " readers running";
}

TEST_F(HandheldLinkTest, CloseAndAnImmediateReopenDeliverEachLaterLineOnce) {
  for (int round = 0; round < 5; ++round) {
    link.CloseLink();
    ASSERT_EQ(link.OpenLink(window.Handle(), cable.ProgramPortW().c_str(), kBaud57600), 1);
  }
  window.Pump(100);
  ASSERT_TRUE(receiver.Write(kGsa + kGsa + kGsa));
  ASSERT_TRUE(window.WaitForLines(3, kLineWaitMs));
  window.Pump(300);
  ASSERT_EQ(window.lines.size(), 3u);
  for (const std::string& line : window.lines) EXPECT_EQ(line, Delivered(kGsa));
}

TEST(HandheldLinkOpen, SavesThePortAtEveryOpenAlsoAFailedOne) {
  LineWindow window{true};
  HandheldLink link;
  DWORD type = 0, size = 0;

  // No such port: the test prefix registers COM1 to COM20, and a plain
  // "COMn:" name opens only below 10.
  EXPECT_EQ(link.OpenLink(window.Handle(), L"COM21:", kBaud57600), 0);
  EXPECT_EQ(SavedPort(&type, &size), L"COM21:");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 14u);

  Cable cable{7, 17};
  ASSERT_TRUE(cable.IsUp());
  ASSERT_EQ(link.OpenLink(window.Handle(), cable.ProgramPortW().c_str(), kBaud57600), 1);
  EXPECT_EQ(SavedPort(&type, &size), cable.ProgramPortW());
  link.CloseLink();

  EXPECT_EQ(link.OpenLink(window.Handle(), L"COM4:", trelvane::receiver::kBaudCount), 0);  // outside the baud table
  EXPECT_EQ(SavedPort(&type, &size), L"COM4:");
}

}  // namespace
