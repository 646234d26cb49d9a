// The corrections client writing into each serial link on the rig, fed by a
// caster of the test's own on a loopback socket: a four-system MSM7 base
// through 9600 baud says it does not fit and hands the receiver whole
// frames of the newest epochs; a port that stops taking bytes holds
// neither Stop Corrections nor Close GPS.
#pragma once

#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "corrections/rtcm3_frames.hpp"
#include "net/ntrip_client.hpp"
#include "tests/win/link/link_cases.hpp"

namespace trelvane::test {

// One connection's worth of caster: answers the request with ICY 200 OK,
// then sends an epoch every `periodMs`: the station every tenth, then four
// MSM7 frames of 600 bytes, the last saying the epoch ends.
class EpochCaster {
 public:
  EpochCaster() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
    listen(listener_, 1);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  EpochCaster(const EpochCaster&) = delete;
  EpochCaster& operator=(const EpochCaster&) = delete;
  ~EpochCaster() {
    stop_ = true;
    closesocket(listener_);
    thread_.join();
    WSACleanup();
  }

  // The epoch time of an observation frame the caster sent, in ms.
  static std::uint32_t EpochOf(const unsigned char* frame) {
    return (std::uint32_t{frame[6]} << 22 | frame[7] << 14 | frame[8] << 6 | frame[9] >> 2) & 0x3FFFFFFFu;
  }

  unsigned port = 0;
  std::atomic<int> periodMs{1000};
  std::atomic<std::uint32_t> lastEpochMs{0};

