// Winsock's headers go before windows.h, which the link's header brings.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "net/network_link.hpp"

#include <cstdio>
#include <mutex>

#include "link/reader_core.hpp"
#include "net/tcp_socket.hpp"
#include "sync/stop_gate.hpp"

namespace trelvane::net {
namespace {

constexpr DWORD kSliceMs = 100;       // a wait for data, and how often a stop is seen
constexpr DWORD kBatchIdleMs = 20;    // lines wait this long for the ones behind them
constexpr int kNotes = 4;

link::ReaderCensus networkReaders;

}  // namespace

template <class Ch>
struct NetworkLink<Ch>::Reader : link::ReaderShared {
  Reader(HWND target, recording::Recorder* recordTo, const NetworkSource& from) : link::ReaderShared(target, recordTo), source(from) {}

  NetworkSource source;
  sync::StopGate gate;  // shut once by Close; a spell is a call on the socket
  WinsockUse winsock;
  OwnedSocket udp;      // bound by Open, read by the thread

  std::mutex lock;      // guards what follows
  SOCKET connected = INVALID_SOCKET;  // the thread's TCP socket while it is up, for writes
  char notes[kNotes][kNetworkNoteChars] = {};
  int noteFirst = 0, noteCount = 0;

  void Note(const char* text, const char* reason = "") {
    {
      std::lock_guard<std::mutex> hold(lock);
      if (noteCount == kNotes) return;
      std::snprintf(notes[(noteFirst + noteCount) % kNotes], kNetworkNoteChars, "%s%s\r\n", text, reason);
      ++noteCount;
    }
    PostMessage(window, kMsgNetworkNote, 0, 0);
  }
};

namespace {

template <class Reader>
bool Stopped(const void* reader) {
  return static_cast<const Reader*>(reader)->gate.Closed();
}

// Reads `socket` into the core until it fails, closes, or the link is
// closed. Lines that wait are handed over once nothing has come for
// kBatchIdleMs. False, with `why`, when the socket was lost.
template <class Ch, class Reader>
bool ReadSocket(Reader& reader, link::ReaderCore<Ch>& core, SOCKET socket, bool stream, char* why, int capacity) {
  while (!reader.gate.Closed()) {
    if (!reader.gate.Enter()) break;
    const bool ready = Readable(socket, core.HasBatch() ? kBatchIdleMs : kSliceMs);
    int got = 0;
    if (ready) got = recv(socket, reinterpret_cast<char*>(core.Chunk()), link::ReaderCore<Ch>::kChunkBytes, 0);
    const int error = got == SOCKET_ERROR ? WSAGetLastError() : 0;
    reader.gate.Leave();
    if (!ready) {
      if (core.HasBatch()) core.HandOver();
      continue;
    }
    // A datagram refused somewhere (an ICMP answer) is no reason to stop hearing.
    if (got == SOCKET_ERROR && (!stream || error == WSAEWOULDBLOCK) ) continue;
    if (got <= 0) {
      std::snprintf(why, static_cast<std::size_t>(capacity), got == 0 ? "the connection was closed"
                                                                      : "the connection failed");
      return false;
    }
    core.Read(static_cast<DWORD>(got));
    while (!core.ChunkDone()) core.Cut();
  }
  return true;
}

template <class Ch, class Reader>
void RunNetworkReader(Reader& reader) {
  const auto core = std::make_unique<link::ReaderCore<Ch>>(reader, Stopped<Reader>, &reader, false);
  char why[96] = {};
  if (!reader.source.tcp) {
    ReadSocket<Ch>(reader, *core, reader.udp.Get(), false, why, sizeof why);
    core->EndOfAttempt();
    return;
  }
  bool lost = false;
  while (!reader.gate.Closed()) {
    OwnedSocket socket;
    const StopSign stop{Stopped<Reader>, &reader};
    if (ConnectWithin(reader.source.host, reader.source.port, stop, socket, why, sizeof why)) {
      if (lost) reader.Note("Network receiver back");
      lost = false;
      {
        std::lock_guard<std::mutex> hold(reader.lock);
        reader.connected = socket.Get();
      }
      const bool gone = !ReadSocket<Ch>(reader, *core, socket.Get(), true, why, sizeof why);
      {
        std::lock_guard<std::mutex> hold(reader.lock);
        reader.connected = INVALID_SOCKET;
      }
      core->EndOfAttempt();
      if (!gone) break;
    }
    if (reader.gate.Closed()) break;
    if (!lost) reader.Note("Network receiver lost: ", why);
    lost = true;
    for (DWORD start = GetTickCount(); !reader.gate.Closed() && GetTickCount() - start < kNetworkRetryMs;) {
      Sleep(kSliceMs);
    }
  }
}

// UDP: bound to the port on every interface before the thread starts, so
// that a port another program holds is said at once.
bool BindUdp(const NetworkSource& source, OwnedSocket& socket) {
  socket.Reset(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (socket.Get() == INVALID_SOCKET) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(source.port));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
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
  if (!reader->winsock.Started()) return false;
  if (!source.tcp && !BindUdp(source, reader->udp)) return false;
  if (!link::StartReaderThread(reader, RunNetworkReader<Ch, Reader>, networkReaders)) return false;
  source_ = source;
  reader_ = std::move(reader);
  return true;
}

// The reader is out of its call on the socket within kSliceMs; it lets go
// of its own share, and its sockets, when it ends (a name lookup in hand
// may keep it a while: it touches nothing of the window's after this).
template <class Ch>
void NetworkLink<Ch>::Close() {
  if (reader_ == nullptr) return;
  reader_->gate.Shut();
  reader_->DropRecorder();
  reader_.reset();
}

template <class Ch>
void NetworkLink<Ch>::Write(const unsigned char* bytes, int length) {
  if (reader_ == nullptr || !source_.tcp) return;
  std::lock_guard<std::mutex> hold(reader_->lock);
  const SOCKET socket = reader_->connected;
  for (const DWORD start = GetTickCount(); socket != INVALID_SOCKET && length > 0;) {
    const int sent = send(socket, reinterpret_cast<const char*>(bytes), length, 0);
    if (sent > 0) {
      bytes += sent;
      length -= sent;
    } else if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK && GetTickCount() - start < kNetworkWriteMs) {
      Sleep(1);
    } else {
      return;
    }
  }
}

template <class Ch>
link::LinkCounts NetworkLink<Ch>::Counts() const {
  return reader_ != nullptr ? reader_->counts.Read() : link::LinkCounts{};
}

template <class Ch>
bool NetworkLink<Ch>::TakeNote(char* out, int capacity) {
  if (reader_ == nullptr || capacity <= 0) return false;
  std::lock_guard<std::mutex> hold(reader_->lock);
  if (reader_->noteCount == 0) return false;
  std::snprintf(out, static_cast<std::size_t>(capacity), "%s", reader_->notes[reader_->noteFirst]);
  reader_->noteFirst = (reader_->noteFirst + 1) % kNotes;
  --reader_->noteCount;
  return true;
}

template class NetworkLink<char>;
template class NetworkLink<wchar_t>;

}  // namespace trelvane::net
