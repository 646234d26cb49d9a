// Winsock's headers go before windows.h, which the link's header brings.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "net/network_link.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "link/reader_core.hpp"
#include "net/log_lines.hpp"
#include "net/tcp_socket.hpp"
#include "sync/stop_gate.hpp"

namespace trelvane::net {
namespace {

constexpr DWORD kBatchIdleMs = 20;    // lines wait this long for the ones behind them
constexpr DWORD kIdleWaitMs = 60000;  // a silent source wakes the reader this seldom; its stop, at once
constexpr int kLargestDatagram = 65507;  // what one UDP datagram over IPv4 carries at most
constexpr int kNotes = 4;

link::ReaderCensus networkReaders;

}  // namespace

template <class Ch>
struct NetworkLink<Ch>::Reader : link::ReaderShared {
  Reader(HWND target, recording::Recorder* recordTo, const NetworkSource& from) : link::ReaderShared(target, recordTo), source(from) {}

  NetworkSource source;
  // The reader's worker's gate, closed once by Close; a spell is a call on
  // the socket. Set by the reader as it starts, and read by it alone.
  sync::StopGate* gate = nullptr;
  WinsockUse winsock;
  StopEvent stop;       // set when the link closes; every wait of the thread ends on it
  OwnedSocket udp;      // bound by Open, read by the thread
  std::unique_ptr<unsigned char[]> datagram;  // UDP: room for one whole datagram, made by Open

  std::mutex lock;      // guards what follows
  SOCKET connected = INVALID_SOCKET;  // the thread's TCP socket while it is up, for writes
  bool refusedNoted = false;  // a write was refused since the socket was last up, and the log said so
  LogLines<kNotes, kNetworkNoteChars> notes;

