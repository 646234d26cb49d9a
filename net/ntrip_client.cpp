// The corrections client's thread, and the Get List thread beside it.
// Winsock's headers go before windows.h, which the client's header brings.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "net/ntrip_client.hpp"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "corrections/ntrip_answer.hpp"
#include "corrections/ntrip_request.hpp"
#include "corrections/rtcm3_frames.hpp"
#include "net/log_lines.hpp"
#include "net/tcp_socket.hpp"
#include "sync/stop_gate.hpp"
#include "sync/worker.hpp"

namespace trelvane::net {
namespace {

using corrections::CasterState;

constexpr DWORD kSendMs = 2000;              // a request or a position the caster does not take in this is lost
constexpr DWORD kLookMs = 1000;              // how often a connection looks at its position's and its silence's times
constexpr std::uint32_t kTableMs = 15000;    // a table still coming after this is given up
constexpr int kGgaChars = 128;
constexpr int kLogLines = 8;

std::uint32_t Now() { return GetTickCount(); }

template <int N>
void CopyText(char (&to)[N], const char* from) {
  std::snprintf(to, N, "%s", from);
}

corrections::CasterLogin LoginOf(const CasterSettings& settings, bool table) {
  corrections::CasterLogin login;
  login.host = settings.host;
  login.port = settings.port;
  login.mountpoint = table ? "" : settings.mountpoint;
  login.user = settings.user;
  login.password = settings.password;
  return login;
}

// Whether the caster's answer so far ends the connection: refused for good
// (`ended` kLoginRefused or kNoMountpoint), or lost (`ended` kWaiting, with
// the reason in `why`).
bool AnswerEnds(const corrections::NtripAnswer& answer, CasterState& ended, char* why, int capacity) {
  const auto size = static_cast<std::size_t>(capacity);
  ended = CasterState::kWaiting;
  switch (answer.Kind()) {
    case corrections::AnswerKind::kUnauthorized:
      ended = CasterState::kLoginRefused;
      return true;
    case corrections::AnswerKind::kSourceTable:
      ended = CasterState::kNoMountpoint;
      return true;
    case corrections::AnswerKind::kRefused:
      std::snprintf(why, size, "the caster answered %d", answer.Status());
      return true;
    case corrections::AnswerKind::kGarbage:
      std::snprintf(why, size, "the answer was not a caster's");
      return true;
    default:
      if (!answer.Ended()) return false;
      std::snprintf(why, size, "the caster ended the stream");
      return true;
  }
}

}  // namespace

struct NtripClient::Feed {
  HWND window = nullptr;
  CasterSettings settings;
  link::PortBytes* port = nullptr;
  // The client's worker's gate, closed once by Stop; a spell is a frame's
  // write into the port. Set by the thread as it starts.
  sync::StopGate* gate = nullptr;
  StopEvent stop;  // set as the gate closes: every wait on the network ends on it

  mutable std::mutex lock;  // guards what follows; held only for copies
  corrections::CorrectionsFlow flow;
  char gga[kGgaChars] = {};
  int ggaLength = 0;
  unsigned ggaCount = 0;
  LogLines<kLogLines, kCorrectionsLogChars> log;

  void Log(const char* format, const char* a, const char* b = "") {
    {
      std::lock_guard<std::mutex> hold(lock);
      if (!log.Put(format, a, b)) return;
    }
    PostMessage(window, kMsgCorrections, 0, 0);
  }

  void SetState(CasterState state, const char* reason = "", std::uint32_t retryAt = 0) {
    std::lock_guard<std::mutex> hold(lock);
    flow.state = state;
    CopyText(flow.reason, reason);
    flow.retryAtMs = retryAt;
  }

  // Waits `ms`; false when stopped meanwhile.
  bool Pause(std::uint32_t ms) const { return stop.Pause(ms); }

