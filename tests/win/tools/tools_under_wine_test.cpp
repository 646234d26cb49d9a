// portname.exe and drvclean.exe run under Wine on the prefix's real registry;
// their message boxes are read and answered from outside, as a user would.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <ostream>
#include <string>

#include "tests/win/tools/message_box_driver.hpp"

namespace trelvane::tools {
namespace {

using testing::AnsweredBox;
using testing::BoxIcon;
using testing::RunAndAnswerMessageBox;

const std::wstring kActive = L"Drivers\\Active";
const std::wstring kAdapter = L"Drivers\\BuiltIn\\USBSER";

class RegistryKey {
 public:
  explicit RegistryKey(const std::wstring& path) {
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                              nullptr),
              ERROR_SUCCESS);
  }
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // The bytes of `text`, with or without its terminating zero. The registry
  // adds a zero left out of the count when one follows the text in memory,
  // so an unterminated text is followed by another character.
  void SetText(const wchar_t* name, const std::wstring& text, bool terminated = true) {
    const std::wstring stored = terminated ? text : text + L"~";
    const DWORD bytes = static_cast<DWORD>((text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
    EXPECT_EQ(RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(stored.c_str()), bytes),
              ERROR_SUCCESS);
  }

 private:
  HKEY key_ = nullptr;
};

void AddDriver(const std::wstring& subkey, const std::wstring& key, const std::wstring& name) {
  RegistryKey driver(kActive + L"\\" + subkey);
  if (!key.empty()) driver.SetText(L"Key", key);
  driver.SetText(L"Name", name);
}

bool KeyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The prefix has no "Drivers" tree of its own: each test builds the part it
// needs and it is removed before and after.
class ToolsUnderWine : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Drivers"); }
  void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Drivers"); }

  static void ExpectBox(const AnsweredBox& box, const std::wstring& text, BoxIcon icon, DWORD exitCode) {
    ASSERT_EQ(box.problem, "");
    EXPECT_EQ(box.caption, L"Notification");
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.icon, icon);
    EXPECT_EQ(box.exitCode, exitCode);
  }
};

struct PortNameRun {
  const char* what;
  std::function<void()> setUp;
  std::wstring text;
  BoxIcon icon;
  DWORD exitCode;
};

void PrintTo(const PortNameRun& run, std::ostream* os) { *os << run.what; }

class PortNameUnderWine : public ToolsUnderWine, public ::testing::WithParamInterface<PortNameRun> {};

TEST_P(PortNameUnderWine, ShowsTheBoxAndExits) {
  const PortNameRun& run = GetParam();
  run.setUp();
  ExpectBox(RunAndAnswerMessageBox(TRELVANE_PORTNAME_EXE), run.text, run.icon, run.exitCode);
}

const std::wstring k40Chars = L"COM40:-a-name-of-forty-characters-------";

INSTANTIATE_TEST_SUITE_P(
    Runs, PortNameUnderWine,
    ::testing::Values(
        PortNameRun{"adapter", [] {
                      AddDriver(L"01", L"Drivers\\BuiltIn\\Serial", L"COM1:");
                      AddDriver(L"02", kAdapter, L"COM5:");
                    },
                    L"Port Name: COM5:", BoxIcon::kInformation, 0},
        PortNameRun{"no_adapter", [] { AddDriver(L"01", L"Drivers\\BuiltIn\\Serial", L"COM1:"); },
                    L"No device found!", BoxIcon::kInformation, 0},
        PortNameRun{"no_active_drivers", [] {}, L"RegOpenKeyEx ERROR!", BoxIcon::kError, 1},
        PortNameRun{"subkey_without_key", [] {
                      AddDriver(L"01", L"", L"COM1:");
                      AddDriver(L"02", kAdapter, L"COM5:");
                    },
                    L"RegQueryValueEx ERROR 1! - 2", BoxIcon::kError, 1},
        PortNameRun{"key_longer_than_80_bytes", [] { AddDriver(L"01", std::wstring(40, L'k'), L"COM1:"); },
                    L"RegQueryValueEx ERROR 1! - 234", BoxIcon::kError, 1},
        PortNameRun{"name_of_80_bytes_unterminated", [] {
                      RegistryKey driver(kActive + L"\\01");
                      driver.SetText(L"Key", kAdapter);
                      driver.SetText(L"Name", k40Chars, false);
                    },
                    L"Port Name: " + k40Chars, BoxIcon::kInformation, 0}),
    [](const ::testing::TestParamInfo<PortNameRun>& run) { return std::string(run.param.what); });

TEST_F(ToolsUnderWine, DrvcleanDeletesTheKeyThenReportsItMissing) {
  RegistryKey(kAdapter).SetText(L"Dll", L"usbser.dll");
  ExpectBox(RunAndAnswerMessageBox(TRELVANE_DRVCLEAN_EXE), L"Delete Registry Successfully!!", BoxIcon::kInformation, 0);
  EXPECT_FALSE(KeyExists(kAdapter));
  EXPECT_TRUE(KeyExists(L"Drivers\\BuiltIn"));
  ExpectBox(RunAndAnswerMessageBox(TRELVANE_DRVCLEAN_EXE), L"NO 'USBSER' entry in the Registry!",
            BoxIcon::kInformation, 0);
}

TEST_F(ToolsUnderWine, DrvcleanRefusedDeleteOfAKeyWithASubkey) {
  RegistryKey(kAdapter + L"\\Config").SetText(L"Port", L"COM5:");
  ExpectBox(RunAndAnswerMessageBox(TRELVANE_DRVCLEAN_EXE), L"Delete Registry ERROR!", BoxIcon::kError, 0);
  EXPECT_TRUE(KeyExists(kAdapter + L"\\Config"));
}

}  // namespace
}  // namespace trelvane::tools
