// Winsock 2 before anything includes windows.h, whose older socket header
// it replaces.
#include <winsock2.h>

#include "net/share_server.hpp"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "handles/owned_socket.hpp"
#include "net/tcp_socket.hpp"
#include "monitor/gpsd_protocol.hpp"
#include "monitor/send_backlog.hpp"
#include "nmea/text.hpp"
#include "sync/worker.hpp"

namespace trelvane::net {

namespace {

// How far the thread may fall behind the window before new items are
// dropped: far more than a second of any receiver's output.
constexpr std::size_t kOutboxLimit = 1 << 20;
constexpr int kReadChunk = 2048;
// What one client's sending may take of one turn of the loop: a client that
// floods the port waits for the next turn, and every other client is
// served in between (what is left to read wakes the loop again at once).
constexpr int kReadPerTurn = 4096;
constexpr int kPorts = 2;
constexpr unsigned short kPortNumbers[kPorts] = {kNmeaSharePort, kGpsdSharePort};
constexpr int kGpsdPort = 1;  // the index of gpsd's port

// An outbox record: its kind, then the length and the bytes.
enum Kind : char { kSentenceRecord = 'S', kReportRecord = 'R', kDeviceRecord = 'D' };

struct Client {
  handles::OwnedSocket socket;
  handles::OwnedSocketEvent event;
  int port = 0;
  monitor::GpsdClient gpsd;
  monitor::SendBacklog pending{kClientBacklogBytes};  // not yet sent: whole sentences and objects
  bool closing = false;    // dropped: closed at the end of this turn
};

handles::OwnedSocket Listen(unsigned short port, bool allowOthers) {
  handles::OwnedSocket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!listener.Valid()) return listener;
  // No other program may take the port while it is ours.
  BOOL exclusive = TRUE;
  setsockopt(listener.Get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(allowOthers ? INADDR_ANY : INADDR_LOOPBACK);
  if (bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener.Get(), SOMAXCONN) != 0) {
    listener.Reset();
  }
  return listener;
}

}  // namespace

struct ShareServer::Shared {
  // First made and last gone: Winsock outlives every socket below.
  WinsockUse winsock;
  // Between the window's thread and the server's.
  CRITICAL_SECTION lock;
  std::string outbox;
  handles::OwnedSocketEvent wake;  // set for new items in the outbox and by Stop
  HWND window = nullptr;

  // The server thread's own.
  handles::OwnedSocket listeners[kPorts];
  handles::OwnedSocketEvent listenEvents[kPorts];
  std::vector<Client> clients;
  std::string device, activated, tpv, sky;  // for DEVICES and POLL
  int shownCount = -1;

  Shared() { InitializeCriticalSection(&lock); }
  Shared(const Shared&) = delete;
  Shared& operator=(const Shared&) = delete;
  ~Shared() { DeleteCriticalSection(&lock); }

  // The worker's thread, which holds its own share, so that a thread that
  // outlived Stop's wait still has all it uses.
  void Run(const sync::StopGate& stopped) {
    while (!stopped.Closed()) {
      WSAEVENT events[1 + kPorts + 2 * kClientsPerPort];
      DWORD count = 0;
      events[count++] = wake.Get();
      for (int p = 0; p < kPorts; ++p) {
        if (listenEvents[p].Valid()) events[count++] = listenEvents[p].Get();
      }
      for (const Client& client : clients) events[count++] = client.event.Get();
      WSAWaitForMultipleEvents(count, events, FALSE, WSA_INFINITE, FALSE);
      if (stopped.Closed()) break;
      WSAResetEvent(wake.Get());
      Deliver();
      for (int p = 0; p < kPorts; ++p) Accept(p);
      for (Client& client : clients) {
        Serve(client);
        Flush(client);
      }
      Sweep();
    }
  }

