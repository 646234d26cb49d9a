// portname's logic over a fake registry: what the user is shown, the exit
// code, and the order of the registry operations behind them.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/win/tools/fake_registry.hpp"
#include "tools/portname/port_name_report.hpp"

namespace trelvane::tools {
namespace {

using testing::FakeRegistry;
using testing::RecordingNotifier;

const std::wstring kActive = L"Drivers\\Active";
const std::wstring kAdapter = L"Drivers\\BuiltIn\\USBSER";

void AddDriver(FakeRegistry& registry, const std::wstring& subkey, const std::wstring& key, const std::wstring& name) {
  registry.SetText(kActive + L"\\" + subkey, L"Key", key);
  registry.SetText(kActive + L"\\" + subkey, L"Name", name);
}

struct Case {
  const char* what;
  std::function<void(FakeRegistry&)> setUp;
  std::wstring text;
  UINT style;
  int exitCode;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

class PortNameCase : public ::testing::TestWithParam<Case> {};

TEST_P(PortNameCase, ShowsOneNotificationAndExits) {
  const Case& c = GetParam();
  FakeRegistry registry;
  c.setUp(registry);
  RecordingNotifier notifier;
  EXPECT_EQ(ReportPortName(registry, notifier), c.exitCode);
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].text, c.text);
  EXPECT_EQ(notifier.shown[0].caption, L"Notification");
  EXPECT_EQ(notifier.shown[0].style, c.style);
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string name = info.param.what;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

const std::wstring k40Chars = L"COM40:-a-name-of-forty-characters-------";
const std::wstring k41Chars = k40Chars + L"x";

INSTANTIATE_TEST_SUITE_P(
    Results, PortNameCase,
    ::testing::Values(
        Case{"no subkeys", [](FakeRegistry& r) { r.AddKey(kActive); }, L"No device found!", 0x40, 0},
        Case{"adapter absent",
             [](FakeRegistry& r) {
               AddDriver(r, L"01", L"Drivers\\BuiltIn\\Serial", L"COM1:");
               AddDriver(r, L"02", kAdapter + L"2", L"COM2:");
               AddDriver(r, L"03", L"Drivers\\BuiltIn\\USBSE", L"COM3:");
               AddDriver(r, L"04", L"", L"COM4:");
             },
             L"No device found!", 0x40, 0},
        Case{"key differing in case only",
             [](FakeRegistry& r) { AddDriver(r, L"01", L"Drivers\\BuiltIn\\UsbSer", L"COM5:"); }, L"No device found!",
             0x40, 0},
        Case{"adapter after another driver",
             [](FakeRegistry& r) {
               AddDriver(r, L"01", L"Drivers\\BuiltIn\\Serial", L"COM1:");
               AddDriver(r, L"02", kAdapter, L"COM5:");
             },
             L"Port Name: COM5:", 0x40, 0},
        Case{"key stored without its terminating zero",
             [](FakeRegistry& r) {
               r.SetText(kActive + L"\\01", L"Key", kAdapter, false);
               r.SetText(kActive + L"\\01", L"Name", L"COM6:");
             },
             L"Port Name: COM6:", 0x40, 0},
        Case{"80-byte key that only begins with the adapter's",
             [](FakeRegistry& r) {
               r.SetText(kActive + L"\\01", L"Key", kAdapter + L"-and-eighteen-more", false);
               r.SetText(kActive + L"\\01", L"Name", L"COM6:");
             },
             L"No device found!", 0x40, 0},
        Case{"80-byte name without a terminating zero",
             [](FakeRegistry& r) {
               r.SetText(kActive + L"\\01", L"Key", kAdapter);
               r.SetText(kActive + L"\\01", L"Name", k40Chars, false);
             },
             L"Port Name: " + k40Chars, 0x40, 0},
        Case{"80-byte name with its terminating zero",
             [](FakeRegistry& r) { AddDriver(r, L"01", kAdapter, k40Chars.substr(0, 39)); },
             L"Port Name: " + k40Chars.substr(0, 39), 0x40, 0},
        Case{"subkey name as long as the enumeration allows",
             [](FakeRegistry& r) { AddDriver(r, std::wstring(79, L'7'), kAdapter, L"COM7:"); }, L"Port Name: COM7:",
             0x40, 0}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Errors, PortNameCase,
    ::testing::Values(
        Case{"no table of active drivers", [](FakeRegistry&) {}, L"RegOpenKeyEx ERROR!", 0x10, 1},
        Case{"subkey count refused",
             [](FakeRegistry& r) {
               r.AddKey(kActive);
               r.FailQueryInfo(ERROR_ACCESS_DENIED);
             },
             L"RegQueryInfoKey ERROR!", 0x10, 1},
        Case{"enumeration fails",
             [](FakeRegistry& r) {
               AddDriver(r, L"01", L"Drivers\\BuiltIn\\Serial", L"COM1:");
               AddDriver(r, L"02", kAdapter, L"COM5:");
               r.FailEnum(1, 1011);
             },
             L"RegEnumKeyEx ERROR! - 1011", 0x10, 1},
        Case{"subkey name longer than the enumeration allows",
             [](FakeRegistry& r) { AddDriver(r, std::wstring(80, L'8'), kAdapter, L"COM8:"); },
             L"RegEnumKeyEx ERROR! - 234", 0x10, 1},
        Case{"subkey open refused",
             [](FakeRegistry& r) {
               AddDriver(r, L"01", kAdapter, L"COM5:");
               r.FailOpen(kActive + L"\\01", ERROR_ACCESS_DENIED);
             },
             L"RegOpenKeyEx ERROR! - 5", 0x10, 1},
        Case{"subkey without Key before the adapter's",
             [](FakeRegistry& r) {
               r.SetText(kActive + L"\\01", L"Name", L"COM1:");
               AddDriver(r, L"02", kAdapter, L"COM5:");
             },
             L"RegQueryValueEx ERROR 1! - 2", 0x10, 1},
        Case{"key longer than 80 bytes",
             [](FakeRegistry& r) { AddDriver(r, L"01", std::wstring(40, L'k'), L"COM1:"); },
             L"RegQueryValueEx ERROR 1! - 234", 0x10, 1},
        Case{"adapter without Name",
             [](FakeRegistry& r) { r.SetText(kActive + L"\\01", L"Key", kAdapter); },
             L"RegQueryValueEx ERROR 2! - 2", 0x10, 1},
        Case{"name longer than 80 bytes",
             [](FakeRegistry& r) {
               r.SetText(kActive + L"\\01", L"Key", kAdapter);
               r.SetText(kActive + L"\\01", L"Name", k41Chars, false);
             },
             L"RegQueryValueEx ERROR 2! - 234", 0x10, 1}),
    CaseName);

TEST(PortNameOrder, FirstMatchEndsTheSearch) {
  FakeRegistry registry;
  AddDriver(registry, L"01", kAdapter, L"COM5:");
  AddDriver(registry, L"02", kAdapter, L"COM9:");
  RecordingNotifier notifier;
  EXPECT_EQ(ReportPortName(registry, notifier), 0);
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].text, L"Port Name: COM5:");
  const std::vector<std::wstring> expected = {
      L"open Drivers\\Active access 0x0",      L"info", L"enum 0 room 80",
      L"open Drivers\\Active\\01 access 0xf003f", L"query Key room 80", L"query Name room 80",
      L"close Drivers\\Active\\01",            L"close Drivers\\Active"};
  EXPECT_EQ(registry.Calls(), expected);
}

TEST(PortNameOrder, EachSubkeyIsClosedAndTheNameRoomResetBeforeTheNext) {
  FakeRegistry registry;
  AddDriver(registry, L"7", L"Drivers\\BuiltIn\\Serial", L"COM1:");
  AddDriver(registry, L"12", L"Drivers\\BuiltIn\\Serial", L"COM2:");
  AddDriver(registry, L"123", kAdapter, L"COM3:");
  RecordingNotifier notifier;
  EXPECT_EQ(ReportPortName(registry, notifier), 0);
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].text, L"Port Name: COM3:");
  const std::vector<std::wstring> expected = {
      L"open Drivers\\Active access 0x0",
      L"info",
      L"enum 0 room 80",
      L"open Drivers\\Active\\7 access 0xf003f",
      L"query Key room 80",
      L"close Drivers\\Active\\7",
      L"enum 1 room 80",
      L"open Drivers\\Active\\12 access 0xf003f",
      L"query Key room 80",
      L"close Drivers\\Active\\12",
      L"enum 2 room 80",
      L"open Drivers\\Active\\123 access 0xf003f",
      L"query Key room 80",
      L"query Name room 80",
      L"close Drivers\\Active\\123",
      L"close Drivers\\Active"};
  EXPECT_EQ(registry.Calls(), expected);
}

}  // namespace
}  // namespace trelvane::tools
