// Sharing the receiver: two TCP servers on a thread of their own. Port
// 10110 gives every client each accepted sentence as received; port 2947
// speaks gpsd's JSON protocol (its VERSION on connect, WATCH for TPV and SKY
// objects or the raw sentences, POLL, DEVICES). The window's thread hands
// over what the monitor session accepted (as the feed's sink) and never
// waits for a client: the thread takes it from an outbox under a lock held
// only for a swap, and a client with 64 KiB waiting for it is dropped.
// Clients only ever get whole sentences and whole objects; nothing they
// send reaches the receiver.
#pragma once

#include <windows.h>

#include <memory>

#include "monitor/share_feed.hpp"
#include "sync/worker.hpp"

namespace trelvane::net {

constexpr unsigned short kNmeaSharePort = 10110;
constexpr unsigned short kGpsdSharePort = 2947;
constexpr int kClientsPerPort = 8;
constexpr int kClientBacklogBytes = 64 * 1024;
// How long Stop waits for the server's thread.
constexpr DWORD kShareStopMs = 2000;
// Posted to the window when the number of clients changed: wParam the
// clients of both ports together.
constexpr UINT kMsgShareClients = WM_APP + 30;

class ShareServer final : public monitor::ShareSink {
 public:
  ShareServer();
  ShareServer(const ShareServer&) = delete;
  ShareServer& operator=(const ShareServer&) = delete;
  ~ShareServer();

  // Listens on both ports, on every interface when `allowOthers`, else on
  // 127.0.0.1 only. False when neither port could be opened (nothing runs
  // then). A running server is stopped first.
  bool Start(HWND window, bool allowOthers);
  // Closes every client and both ports; returns once the thread has ended,
  // or after kShareStopMs at the most.
  void Stop();
  bool Running() const { return worker_.Running(); }

  // The port (or file) the sentences come from, for DEVICES and TPV.
  void SetDevice(const char* device);

  // The monitor session's accepted sentences and the feed's objects.
  void Sentence(const char* line, int length) override;
  void Report(const char* object, int length) override;

 private:
  struct Shared;
  void Post(char kind, const char* bytes, int length);

  std::shared_ptr<Shared> shared_;  // shared with the thread, which holds its own share
  sync::Worker worker_;
};

}  // namespace trelvane::net