  // Whatever the window handed over since the last turn, to each client that wants it.
  void Deliver() {
    std::string taken;
    EnterCriticalSection(&lock);
    taken.swap(outbox);
    LeaveCriticalSection(&lock);
    for (std::size_t at = 0; at + 5 <= taken.size();) {
      const char kind = taken[at];
      std::uint32_t length = 0;
      std::memcpy(&length, taken.data() + at + 1, 4);
      const char* bytes = taken.data() + at + 5;
      at += 5 + length;
      if (kind == kDeviceRecord) {
        device.assign(bytes, length);
        activated = NowText();
        continue;
      }
      if (kind == kReportRecord) Remember(bytes, static_cast<int>(length));
      for (Client& client : clients) {
        const bool gpsd = client.port == kGpsdPort;
        const bool wanted = kind == kSentenceRecord ? (!gpsd || client.gpsd.WantsNmea()) : (gpsd && client.gpsd.WantsJson());
        if (wanted) Queue(client, bytes, static_cast<int>(length));
      }
    }
  }

  // The newest TPV and SKY, without their line end, for ?POLL.
  void Remember(const char* object, int length) {
    while (length > 0 && (object[length - 1] == '\n' || object[length - 1] == '\r')) --length;
    if (std::strncmp(object, "{\"class\":\"TPV\"", 14) == 0) tpv.assign(object, static_cast<std::size_t>(length));
    if (std::strncmp(object, "{\"class\":\"SKY\"", 14) == 0) sky.assign(object, static_cast<std::size_t>(length));
  }

  static std::string NowText() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
  }

  // A client whose backlog would pass the limit has stopped reading: it is
  // dropped rather than sent half of anything.
  void Queue(Client& client, const char* bytes, int length) {
    if (client.closing) return;
    if (!client.pending.Put(bytes, static_cast<std::size_t>(length))) client.closing = true;
  }

  void Accept(int port) {
    if (!listeners[port].Valid()) return;
    WSANETWORKEVENTS happened = {};
    if (WSAEnumNetworkEvents(listeners[port].Get(), listenEvents[port].Get(), &happened) != 0) return;
    if ((happened.lNetworkEvents & FD_ACCEPT) == 0) return;
    for (;;) {
      handles::OwnedSocket accepted(accept(listeners[port].Get(), nullptr, nullptr));
      if (!accepted.Valid()) return;
      int onPort = 0;
      for (const Client& client : clients) onPort += client.port == port && !client.closing ? 1 : 0;
      handles::OwnedSocketEvent event(onPort < kClientsPerPort ? WSACreateEvent() : WSA_INVALID_EVENT);
      if (!event.Valid() || WSAEventSelect(accepted.Get(), event.Get(), FD_READ | FD_WRITE | FD_CLOSE) != 0) {
        continue;  // one too many: refused with a close
      }
      // The system's own buffer for the client stays small as well, so that
      // one that stops reading is found out after some 128 KiB, not megabytes.
      const int buffer = kClientBacklogBytes;
      setsockopt(accepted.Get(), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&buffer), sizeof buffer);
      clients.emplace_back();
      Client& client = clients.back();
      client.socket = std::move(accepted);
      client.event = std::move(event);
      client.port = port;
      if (port == kGpsdPort) {
        char greeting[256];
        const int length = monitor::GpsdClient::Greeting(greeting, sizeof greeting);
        Queue(client, greeting, length);
      }
    }
  }

  // What the client sent: thrown away on the NMEA port, commands on gpsd's.
  void Serve(Client& client) {
    WSANETWORKEVENTS happened = {};
    if (client.closing || WSAEnumNetworkEvents(client.socket.Get(), client.event.Get(), &happened) != 0) return;
    if ((happened.lNetworkEvents & (FD_READ | FD_CLOSE)) == 0) return;
    char bytes[kReadChunk];
    for (int taken = 0; taken < kReadPerTurn; taken += kReadChunk) {
      const int got = recv(client.socket.Get(), bytes, sizeof bytes, 0);
      if (got == 0 || (got < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) {
        client.closing = true;
        return;
      }
      if (got < 0) return;
      if (client.port != kGpsdPort) continue;
      const std::string now = NowText();
      const monitor::GpsdView view = {device.c_str(), activated.c_str(), tpv.c_str(), sky.c_str(), now.c_str()};
      if (!client.gpsd.Take(bytes, got, view, [&](const char* object, int length) { Queue(client, object, length); })) {
        client.closing = true;
        return;
      }
    }
  }

  void Flush(Client& client) {
    const char* piece = nullptr;
    for (std::size_t left = client.pending.Peek(&piece); !client.closing && left > 0;
         left = client.pending.Peek(&piece)) {
      const int sent = send(client.socket.Get(), piece, static_cast<int>(left), 0);
      if (sent < 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) client.closing = true;
        return;
      }
      client.pending.Drop(static_cast<std::size_t>(sent));
    }
  }

  // Closes the clients dropped this turn; the window hears of a new count.
  void Sweep() {
    for (std::size_t i = 0; i < clients.size();) {
      if (!clients[i].closing) {
        ++i;
        continue;
      }
      clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
    }
    const int count = static_cast<int>(clients.size());
    if (count == shownCount) return;
    shownCount = count;
    PostMessageA(window, kMsgShareClients, static_cast<WPARAM>(count), 0);
  }
};