  void Run() {
    corrections::Backoff backoff;
    char why[96];
    while (!stop.IsSet()) {
      SetState(CasterState::kConnecting);
      const CasterState ended = Connection(why, sizeof why, backoff);
      if (stop.IsSet()) break;
      if (ended == CasterState::kLoginRefused || ended == CasterState::kNoMountpoint) {
        SetState(ended);
        if (ended == CasterState::kLoginRefused) {
          Log("Corrections lost: %s%s\r\n", "the caster refused the login");
        } else {
          Log("Corrections lost: no mountpoint %s%s\r\n", settings.mountpoint);
        }
        break;
      }
      const std::uint32_t wait = backoff.NextMs();
      SetState(CasterState::kWaiting, why, Now() + wait);
      Log("Corrections lost: %s%s\r\n", why);
      if (!Pause(wait)) break;
    }
  }

  // The first frames of a connection: the log says so, and the waits
  // between tries start short again.
  void NoteStarted(corrections::Backoff& backoff) {
    backoff.Reset();
    Log("Corrections started from %s/%s\r\n", settings.host, settings.mountpoint);
  }

  // Sends the request for the mountpoint (or, `table`, the caster's table).
  bool Ask(SOCKET socket, SocketEvents& events, bool table, char* why, int capacity) {
    char request[1024];
    const int length = corrections::BuildRequest(LoginOf(settings, table), request, sizeof request);
    if (length > 0 && SendWithin(socket, request, length, kSendMs, &events, &stop)) return true;
    std::snprintf(why, static_cast<std::size_t>(capacity), "the request could not be sent");
    return false;
  }

  // Why the connection is given up before its next read: the receiver's
  // position could not be sent, or the caster has been silent too long;
  // null while it holds.
  const char* ReasonToGiveUp(SOCKET socket, SocketEvents& events, unsigned& sentGga, std::uint32_t& ggaAt,
                     std::uint32_t heardAt) {
    if (!SendGga(socket, events, sentGga, ggaAt)) return "the position could not be sent";
    if (Now() - heardAt >= corrections::kSilentCasterMs) return "the caster was silent for 10 s";
    return nullptr;
  }

  // One connection, until it is lost (kWaiting, `why` says why), refused
  // for good (kLoginRefused, kNoMountpoint) or stopped.
  CasterState Connection(char* why, int capacity, corrections::Backoff& backoff) {
    const WinsockUse winsock;
    OwnedSocket socket;
    if (!winsock.Started() || !ConnectWithin(settings.host, settings.port, stop, socket, why, capacity)) {
      return CasterState::kWaiting;
    }
    SocketEvents events(socket.Get(), FD_READ | FD_WRITE | FD_CLOSE);
    if (!Ask(socket.Get(), events, false, why, capacity)) return CasterState::kWaiting;
    corrections::NtripAnswer answer;
    struct MountpointBody {
      Feed& shared;
      corrections::Rtcm3Filter filter;
      bool flowing = false;
      void OnData(const unsigned char* bytes, std::size_t count) { filter.Feed(bytes, count, *this); }
      void OnTable(const unsigned char*, std::size_t) {}
      void OnFrame(const unsigned char* frame, int length) { shared.WriteFrame(frame, length); }
    } body{*this, {}, false};
    unsigned sentGga = 0;
    std::uint32_t ggaAt = 0, heardAt = Now();
    unsigned long droppedBefore = 0;
    {
      std::lock_guard<std::mutex> hold(lock);
      flow.Restart(Now());
      droppedBefore = flow.dropped;
    }
    unsigned char bytes[4096];
    while (!stop.IsSet()) {
      if (const char* reason = ReasonToGiveUp(socket.Get(), events, sentGga, ggaAt, heardAt)) {
        std::snprintf(why, static_cast<std::size_t>(capacity), "%s", reason);
        break;
      }
      const int got = recv(socket.Get(), reinterpret_cast<char*>(bytes), sizeof bytes, 0);
      if (got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
        events.Wait(stop, kLookMs);  // bytes, the stop, or a look at the times
        continue;
      }
      if (got == 0 || (got == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK)) {
        std::snprintf(why, static_cast<std::size_t>(capacity), got == 0 ? "the caster closed the connection"
                                                                        : "the connection failed");
        break;
      }
      if (got < 0) continue;
      heardAt = Now();
      const unsigned long before = body.filter.Frames();
      answer.Feed(bytes, static_cast<std::size_t>(got), body);
      {
        std::lock_guard<std::mutex> hold(lock);
        flow.dropped = droppedBefore + body.filter.DroppedBytes();
        if (answer.Kind() == corrections::AnswerKind::kData) flow.state = CasterState::kFlowing;
      }
      if (body.filter.Frames() > before && !body.flowing) {
        NoteStarted(backoff);
        body.flowing = true;
      }
      CasterState ended = CasterState::kWaiting;
      if (AnswerEnds(answer, ended, why, capacity)) {
        if (ended != CasterState::kWaiting) return ended;
        break;
      }
    }
    body.filter.Reset();  // a frame cut by the loss is dropped
    std::lock_guard<std::mutex> hold(lock);
    flow.dropped = droppedBefore + body.filter.DroppedBytes();
    return CasterState::kWaiting;
  }

