// The receiver commands on the virtual-cable rig: the echo in a real edit
// control, then exactly the sentence's bytes and CR LF at the receiver's end
// (COM16) of the link's port (COM6).
#include <gtest/gtest.h>

#include <string>

#include "link/serial_link_desktop.hpp"
#include "link/serial_link_handheld.hpp"
#include "receiver/link_settings.hpp"
#include "receiver/receiver_commands.hpp"
#include "tests/rig/rig.hpp"
#include "tests/win/link/serial_test_support.hpp"

namespace {

using namespace trelvane::link;
using namespace trelvane::receiver;
using namespace trelvane::recording;
using trelvane::rig::Cable;
using trelvane::rig::LineWindow;
using trelvane::rig::ReceiverEnd;
using trelvane::test::EditLogPane;

constexpr int kBaud4800 = 2;
constexpr DWORD kReadWaitMs = 2000;

struct Row {
  unsigned message;
  const char* bytes;
  const char* desktopEcho;
};
const Row kRows[] = {
    {kMsgPowerSaveOn, "$PSRF150,0,300,1000,1*10\r\n", "$PSRF..\r\n...OK\r\n"},
    {kMsgPowerSaveOff, "$PSRF150,0,1000,1000,0*23\r\n", "$PSRF..\r\n...OK\r\n"},
    {kMsgWaasOn, "$PSRF151,01*0F\r\n", "$PSRF\r\n...OK\r\n"},
    {kMsgWaasOff, "$PSRF151,00*0E\r\n", "$PSRF\r\n...OK\r\n"},
    {kMsgVtgOn, "$PSRF103,05,00,01,01*20\r\n", "$PSRF\r\n...OK\r\n"},
    {kMsgVtgOff, "$PSRF103,05,00,00,01*21\r\n", "$PSRF\r\n...OK\r\n"},
    {kMsgColdStart, "$PSRF104,0,0,0,96000,237759,1946,12,4*1D\r\n", "$PSRF\r\n...OK\r\n"},
};

class ReceiverCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cable.IsUp()) << "no rig server (run through ctest, see tests/README.md)";
    ASSERT_TRUE(receiver.Open(cable.ReceiverPort(), 4800));
  }

  Cable cable{6, 16};
  ReceiverEnd receiver;
  LineWindow window{false};
};

TEST_F(ReceiverCommandTest, EachCommandLogsItsEchoThenWritesExactlyItsSentenceAndCrLf) {
  DesktopLink link;
  ASSERT_EQ(link.OpenLink(window.Handle(), cable.ProgramPort().c_str(), kBaud4800), 1);
  EditLogPane<char> log;
  std::string expectedLog;
  for (const Row& row : kRows) {
    const ReceiverCommand* command = FindReceiverCommand(row.message);
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(SendReceiverCommand(*command, EchoStyle::kDesktop, log, link), 1);
    expectedLog += row.desktopEcho;
    EXPECT_EQ(log.Text(), expectedLog);
    const std::string expected = row.bytes;
    // Read one byte more than expected: nothing else may follow.
    EXPECT_EQ(receiver.Read(expected.size() + 1, 300), expected) << row.message;
  }
}

TEST_F(ReceiverCommandTest, WithNoLinkOpenTheEchoIsLoggedAndNothingIsWritten) {
  DesktopLink link;
  ASSERT_EQ(link.OpenLink(window.Handle(), cable.ProgramPort().c_str(), kBaud4800), 1);
  link.CloseLink();  // a queued click that arrives after the link was closed
  EditLogPane<char> log;
  EXPECT_EQ(SendReceiverCommand(*FindReceiverCommand(kMsgColdStart), EchoStyle::kDesktop, log, link), 1);
  EXPECT_EQ(log.Text(), "$PSRF\r\n...OK\r\n");
  EXPECT_EQ(receiver.Read(1, 500), "");
}

// The main window's part: routes each posted command message to the handler.
struct CommandWindow {
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CommandWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    const ReceiverCommand* command = FindReceiverCommand(message);
    if (self == nullptr || command == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    return SendReceiverCommand(*command, EchoStyle::kDesktop, *self->log, *self->link);
  }
  EditLogPane<char>* log;
  DesktopLink* link;
};

TEST_F(ReceiverCommandTest, TenQuickTogglesWriteTenSentencesInClickOrder) {
  DesktopLink link;
  ASSERT_EQ(link.OpenLink(window.Handle(), cable.ProgramPort().c_str(), kBaud4800), 1);
  EditLogPane<char> log;
  CommandWindow routes{&log, &link};
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = CommandWindow::Procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"TrelvaneCommandWindow";
  RegisterClassW(&windowClass);
  HWND hwnd = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              windowClass.hInstance, nullptr);
  ASSERT_NE(hwnd, nullptr);
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&routes));

  std::string expected;
  for (int click = 0; click < 10; ++click) {
    const bool checked = click % 2 == 0;
    ASSERT_TRUE(PostMessageW(hwnd, checked ? kMsgVtgOn : kMsgVtgOff, 0, 0));
    expected += checked ? "$PSRF103,05,00,01,01*20\r\n" : "$PSRF103,05,00,00,01*21\r\n";
  }
  window.Pump(100);  // the posted clicks are handled here, in order
  EXPECT_EQ(receiver.Read(expected.size() + 1, kReadWaitMs), expected);
  std::string echoes;
  for (int click = 0; click < 10; ++click) echoes += "$PSRF\r\n...OK\r\n";
  EXPECT_EQ(log.Text(), echoes);
  DestroyWindow(hwnd);
}

TEST_F(ReceiverCommandTest, HandheldEchoesPowerSaveAsAnyCommandAndNarrowsTheText) {
  HandheldLink link;
  ASSERT_EQ(link.OpenLink(window.Handle(), cable.ProgramPortW().c_str(), kBaud4800), 1);
  EditLogPane<wchar_t> log;
  EXPECT_EQ(SendReceiverCommand(*FindReceiverCommand(kMsgPowerSaveOn), EchoStyle::kHandheld, log, link), 1);
  EXPECT_EQ(log.Text(), "$PSRF\r\n...OK\r\n");
  const std::string expected = "$PSRF150,0,300,1000,1*10\r\n";
  EXPECT_EQ(receiver.Read(expected.size() + 1, 300), expected);
}

}  // namespace
