// What both serial links must do alike, written once: each link's test
// program instantiates these cases on its own cable with its own traits
// (the link class, its text form and its cable's ports).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/reader_counts.hpp"

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

// Lines reach the window in batches: each line once, whole, in order, however
// the bytes were cut into reads, with an over-long line dropped from the
// middle of a batch and counted; the link counts every byte it received.
TYPED_TEST_P(LinkCases, HandsLinesOverInBatchesEachOnceInOrder) {
  ASSERT_TRUE(this->cable.IsUp()) << "no rig server (run through ctest, see tests/README.md)";
  ASSERT_TRUE(this->receiver.Open(this->cable.ReceiverPort(), 57600));
  std::string forty;
  for (int i = 0; i < 40; ++i) forty += "$GPTXT," + std::to_string(1000 + i) + "*00\r\n";
  const std::string x88 = std::string(88, 'x') + "\n";
  const std::string falseStart = std::string("\xB5\x62\x05\x01\xE8\x03\r\n", 8);
  struct Case {
    const char* name;
    std::vector<std::string> writes;  // each written 30 ms after the one before
    std::vector<std::string> lines;   // as delivered
    unsigned long linesCut;
    bool fewerMessagesThanLines;
  } cases[] = {
      {"a burst of forty lines", {forty}, {}, 0, true},
      {"lines split across reads", {kGsa.substr(0, 9), kGsa.substr(9, 30), kGsa.substr(39) + kGsa.substr(0, 5),
                                    kGsa.substr(5) + "\r\n", "bare\n"}, {kGsa, kGsa, "\r\n", "bare\n"}, 0, false},
      {"an over-long line inside a batch", {kGsa + std::string(600, 'x') + "\n" + kGsa + kGsa}, {kGsa, x88, kGsa, kGsa}, 1,
       false},
      // A frame's start that promises 1,000 bytes and then the receiver falls
      // silent: the lines behind it still come, in a moment.
      {"a false frame start, then silence", {falseStart + kGsa}, {falseStart, kGsa}, 0, false},
  };
  for (int i = 0; i < 40; ++i) cases[0].lines.push_back("$GPTXT," + std::to_string(1000 + i) + "*00\r\n");

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    this->window.lines.clear();
    this->window.batchSizes.clear();
    ASSERT_EQ(this->Open(this->kBaud57600), 1);
    unsigned long bytes = 0;
    for (const std::string& piece : c.writes) {
      ASSERT_TRUE(this->receiver.Write(piece));
      bytes += static_cast<unsigned long>(piece.size());
      Sleep(30);  // the pause on the wire, shorter than any read's time-out
    }
    ASSERT_TRUE(this->window.WaitForLines(c.lines.size(), this->kLineWaitMs)) << this->window.lines.size() << " lines";
    this->window.Pump(200);
    ASSERT_EQ(this->window.lines.size(), c.lines.size());
    for (size_t i = 0; i < c.lines.size(); ++i) EXPECT_EQ(this->window.lines[i], Delivered(c.lines[i])) << i;
    const link::LinkCounts counts = this->link.Counts();
    EXPECT_EQ(counts.bytes, bytes);
    EXPECT_EQ(counts.linesCut, c.linesCut);
    if (c.fewerMessagesThanLines) {
      EXPECT_LT(this->window.batchSizes.size(), c.lines.size() / 2);
    }
    this->link.CloseLink();
    EXPECT_EQ(this->link.Counts().bytes, 0u);
  }
}

// Close GPS pressed while a batch is being handled, so that the reader is
// inside its handover for certain: the close does not wait for it, the rest
// of the batch is dropped, the reader ends, and nothing of the old link
// arrives later.
TYPED_TEST_P(LinkCases, AClosedLinkDeliversNothingMoreOfItsBatch) {
  using LinkClass = typename TestFixture::Link;
  ASSERT_TRUE(this->cable.IsUp()) << "no rig server (run through ctest, see tests/README.md)";
  ASSERT_TRUE(this->receiver.Open(this->cable.ReceiverPort(), 57600));
  ASSERT_EQ(this->Open(this->kBaud57600), 1);
  struct Closer {
    LinkClass* link;
    ULONGLONG closeMs;
  } closer{&this->link, 0};
  this->window.onLineContext = &closer;
  this->window.onLine = [](void* context) {
    auto* c = static_cast<Closer*>(context);
    const ULONGLONG start = GetTickCount64();
    c->link->CloseLink();
    c->closeMs = GetTickCount64() - start;
  };
  ASSERT_TRUE(this->receiver.Write(kGsa + kGsa + kGsa + kGsa));
  ASSERT_TRUE(this->window.WaitForLines(1, this->kLineWaitMs));
  this->window.onLine = nullptr;
  EXPECT_LT(closer.closeMs, 1000u);
  EXPECT_FALSE(this->link.IsOpen());
  EXPECT_TRUE(WaitForReaders(LinkClass::RunningReaders, 0, 2000)) << LinkClass::RunningReaders() << " readers running";
  this->window.Pump(300);
  EXPECT_EQ(this->window.lines.size(), 1u);
}

REGISTER_TYPED_TEST_SUITE_P(LinkCases, SetsRateAndFraming, AReceiverThatVanishesCostsNoCpuAndTheLinkReopensWhenItIsBack,
                            HandsLinesOverInBatchesEachOnceInOrder, AClosedLinkDeliversNothingMoreOfItsBatch);

}  // namespace trelvane::test