  void Note(const char* text, const char* reason = "") {
    {
      std::lock_guard<std::mutex> hold(lock);
      if (!notes.Put("%s%s\r\n", text, reason)) return;
    }
    PostMessage(window, kMsgNetworkNote, 0, 0);
  }
};

namespace {

template <class Reader>
bool Stopped(const void* reader) {
  return static_cast<const Reader*>(reader)->gate->Closed();
}

// Reads `socket` into the core until it fails, closes, or the link is
// closed. Between reads the thread sleeps until bytes come or it is stopped;
// lines that wait are handed over once nothing has come for kBatchIdleMs.
// False, with `why`, when the socket was lost.
template <class Ch, class Reader>
bool ReadSocket(Reader& reader, link::ReaderCore<Ch>& core, SOCKET socket, bool stream, char* why, int capacity) {
  SocketEvents events(socket, FD_READ | FD_CLOSE);  // the socket reads without blocking from here
  if (!events.Valid()) {
    std::snprintf(why, static_cast<std::size_t>(capacity), "the connection failed");
    return false;
  }
  // A datagram is read whole, up to the largest UDP carries, and then cut
  // in chunks as a stream's reads are; a stream is read chunk by chunk.
  unsigned char* const into = stream ? core.Chunk() : reader.datagram.get();
  const int room = stream ? static_cast<int>(link::ReaderCore<Ch>::kChunkBytes) : kLargestDatagram;
  while (!reader.gate->Closed()) {
    if (!reader.gate->Enter()) break;
    const int got = recv(socket, reinterpret_cast<char*>(into), room, 0);
    const int error = got == SOCKET_ERROR ? WSAGetLastError() : 0;
    reader.gate->Leave();
    if (got == SOCKET_ERROR && error == WSAEWOULDBLOCK) {
      const bool batch = core.HasBatch();
      if (events.Wait(reader.stop, batch ? kBatchIdleMs : kIdleWaitMs) == 0 && batch) core.HandOver();
      continue;
    }
    // A datagram refused somewhere (an ICMP answer) is no reason to stop hearing.
    if (got == SOCKET_ERROR && !stream) continue;
    if (got <= 0) {
      std::snprintf(why, static_cast<std::size_t>(capacity), got == 0 ? "the connection was closed"
                                                                      : "the connection failed");
      return false;
    }
    for (int at = 0; at < got;) {
      const int piece = stream ? got : std::min(got - at, static_cast<int>(link::ReaderCore<Ch>::kChunkBytes));
      if (!stream) std::memcpy(core.Chunk(), into + at, static_cast<std::size_t>(piece));
      core.Read(static_cast<DWORD>(piece));
      while (!core.ChunkDone()) core.Cut();
      at += piece;
    }
  }
  return true;
}

template <class Ch, class Reader>
void RunNetworkReader(Reader& reader, sync::StopGate& gate) {
  reader.gate = &gate;
  const auto core = std::make_unique<link::ReaderCore<Ch>>(reader, Stopped<Reader>, &reader, false);
  char why[96] = {};
  if (!reader.source.tcp) {
    ReadSocket<Ch>(reader, *core, reader.udp.Get(), false, why, sizeof why);
    core->EndOfAttempt();
    return;
  }
  bool lost = false;
  while (!reader.gate->Closed()) {
    OwnedSocket socket;
    if (ConnectWithin(reader.source.host, reader.source.port, reader.stop, socket, why, sizeof why)) {
      if (lost) reader.Note("Network receiver back");
      lost = false;
      {
        std::lock_guard<std::mutex> hold(reader.lock);
        reader.connected = socket.Get();
        reader.refusedNoted = false;
      }
      const bool gone = !ReadSocket<Ch>(reader, *core, socket.Get(), true, why, sizeof why);
      {
        std::lock_guard<std::mutex> hold(reader.lock);
        reader.connected = INVALID_SOCKET;
      }
      core->EndOfAttempt();
      if (!gone) break;
    }
    if (reader.gate->Closed()) break;
    if (!lost) reader.Note("Network receiver lost: ", why);
    lost = true;
    if (!reader.stop.Pause(kNetworkRetryMs)) break;
  }
}

// UDP: bound to the port, on the source's local address or on every
// interface, before the thread starts, so that a port another program
// holds, or an address that is not this computer's, is said at once.
bool BindUdp(const NetworkSource& source, OwnedSocket& socket) {
  socket.Reset(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (socket.Get() == INVALID_SOCKET) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(source.port));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (source.host[0] != '\0' && inet_pton(AF_INET, source.host, &address.sin_addr) != 1) {
    socket.Reset();
    return false;
  }
  if (bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    socket.Reset();
    return false;
  }
  return true;
}

}  // namespace

template <class Ch>
bool NetworkLink<Ch>::Open(HWND window, const NetworkSource& source, recording::Recorder* recorder) {
  Close();
  auto reader = std::make_shared<Reader>(window, recorder, source);
  if (!reader->winsock.Started() || !reader->stop.Valid()) return false;
  if (!source.tcp) {
    if (!BindUdp(source, reader->udp)) return false;
    reader->datagram = std::make_unique<unsigned char[]>(kLargestDatagram);
  }
  if (!link::StartReader(worker_, reader, RunNetworkReader<Ch, Reader>, networkReaders, [reader] { reader->stop.Set(); })) {
    return false;
  }
  source_ = source;
  reader_ = std::move(reader);
  return true;
}

// The reader is woken out of its wait and is out of its call on the socket
// at once; it lets go of its own share, and its sockets, when it ends (a
// name lookup in hand may keep it a while: it touches nothing of the
// window's after this).
template <class Ch>
void NetworkLink<Ch>::Close() {
  if (reader_ == nullptr) return;
  worker_.Stop(std::chrono::milliseconds(0));
  reader_->DropRecorder();
  reader_.reset();
}

template <class Ch>
bool NetworkLink<Ch>::Write(const unsigned char* bytes, int length) {
  if (reader_ == nullptr || !source_.tcp) return false;
  bool noteRefusal = false;
  {
    std::lock_guard<std::mutex> hold(reader_->lock);  // the thread closes no socket meanwhile
    if (length <= 0) return false;
    if (reader_->connected != INVALID_SOCKET) {
      return SendWithin(reader_->connected, reinterpret_cast<const char*>(bytes), length, kNetworkWriteMs);
    }
    // A command or a frame sent into a connection being made again would
    // look sent and be lost: it is refused, and the log says so once.
    noteRefusal = !reader_->refusedNoted;
    reader_->refusedNoted = true;
  }
  if (noteRefusal) reader_->Note("Not sent: the network receiver is reconnecting");
  return false;
}

template <class Ch>
link::LinkCounts NetworkLink<Ch>::Counts() const {
  return reader_ != nullptr ? reader_->counts.Read() : link::LinkCounts{};
}

template <class Ch>
bool NetworkLink<Ch>::TakeNote(char* out, int capacity) {
  if (reader_ == nullptr || capacity <= 0) return false;
  std::lock_guard<std::mutex> hold(reader_->lock);
  return reader_->notes.Take(out, capacity);
}

template class NetworkLink<char>;
template class NetworkLink<wchar_t>;

}  // namespace trelvane::net
