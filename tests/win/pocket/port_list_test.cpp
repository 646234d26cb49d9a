// The handheld's port list from the real registry of the test prefix: the
// active drivers read through the handheld's key paths and access masks, the
// items a real sorted combo box shows, and the selection rule (the GPS card,
// else the saved port, else the first item).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pocket/port_list.hpp"
#include "tests/win/pocket/pocket_fixture.hpp"

namespace {

using namespace trelvane;
using test::ActiveDrivers;
using test::DriverValue;
using test::SavedPortKey;

struct Driver {
  std::wstring number;
  std::vector<DriverValue> values;
};

struct PortListCase {
  const char* what;
  std::vector<Driver> drivers;
  const wchar_t* savedPort;  // nullptr: no saved port
  std::vector<std::wstring> items;
  int selection;             // -1: none
};

const std::wstring kCard = L"CF_CARD-GENERIC-A569";
const std::wstring kLong(100, L'x');

Driver Port(const std::wstring& number, const std::wstring& name, const std::wstring& key) {
  return Driver{number, {{L"Name", name}, {L"Key", key}}};
}

Driver PnpPort(const std::wstring& number, const std::wstring& name, const std::wstring& pnpId) {
  return Driver{number, {{L"Name", name}, {L"PnpId", pnpId}, {L"Key", L"Drivers\\BuiltIn\\Unused"}}};
}

std::vector<Driver> ManyPorts(int count) {
  std::vector<Driver> drivers;
  for (int n = 0; n < count; ++n) {
    wchar_t number[8];
    swprintf(number, 8, L"%.2d", n);
    drivers.push_back(Port(number, L"COM" + std::to_wstring(n) + L":", L"Drivers\\Serial" + std::to_wstring(n)));
  }
  return drivers;
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> items) {
  std::sort(items.begin(), items.end(), [](const std::wstring& a, const std::wstring& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_LESS_THAN;
  });
  return items;
}

std::vector<std::wstring> FirstTwentyItems() {
  std::vector<std::wstring> items;
  for (int n = 0; n < 20; ++n) items.push_back(L"COM" + std::to_wstring(n) + L":  Serial" + std::to_wstring(n));
  return Sorted(items);
}

const std::vector<Driver> kSerialAndCard = {Port(L"03", L"COM1:", L"Drivers\\BuiltIn\\Serial"),
                                            PnpPort(L"12", L"COM5:", kCard)};
const std::vector<Driver> kSerialAndGps = {Port(L"03", L"COM1:", L"Drivers\\BuiltIn\\Serial"),
                                           Port(L"12", L"COM5:", L"Drivers\\USB\\ClientDrivers\\GpsSerial")};

const PortListCase kCases[] = {
    {"the card is preferred to the saved port", kSerialAndCard, L"COM1:",
     {L"COM1:  Serial", L"COM5:  " + kCard}, 1},
    {"without the card the saved port", kSerialAndGps, L"COM1:", {L"COM1:  Serial", L"COM5:  GpsSerial"}, 0},
    {"the saved port further down the list", kSerialAndGps, L"COM5:", {L"COM1:  Serial", L"COM5:  GpsSerial"}, 1},
    {"a first run takes the first item in sorted order",
     {Port(L"03", L"COM9:", L"Drivers\\Nine"), Port(L"12", L"COM2:", L"Drivers\\Two")},
     nullptr, {L"COM2:  Two", L"COM9:  Nine"}, 0},
    {"a saved port no longer listed leaves no selection", kSerialAndGps, L"COM7:",
     {L"COM1:  Serial", L"COM5:  GpsSerial"}, -1},
    {"the saved COM1: is not port 10",
     {Port(L"01", L"COM10:", L"Drivers\\Ten"), Port(L"02", L"COM1:", L"Drivers\\One")},
     L"COM1:", {L"COM1:  One", L"COM10:  Ten"}, 0},
    {"key 100 is read, 101 is not",
     {Port(L"100", L"COM4:", L"Drivers\\Hundred"), Port(L"101", L"COM6:", L"Drivers\\HundredOne")},
     nullptr, {L"COM4:  Hundred"}, 0},
    {"a Key without a backslash, or with one in first place only, is used whole",
     {Port(L"05", L"COM3:", L"SerialDriver"), Port(L"06", L"COM8:", L"\\Serial8")},
     nullptr, {L"COM3:  SerialDriver", L"COM8:  \\Serial8"}, 0},
    {"drivers that are no listed port",
     {Driver{L"01", {{L"Name", L"DSK1:"}, {L"Key", L"Drivers\\Disk"}}},
      Driver{L"02", {{L"Name", L"COM2:"}}},
      Driver{L"03", {{L"Key", L"Drivers\\NoName"}}},
      Port(L"04", L"COM6:", L"Drivers\\Six")},
     nullptr, {L"COM6:  Six"}, 0},
    {"more than 20 COM drivers: the first 20 in key order", ManyPorts(24), nullptr, FirstTwentyItems(), 0},
    {"values longer than a field are cut to 63 characters",
     {PnpPort(L"07", L"COM7:" + std::wstring(80, L'n'), kLong)},
     nullptr, {L"COM7:" + std::wstring(58, L'n') + L"  " + std::wstring(63, L'x')}, 0},
    {"a Name longer than the read buffer is skipped",
     {Port(L"07", L"COM7:" + std::wstring(200, L'n'), L"Drivers\\Long"), Port(L"08", L"COM8:", L"Drivers\\Eight")},
     nullptr, {L"COM8:  Eight"}, 0},
};

class PortListTest : public ::testing::TestWithParam<PortListCase> {
 protected:
  void SetUp() override {
    host_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    // As in the Setup page's template: drop-down with an edit field, sorted.
    combo_ = CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_SORT, 0, 0,
                             200, 150, host_, nullptr, nullptr, nullptr);
  }
  void TearDown() override { DestroyWindow(host_); }