ShareServer::ShareServer() = default;
ShareServer::~ShareServer() { Stop(); }

bool ShareServer::Start(HWND window, bool allowOthers) {
  Stop();
  auto shared = std::make_shared<Shared>();
  if (!shared->winsock.Started()) return false;
  shared->window = window;
  shared->wake.Reset(WSACreateEvent());
  int listening = 0;
  for (int p = 0; p < kPorts; ++p) {
    shared->listeners[p] = Listen(kPortNumbers[p], allowOthers);
    if (!shared->listeners[p].Valid()) continue;
    shared->listenEvents[p].Reset(WSACreateEvent());
    WSAEventSelect(shared->listeners[p].Get(), shared->listenEvents[p].Get(), FD_ACCEPT);
    ++listening;
  }
  if (listening == 0 || !shared->wake.Valid()) return false;  // what was opened closes with `shared`
  if (!worker_.Start([shared](sync::StopGate& gate) { shared->Run(gate); },
                     [shared] { WSASetEvent(shared->wake.Get()); })) {
    return false;
  }
  shared_ = std::move(shared);
  // The thread posts the first count; a window that shows none until then
  // shows sharing with no client.
  return true;
}

void ShareServer::Stop() {
  if (!worker_.Running()) return;
  // The thread never blocks but on its events and ends at once; should it
  // not, it is left to end with its own share of what it uses.
  worker_.Stop(std::chrono::milliseconds(kShareStopMs));
  shared_.reset();
}

void ShareServer::SetDevice(const char* device) { Post(kDeviceRecord, device, static_cast<int>(std::strlen(device))); }

void ShareServer::Sentence(const char* line, int length) { Post(kSentenceRecord, line, length); }

void ShareServer::Report(const char* object, int length) { Post(kReportRecord, object, length); }

// The thread is woken only when the outbox was empty: otherwise a wake is
// already due, and it takes the whole outbox.
void ShareServer::Post(char kind, const char* bytes, int length) {
  if (!worker_.Running() || length < 0) return;
  Shared& shared = *shared_;
  const auto size = static_cast<std::uint32_t>(length);
  EnterCriticalSection(&shared.lock);
  const bool wasEmpty = shared.outbox.empty();
  const bool fits = shared.outbox.size() + 5 + size <= kOutboxLimit;
  if (fits) {
    shared.outbox.push_back(kind);
    shared.outbox.append(reinterpret_cast<const char*>(&size), 4);
    shared.outbox.append(bytes, size);
  }
  LeaveCriticalSection(&shared.lock);
  if (fits && wasEmpty) WSASetEvent(shared.wake.Get());
}

}  // namespace trelvane::net