  // One whole frame into the port, unless the window has stopped the client.
  void WriteFrame(const unsigned char* frame, int length) {
    if (!gate->Enter()) return;
    port->WriteBytes(frame, length);
    gate->Leave();
    std::lock_guard<std::mutex> hold(lock);
    flow.TakeFrame(corrections::MessageType(frame, length), length, Now());
  }

  // The receiver's latest GGA, when one is due: the first as soon as there
  // is one, then every ggaSeconds. False when the socket would not take it.
  bool SendGga(SOCKET socket, SocketEvents& events, unsigned& sentCount, std::uint32_t& sentAt) {
    if (settings.ggaSeconds == 0) return true;
    char line[kGgaChars + 2];
    int length = 0;
    {
      std::lock_guard<std::mutex> hold(lock);
      if (ggaCount == 0 || ggaCount == sentCount) return true;
      if (sentCount != 0 && Now() - sentAt < settings.ggaSeconds * 1000u) return true;
      std::memcpy(line, gga, static_cast<std::size_t>(ggaLength));
      length = ggaLength;
      sentCount = ggaCount;
    }
    line[length++] = '\r';
    line[length++] = '\n';
    sentAt = Now();
    return SendWithin(socket, line, length, kSendMs, &events, &stop);
  }
};

bool NtripClient::Start(HWND window, const CasterSettings& settings, link::PortBytes& port) {
  Stop();
  auto shared = std::make_shared<Feed>();
  shared->window = window;
  shared->settings = settings;
  shared->port = &port;
  CopyText(shared->flow.host, settings.host);
  CopyText(shared->flow.mountpoint, settings.mountpoint);
  shared->flow.state = CasterState::kConnecting;
  const bool started = worker_.Start(
      [shared](sync::StopGate& gate) {
        shared->gate = &gate;
        shared->Run();
      },
      [shared] { shared->stop.Set(); });
  if (!started) return false;
  shared_ = std::move(shared);
  return true;
}

void NtripClient::Stop(char* stopped) {
  if (shared_ == nullptr) return;
  Feed& shared = *shared_;
  // From here the thread never writes to the port; a name lookup in hand
  // may keep it a while longer, with its own share of what it uses.
  worker_.Stop(std::chrono::milliseconds(kClientStopMs));
  if (stopped != nullptr) {
    std::lock_guard<std::mutex> hold(shared.lock);
    std::snprintf(stopped, kCorrectionsLogChars, "Corrections stopped: %lu bytes in %lu frames, %lu dropped\r\n",
                  shared.flow.bytes, shared.flow.frames, shared.flow.dropped);
  }
  shared_.reset();
}

void NtripClient::TakeGga(const char* line, int length) {
  if (shared_ == nullptr) return;
  while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == '\n')) --length;
  if (length <= 0 || length >= kGgaChars) return;
  std::lock_guard<std::mutex> hold(shared_->lock);
  std::memcpy(shared_->gga, line, static_cast<std::size_t>(length));
  shared_->ggaLength = length;
  ++shared_->ggaCount;
}

corrections::CorrectionsFlow NtripClient::Flow() const {
  if (shared_ == nullptr) return corrections::CorrectionsFlow{};
  std::lock_guard<std::mutex> hold(shared_->lock);
  return shared_->flow;
}

