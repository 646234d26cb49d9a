// The corrections client's thread, and the Get List thread beside it.
// Winsock's headers go before windows.h, which the client's header brings.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "net/ntrip_client.hpp"

#include <atomic>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "corrections/gga_for_caster.hpp"
#include "corrections/ntrip_answer.hpp"
#include "corrections/ntrip_request.hpp"
#include "corrections/port_queue.hpp"
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
  link::PortBytes* port = nullptr;  // the feeder's, inside its gate's spells only
  StopEvent stop;  // set by Stop: every wait on the network ends on it
  bool refusing = false;  // the feeder's: the link refuses frames, and the log said so
  bool toldMisfit = false;  // the network thread's: the log said the stream does not fit the port

  mutable std::mutex lock;  // guards what follows; held only for copies
  std::condition_variable queued;  // a frame waits, or the feeder is stopped
  bool feederStopped = false;
  corrections::PortQueue queue;
  corrections::CorrectionsFlow flow;
  char gga[kGgaChars] = {};  // the receiver's latest GGA with a position
  int ggaLength = 0;
  std::uint32_t ggaTakenAt = 0;
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

  // The first frames of a connection: the log says so.
  void NoteStarted() {
    Log("Corrections started from %s/%s\r\n", settings.host, settings.mountpoint);
  }

  // Sends the request for the mountpoint (or, `table`, the caster's table).
  bool Ask(SOCKET socket, SocketEvents& events, bool table, char* why, int capacity) {
    char request[1024];
    const int length = corrections::BuildRequest(LoginOf(settings, table), request, sizeof request);
    const bool sent = length > 0 && SendWithin(socket, request, length, kSendMs, &events, &stop);
    SecureZeroMemory(request, sizeof request);  // it held the credentials
    if (sent) return true;
    std::snprintf(why, static_cast<std::size_t>(capacity), "the request could not be sent");
    return false;
  }

  // Why the connection is given up before its next read: the receiver's
  // position could not be sent, or the caster has been silent too long;
  // null while it holds.
  const char* ReasonToGiveUp(SOCKET socket, SocketEvents& events, bool& sentGga, std::uint32_t& ggaAt,
                     std::uint32_t heardAt) {
    if (!SendGga(socket, events, sentGga, ggaAt)) return "the position could not be sent";
    if (Now() - heardAt >= corrections::kSilentCasterMs) return "the caster was silent for 10 s";
    return nullptr;
  }

  // The stream's body: each whole frame into the port; the first one's
  // arrival is logged, and how long frames came is what the backoff hears.
  struct MountpointBody {
    Feed& shared;
    corrections::Rtcm3Filter filter;
    bool flowing = false;
    std::uint32_t firstFrameAt = 0, lastFrameAt = 0;
    void OnData(const unsigned char* bytes, std::size_t count) { filter.Feed(bytes, count, *this); }
    void OnTable(const unsigned char*, std::size_t) {}
    void OnFrame(const unsigned char* frame, int length) {
      lastFrameAt = Now();
      if (!flowing) {
        shared.NoteStarted();
        flowing = true;
        firstFrameAt = lastFrameAt;
      }
      shared.Queue(frame, length, lastFrameAt);
    }
  };

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
    MountpointBody body{*this, {}, false};
    bool sentGga = false;
    std::uint32_t ggaAt = 0, heardAt = Now();
    unsigned long filterCounted = 0;  // of the filter's dropped bytes, those in flow.dropped
    {
      std::lock_guard<std::mutex> hold(lock);
      flow.Restart(Now());
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
      heardAt = Now();
      answer.Feed(bytes, static_cast<std::size_t>(got), body);
      {
        std::lock_guard<std::mutex> hold(lock);
        flow.dropped += body.filter.DroppedBytes() - filterCounted;
        filterCounted = body.filter.DroppedBytes();
        if (answer.Kind() == corrections::AnswerKind::kData) flow.state = CasterState::kFlowing;
      }
      CasterState ended = CasterState::kWaiting;
      if (AnswerEnds(answer, ended, why, capacity)) {
        if (ended != CasterState::kWaiting) return ended;
        break;
      }
    }
    body.filter.Reset();  // a frame cut by the loss is dropped
    if (body.flowing) backoff.Flowed(body.lastFrameAt - body.firstFrameAt);
    std::lock_guard<std::mutex> hold(lock);
    flow.dropped += body.filter.DroppedBytes() - filterCounted;
    return CasterState::kWaiting;
  }

  // A whole frame from the caster, for the feeder. While the mountpoint's
  // rate does not fit the port, older epochs give way (the log says so
  // once).
  void Queue(const unsigned char* frame, int length, std::uint32_t now) {
    bool misfit = false;
    char line[kCorrectionsLogChars];
    {
      std::lock_guard<std::mutex> hold(lock);
      flow.TakeFrame(corrections::MessageType(frame, length), length, now);
      const bool fits = flow.Fits(now);
      flow.dropped += static_cast<unsigned long>(queue.Push(frame, length, !fits));
      if (!fits && !toldMisfit) {
        misfit = toldMisfit = true;
        std::snprintf(line, sizeof line, "%.1f kB/s does not fit %lu baud: older epochs are dropped",
                      flow.RateBytesPerSecond(now) / 1000.0, flow.portBaud);
      }
    }
    queued.notify_one();
    if (misfit) Log("Corrections: %s %s\r\n", settings.mountpoint, line);
  }

  // The feeder's thread: each waiting frame into the port whole, no faster
  // than the port's rate carries it, so that what waits is here, where a
  // newer epoch can take its place, and not in the driver. A frame the
  // link refused (a network receiver being reconnected) is not counted as
  // written, and the log says so once.
  void FeedPort(sync::StopGate& gate) {
    unsigned char frame[corrections::kMaxFrame];
    auto lineFree = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
      queued.wait(hold, [&] { return feederStopped || !queue.Empty(); });
      if (feederStopped) return;
      const int length = queue.Pop(frame);
      hold.unlock();
      if (!gate.Enter()) return;
      const unsigned long baud = port->Baud();
      const int result = port->WriteFrame(frame, length, &gate);
      gate.Leave();
      if (result == link::kBytesRefused && !refusing) {
        Log("Corrections not written: %s%s\r\n", "the receiver's link is reconnecting");
      }
      refusing = result == link::kBytesRefused;
      if (baud != 0) {
        lineFree = std::max(lineFree, std::chrono::steady_clock::now()) +
                   std::chrono::microseconds(static_cast<long long>(length) * 10000000LL / static_cast<long long>(baud));
      }
      hold.lock();
      flow.portBaud = baud;
      if (result == link::kBytesWritten) flow.Written(length);
      if (result == link::kBytesCut) flow.dropped += static_cast<unsigned long>(length);
      if (queued.wait_until(hold, lineFree, [&] { return feederStopped; })) return;
    }
  }

  // The receiver's latest GGA with a position, at every interval from the
  // one last sent (the first as soon as there is one), as `$GPGGA`: a
  // network mountpoint drops a client whose position stops, so one the
  // receiver has not renewed for kStaleGgaMs goes with the current time.
  // False when the socket would not take it.
  bool SendGga(SOCKET socket, SocketEvents& events, bool& sent, std::uint32_t& sentAt) {
    if (settings.ggaSeconds == 0) return true;
    if (sent && Now() - sentAt < settings.ggaSeconds * 1000u) return true;
    char latest[kGgaChars];
    int length = 0;
    std::uint32_t takenAt = 0;
    {
      std::lock_guard<std::mutex> hold(lock);
      if (ggaLength == 0) return true;
      std::memcpy(latest, gga, static_cast<std::size_t>(ggaLength));
      length = ggaLength;
      takenAt = ggaTakenAt;
    }
    char utc[16];
    const bool stale = Now() - takenAt > corrections::kStaleGgaMs;
    if (stale) {
      SYSTEMTIME now;
      GetSystemTime(&now);
      std::snprintf(utc, sizeof utc, "%02u%02u%02u.%02u", now.wHour, now.wMinute, now.wSecond,
                    now.wMilliseconds / 10u);
    }
    char line[corrections::kGgaLineChars + 4];
    const int size = corrections::GgaForCaster(latest, length, stale ? utc : nullptr, line, sizeof line);
    if (size == 0) return true;
    sent = true;
    sentAt = Now();
    return SendWithin(socket, line, size, kSendMs, &events, &stop);
  }
};