 private:
  static std::string Frame(int type, std::uint32_t epochMs, bool more, int extra) {
    std::vector<unsigned char> payload(8 + static_cast<std::size_t>(extra), 0x5A);
    payload[0] = static_cast<unsigned char>(type >> 4);
    payload[1] = static_cast<unsigned char>((type & 15) << 4);
    payload[2] = 0;
    const std::uint64_t tail = (std::uint64_t{epochMs & 0x3FFFFFFFu} << 1 | (more ? 1u : 0u)) << 9;
    for (int i = 0; i < 5; ++i) payload[3 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(tail >> (32 - 8 * i));
    unsigned char frame[corrections::kMaxFrame];
    const int n = corrections::BuildFrame(payload.data(), static_cast<int>(payload.size()), frame);
    return std::string(reinterpret_cast<char*>(frame), static_cast<std::size_t>(n));
  }

  void Serve() {
    const SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    std::string request;
    char chunk[512];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const int n = recv(client, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      request.append(chunk, static_cast<std::size_t>(n));
    }
    const std::string ok = "ICY 200 OK\r\n\r\n";
    send(client, ok.data(), static_cast<int>(ok.size()), 0);
    const ULONGLONG start = GetTickCount64();
    for (int epoch = 0; !stop_; ++epoch) {
      const auto epochMs = static_cast<std::uint32_t>(GetTickCount64() - start) + 1000;  // never 0
      std::string bytes = epoch % 10 == 0 ? Frame(1005, 0, false, 11) : "";
      const int systems[] = {1077, 1087, 1097, 1127};
      for (int i = 0; i < 4; ++i) bytes += Frame(systems[i], epochMs, i < 3, 590);
      if (send(client, bytes.data(), static_cast<int>(bytes.size()), 0) <= 0) break;
      lastEpochMs = epochMs;
      for (int waited = 0; waited < periodMs && !stop_; waited += 10) Sleep(10);
    }
    closesocket(client);
  }

  SOCKET listener_ = INVALID_SOCKET;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

template <class Traits>
class CorrectionsCases : public LinkCases<Traits> {};

TYPED_TEST_SUITE_P(CorrectionsCases);

TYPED_TEST_P(CorrectionsCases, ASlowPortGetsWholeNewestEpochsAndAStalledOneHoldsNoStop) {
  constexpr int kBaud9600 = 3;
  ASSERT_TRUE(this->cable.IsUp()) << "no rig server (run through ctest, see tests/README.md)";
  ASSERT_TRUE(this->receiver.Open(this->cable.ReceiverPort(), 9600));
  ASSERT_EQ(this->Open(kBaud9600), 1);
  EpochCaster caster;
  net::CasterSettings settings;
  std::strcpy(settings.host, "127.0.0.1");
  settings.port = caster.port;
  std::strcpy(settings.mountpoint, "BASE");
  settings.ggaSeconds = 0;
  net::NtripClient client;
  ASSERT_TRUE(client.Start(this->window.Handle(), settings, this->link));

  // Six epochs of 2.4 kB into a port that takes 960 bytes a second.
  std::string got;
  for (ULONGLONG end = GetTickCount64() + 6500; GetTickCount64() < end;) got += this->receiver.Read(4096, 200);
  char status[160];
  client.Flow().StatusText(GetTickCount(), status, sizeof status);
  // The rate is of whole seconds, which hold two epochs or none as the
  // caster's second and the client's fall.
  EXPECT_EQ(std::strncmp(status, "Corrections: BASE ", 18), 0) << status;
  EXPECT_NE(std::strstr(status, " kB/s does not fit 9600 baud, 1005 1077 1087 1097 1127, "), nullptr) << status;
  char line[net::kCorrectionsLogChars];
  std::string log;
  while (client.TakeLogLine(line, sizeof line)) log += line;
  EXPECT_NE(log.find(" kB/s does not fit 9600 baud: older epochs are dropped\r\n"), std::string::npos) << log;
  // The receiver sees whole frames only, their epochs never going back,
  // and the newest among the last it got.
  struct Frames {
    std::vector<std::string> all;
    void OnFrame(const unsigned char* f, int n) { all.emplace_back(reinterpret_cast<const char*>(f), n); }
  } frames;
  corrections::Rtcm3Filter filter;
  filter.Feed(reinterpret_cast<const unsigned char*>(got.data()), got.size(), frames);
  EXPECT_EQ(filter.DroppedBytes(), 0u) << "a torn frame reached the receiver";
  EXPECT_GE(got.size(), 4500u) << "the port carried less than it can";
  std::uint32_t latest = 0;
  for (const std::string& f : frames.all) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(f.data());
    if (corrections::MessageType(bytes, static_cast<int>(f.size())) == 1005) continue;
    EXPECT_GE(EpochCaster::EpochOf(bytes), latest);
    latest = EpochCaster::EpochOf(bytes);
  }
  EXPECT_GE(latest + 2000, caster.lastEpochMs.load()) << "the receiver got stale epochs";
  EXPECT_GT(client.Flow().dropped, 0u);

  // The receiver stops reading and the caster sends fast: the wire fills,
  // then the port stops taking bytes.
  this->link.SetRate(921600);
  caster.periodMs = 20;
  const unsigned long droppedBefore = client.Flow().dropped;
  unsigned long written = 0;
  for (ULONGLONG still = GetTickCount64(), end = still + 20000; GetTickCount64() < end; Sleep(50)) {
    if (client.Flow().bytes != written) {
      written = client.Flow().bytes;
      still = GetTickCount64();
    } else if (GetTickCount64() - still > 600) {
      break;
    }
  }
  ASSERT_GT(client.Flow().dropped, droppedBefore) << "no frame was cut short: the port never stalled";
  LARGE_INTEGER frequency, before, after;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&before);
  client.Stop();
  QueryPerformanceCounter(&after);
  EXPECT_LT((after.QuadPart - before.QuadPart) * 1000 / frequency.QuadPart, 100) << "Stop Corrections on a stalled port";

  // The window's own write stuck the same way, and Close GPS meanwhile.
  std::atomic<int> cut{0};
  std::atomic<bool> closed{false};
  std::thread writer([&] {
    const std::string block(8192, '\x5A');
    while (!closed) {
      if (this->link.WriteFrame(reinterpret_cast<const unsigned char*>(block.data()), 8192, nullptr) ==
          link::kBytesCut) {
        ++cut;
      }
    }
  });
  Sleep(300);
  QueryPerformanceCounter(&before);
  this->link.CloseLink();
  QueryPerformanceCounter(&after);
  closed = true;
  writer.join();
  EXPECT_LT((after.QuadPart - before.QuadPart) * 1000 / frequency.QuadPart, 100) << "Close GPS on a stalled port";
  EXPECT_GT(cut.load(), 0) << "the port never stalled";
}

REGISTER_TYPED_TEST_SUITE_P(CorrectionsCases, ASlowPortGetsWholeNewestEpochsAndAStalledOneHoldsNoStop);

}  // namespace trelvane::test