bool NtripClient::TakeLogLine(char* out, int capacity) {
  if (shared_ == nullptr || capacity <= 0) return false;
  std::lock_guard<std::mutex> hold(shared_->lock);
  return shared_->log.Take(out, capacity);
}

// ---- Get List ----

struct SourceTableFetch::Request {
  HWND window = nullptr;
  CasterSettings settings;
  StopEvent stop;  // set when the worker is stopped: every wait on the network ends on it
  // The thread's until the worker has ended, then the window's.
  corrections::SourceTable table;
  char why[128] = {};

  void Run() {
    Fetch();
    if (!stop.IsSet()) PostMessage(window, kMsgSourceTable, 0, 0);
  }

  void Fetch() {
    const WinsockUse winsock;
    OwnedSocket socket;
    char request[1024];
    const int length = corrections::BuildRequest(LoginOf(settings, true), request, sizeof request);
    if (!winsock.Started() || !ConnectWithin(settings.host, settings.port, stop, socket, why, sizeof why)) {
      return;
    }
    SocketEvents events(socket.Get(), FD_READ | FD_WRITE | FD_CLOSE);
    if (length == 0 || !SendWithin(socket.Get(), request, length, kSendMs, &events, &stop)) {
      CopyText(why, "the request could not be sent");
      return;
    }
    corrections::NtripAnswer answer;
    struct TableBody {
      corrections::SourceTable& table;
      void OnData(const unsigned char*, std::size_t) {}
      void OnTable(const unsigned char* bytes, std::size_t count) { table.Take(bytes, count); }
    } body{table};
    unsigned char bytes[4096];
    const std::uint32_t start = Now();
    while (!stop.IsSet() && !table.Complete() && !answer.Ended() && Now() - start < kTableMs) {
      const int got = recv(socket.Get(), reinterpret_cast<char*>(bytes), sizeof bytes, 0);
      if (got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
        events.Wait(stop, kTableMs - (Now() - start));
        continue;
      }
      if (got == 0 || (got == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK)) break;
      if (got > 0) answer.Feed(bytes, static_cast<std::size_t>(got), body);
      if (answer.Kind() != corrections::AnswerKind::kPending && answer.Kind() != corrections::AnswerKind::kSourceTable &&
          answer.Kind() != corrections::AnswerKind::kData) {
        break;
      }
    }
    table.Finish();
    if (!table.Mounts().empty()) return;
    switch (answer.Kind()) {
      case corrections::AnswerKind::kUnauthorized:
        CopyText(why, "the caster refused the login");
        break;
      case corrections::AnswerKind::kSourceTable:
        CopyText(why, "the caster's table lists no mountpoint");
        break;
      case corrections::AnswerKind::kPending:
        CopyText(why, "the caster did not answer");
        break;
      default:
        CopyText(why, "the caster sent no table");
        break;
    }
  }
};

bool SourceTableFetch::Start(HWND window, const CasterSettings& settings) {
  Cancel();
  auto shared = std::make_shared<Request>();
  shared->window = window;
  shared->settings = settings;
  if (!worker_.Start([shared](sync::StopGate&) { shared->Run(); }, [shared] { shared->stop.Set(); })) {
    return false;
  }
  shared_ = std::move(shared);
  return true;
}

void SourceTableFetch::Cancel() {
  if (shared_ == nullptr) return;
  worker_.Stop(std::chrono::milliseconds(kClientStopMs));
  shared_.reset();
}

bool SourceTableFetch::Busy() const { return shared_ != nullptr && !worker_.Ended(); }

bool SourceTableFetch::Result(std::vector<corrections::Mountpoint>& mounts, char* why, int capacity) {
  if (shared_ == nullptr || !worker_.Ended()) return false;
  worker_.Stop(std::chrono::milliseconds(0));  // it has ended: joined
  mounts = shared_->table.Mounts();
  std::snprintf(why, static_cast<std::size_t>(capacity), "%s", shared_->why);
  shared_.reset();
  return true;
}

}  // namespace trelvane::net