bool NtripClient::Start(HWND window, const CasterSettings& settings, link::PortBytes& port) {
  Stop();
  // A request that cannot be built would only be tried again and again.
  char request[1024];
  const int buildable = corrections::BuildRequest(LoginOf(settings, false), request, sizeof request);
  SecureZeroMemory(request, sizeof request);
  if (buildable == 0) return false;
  auto shared = std::make_shared<Feed>();
  shared->window = window;
  shared->settings = settings;
  shared->port = &port;
  CopyText(shared->flow.host, settings.host);
  CopyText(shared->flow.mountpoint, settings.mountpoint);
  shared->flow.state = CasterState::kConnecting;
  shared->flow.portBaud = port.Baud();
  const bool feeding = feeder_.Start([shared](sync::StopGate& gate) { shared->FeedPort(gate); },
                                     [shared] {
                                       std::lock_guard<std::mutex> hold(shared->lock);
                                       shared->feederStopped = true;
                                       shared->queued.notify_all();
                                     });
  if (!feeding) return false;
  if (!worker_.Start([shared](sync::StopGate&) { shared->Run(); }, [shared] { shared->stop.Set(); })) {
    feeder_.Stop(std::chrono::milliseconds(kClientStopMs));
    return false;
  }
  shared_ = std::move(shared);
  return true;
}