  ActiveDrivers drivers_;
  SavedPortKey saved_;
  HWND host_ = nullptr;
  HWND combo_ = nullptr;
};

TEST_P(PortListTest, ListsTheActiveComDriversAndSelectsByTheRule) {
  const PortListCase& c = GetParam();
  for (const Driver& driver : c.drivers) ASSERT_TRUE(ActiveDrivers::Add(driver.number, driver.values));
  if (c.savedPort != nullptr) {
    ASSERT_TRUE(SavedPortKey::Set(c.savedPort));
  }

  pocket::PortInfoTable table;
  pocket::ReadActiveDrivers(table);
  pocket::FillPortList(combo_, table);
  EXPECT_EQ(table.portCount, static_cast<int>(c.items.size()));
  EXPECT_EQ(test::ComboItems(combo_), c.items);
  EXPECT_EQ(test::Selection(combo_), c.selection);
}

INSTANTIATE_TEST_SUITE_P(Registry, PortListTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PortListCase>& param) {
                           return "case" + std::to_string(param.index);
                         });

TEST_F(PortListTest, NoComDriverLeavesTheListEmptyWithItsNotice) {
  ASSERT_TRUE(ActiveDrivers::AddPort(L"01", L"DSK1:", L"Drivers\\Disk"));
  pocket::PortInfoTable table;
  table.portCount = 3;  // whatever an earlier scan found is forgotten
  pocket::ReadActiveDrivers(table);
  pocket::FillPortList(combo_, table);
  EXPECT_EQ(table.portCount, 0);
  EXPECT_EQ(SendMessageW(combo_, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(test::TextOf(combo_), L"No Com Port Find!!");
}

// The saved port is read into 512 bytes: a text that fills them is read
// whole, a longer one counts as none.
TEST_F(PortListTest, ASavedPortIsReadUpTo512BytesAndALongerOneCountsAsNone) {
  ASSERT_TRUE(ActiveDrivers::AddPort(L"01", L"COM1:", L"Drivers\\One"));
  ASSERT_TRUE(ActiveDrivers::AddPort(L"02", L"COM2:", L"Drivers\\Two"));
  pocket::PortInfoTable table;
  pocket::ReadActiveDrivers(table);

  ASSERT_TRUE(SavedPortKey::Set(std::wstring(250, L' ') + L"COM2:"));  // 255 units and the terminator
  pocket::FillPortList(combo_, table);
  EXPECT_EQ(test::Selection(combo_), -1) << "a saved port, and not listed";

  ASSERT_TRUE(SavedPortKey::Set(std::wstring(300, L'x')));
  pocket::FillPortList(combo_, table);
  EXPECT_EQ(test::Selection(combo_), 0) << "an unreadable saved port is none";
}

}  // namespace
