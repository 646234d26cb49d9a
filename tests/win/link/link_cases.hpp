// What both serial links must do alike, written once: each link's test
// program instantiates these cases on its own cable with its own traits
// (the link class, its text form and its cable's ports).
#pragma once

#include <gtest/gtest.h>

#include "tests/rig/rig.hpp"
#include "tests/win/link/serial_test_support.hpp"

namespace trelvane::test {

template <class Traits>
class LinkCases : public ::testing::Test {
 protected:
  using Link = typename Traits::Link;
  static constexpr int kBaud57600 = 6;
  static constexpr DWORD kLineWaitMs = 3000;

  int Open(int baudIndex) { return link.OpenLink(window.Handle(), Traits::ProgramPort(cable).c_str(), baudIndex); }

  rig::Cable cable{Traits::kProgramCom, Traits::kReceiverCom};
  rig::ReceiverEnd receiver;
  rig::LineWindow window{Traits::kWide};
  Link link;
};

TYPED_TEST_SUITE_P(LinkCases);

TYPED_TEST_P(LinkCases, SetsRateAndFraming) {
  ASSERT_TRUE(this->cable.IsUp()) << "no rig server (run through ctest, see tests/README.md)";
  ASSERT_EQ(this->Open(2), 1);
  DCB dcb = {};
  ASSERT_TRUE(ReadBackSettings(this->cable.ProgramPort().c_str(), &dcb));
  this->link.CloseLink();
  EXPECT_EQ(dcb.BaudRate, 4800u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
}

TYPED_TEST_P(LinkCases, AReceiverThatVanishesCostsNoCpuAndTheLinkReopensWhenItIsBack) {
  ASSERT_TRUE(this->cable.IsUp()) << "no rig server (run through ctest, see tests/README.md)";
  ASSERT_TRUE(this->receiver.Open(this->cable.ReceiverPort(), 57600));
  ASSERT_EQ(this->Open(this->kBaud57600), 1);
  ASSERT_TRUE(this->receiver.Write(kGsa + "$GPGSA,A"));  // the reader is inside a line
  ASSERT_TRUE(this->window.WaitForLines(1, this->kLineWaitMs));
  this->receiver.Close();
  ASSERT_TRUE(this->cable.Vanish());

  const double before = rig::ProcessCpuMs();
  this->window.Pump(2000);
  const double used = rig::ProcessCpuMs() - before;
  EXPECT_LT(used, 400.0) << "the reader spins on a port whose other end is gone";

  this->link.CloseLink();
  ASSERT_TRUE(this->cable.Restore());
  ASSERT_TRUE(this->receiver.Open(this->cable.ReceiverPort(), 57600));
  ASSERT_EQ(this->Open(this->kBaud57600), 1);
  ASSERT_TRUE(this->receiver.Write(kGsa));
  ASSERT_TRUE(this->window.WaitForLines(2, this->kLineWaitMs));
  EXPECT_EQ(this->window.lines[1], Delivered(kGsa));
  this->link.CloseLink();
}

REGISTER_TYPED_TEST_SUITE_P(LinkCases, SetsRateAndFraming, AReceiverThatVanishesCostsNoCpuAndTheLinkReopensWhenItIsBack);

}  // namespace trelvane::test