void NtripClient::Stop(char* stopped) {
  if (shared_ == nullptr) return;
  Feed& shared = *shared_;
  // From here no thread writes to the port: the feeder is out of its write
  // within a slice of it. Neither is waited for beyond kClientStopMs: a
  // name lookup in hand may keep the network thread a while longer, with
  // its own share of what it uses.
  feeder_.Stop(std::chrono::milliseconds(kClientStopMs));
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
  // Only a GGA with a position is ever sent: one without leaves the last.
  if (length <= 0 || length >= kGgaChars || !corrections::GgaHasPosition(line, length)) return;
  std::lock_guard<std::mutex> hold(shared_->lock);
  std::memcpy(shared_->gga, line, static_cast<std::size_t>(length));
  shared_->ggaLength = length;
  shared_->ggaTakenAt = Now();
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
  std::atomic<bool> done{false};  // what follows is the window's from here
  corrections::SourceTable table;
  char why[128] = {};

  // The window hears of the end as the thread's last act, so the thread is
  // out by the time the window asks for the result, or a moment later.
  void Run() {
    Fetch();
    done.store(true);
    if (!stop.IsSet()) PostMessage(window, kMsgSourceTable, 0, 0);
  }

  // A table is public on most casters: it is asked for without the
  // credentials first, and with them only when the caster answers 401, so
  // that they go to a caster only when it asks for them.
  void Fetch() {
    const WinsockUse winsock;
    if (!winsock.Started()) {
      CopyText(why, "the network could not be used");
      return;
    }
    corrections::AnswerKind answered = corrections::AnswerKind::kPending;
    if (!FetchOnce(false, answered)) return;
    if (answered == corrections::AnswerKind::kUnauthorized && settings.user[0] != '\0' && !stop.IsSet()) {
      table = corrections::SourceTable{};
      if (!FetchOnce(true, answered)) return;
    }
    table.Finish();
    if (!table.Mounts().empty()) return;
    switch (answered) {
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

  // One connection asking for the table (`withLogin`: with the
  // credentials); `answered` gets the caster's answer. False, with `why`,
  // when none could be asked.
  bool FetchOnce(bool withLogin, corrections::AnswerKind& answered) {
    OwnedSocket socket;
    if (!ConnectWithin(settings.host, settings.port, stop, socket, why, sizeof why)) return false;
    corrections::CasterLogin login = LoginOf(settings, true);
    if (!withLogin) login.user = login.password = "";
    char request[1024];
    const int length = corrections::BuildRequest(login, request, sizeof request);
    SocketEvents events(socket.Get(), FD_READ | FD_WRITE | FD_CLOSE);
    const bool sent = length > 0 && SendWithin(socket.Get(), request, length, kSendMs, &events, &stop);
    SecureZeroMemory(request, sizeof request);
    if (!sent) {
      CopyText(why, "the request could not be sent");
      return false;
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
    answered = answer.Kind();
    return true;
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
  worker_.Stop(std::chrono::milliseconds(net::kClientStopMs));
  shared_.reset();
}

bool SourceTableFetch::Busy() const { return shared_ != nullptr && !shared_->done.load(); }

bool SourceTableFetch::Result(std::vector<corrections::Mountpoint>& mounts, char* why, int capacity) {
  if (shared_ == nullptr || !shared_->done.load()) return false;
  worker_.Stop(std::chrono::milliseconds(kClientStopMs));  // it is past its last act: joined
  mounts = shared_->table.Mounts();
  std::snprintf(why, static_cast<std::size_t>(capacity), "%s", shared_->why);
  shared_.reset();
  return true;
}

}  // namespace trelvane::net
