// drvclean's logic over a fake registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/win/tools/fake_registry.hpp"
#include "tools/drvclean/driver_removal.hpp"

namespace trelvane::tools {
namespace {

using testing::FakeRegistry;
using testing::RecordingNotifier;

const std::wstring kAdapter = L"Drivers\\BuiltIn\\USBSER";

TEST(DriverRemoval, DeletesTheKeyThenReportsItMissing) {
  FakeRegistry registry;
  registry.SetText(kAdapter, L"Dll", L"usbser.dll");
  registry.AddKey(L"Drivers\\BuiltIn\\Serial");
  RecordingNotifier notifier;

  EXPECT_EQ(RemoveDriverRegistration(registry, notifier), 0);
  EXPECT_FALSE(registry.HasKey(kAdapter));
  EXPECT_TRUE(registry.HasKey(L"Drivers\\BuiltIn\\Serial"));
  const std::vector<std::wstring> firstRun = {L"open Drivers\\BuiltIn\\USBSER access 0x0",
                                              L"close Drivers\\BuiltIn\\USBSER", L"delete Drivers\\BuiltIn\\USBSER"};
  EXPECT_EQ(registry.Calls(), firstRun);

  EXPECT_EQ(RemoveDriverRegistration(registry, notifier), 0);
  ASSERT_EQ(notifier.shown.size(), 2u);
  EXPECT_EQ(notifier.shown[0].text, L"Delete Registry Successfully!!");
  EXPECT_EQ(notifier.shown[0].style, 0x40u);
  EXPECT_EQ(notifier.shown[1].text, L"NO 'USBSER' entry in the Registry!");
  EXPECT_EQ(notifier.shown[1].style, 0x40u);
  for (const auto& shown : notifier.shown) EXPECT_EQ(shown.caption, L"Notification");
  EXPECT_EQ(registry.Calls().size(), firstRun.size() + 1);  // the second run only tries the open
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST(DriverRemoval, RefusedDeleteIsAnErrorButExitsWithZero) {
  FakeRegistry registry;
  registry.AddKey(kAdapter);
  registry.FailDelete(ERROR_ACCESS_DENIED);
  RecordingNotifier notifier;

  EXPECT_EQ(RemoveDriverRegistration(registry, notifier), 0);
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].text, L"Delete Registry ERROR!");
  EXPECT_EQ(notifier.shown[0].caption, L"Notification");
  EXPECT_EQ(notifier.shown[0].style, 0x10u);
  EXPECT_TRUE(registry.HasKey(kAdapter));
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

}  // namespace
}  // namespace trelvane::tools
