#include "link/serial_link_handheld.hpp"

#include <memory>

#include "link/line_batch.hpp"
#include "link/link_settings.hpp"
#include "link/port_framing.hpp"
#include "link/reader_census.hpp"
#include "link/saved_port.hpp"
#include "link/sentence_frame.hpp"
#include "link/stream_lexer.hpp"
#include "ce/serial_port.hpp"

namespace trelvane::link {

// Shared by the link (until CloseLink) and its reader thread (until it ends);
// the last one to let go deletes it. The thread also holds a reference to the
// port. The port's closed state is this link's own stop flag: a newer link
// has a port object of its own.
struct HandheldReader {
  ce::SerialPort* port;
  HWND window;
  volatile LONG refs;
  ReaderCounters counts;
};

namespace {

constexpr DWORD kFailedWaitPauseMs = 100;

ReaderCensus handheldReaders;

void ReleaseReader(HandheldReader* reader) {
  if (InterlockedDecrement(&reader->refs) == 0) delete reader;
}

bool PortClosed(const void* port) { return static_cast<const ce::SerialPort*>(port)->IsClosed(); }

// The reader thread's own buffers, made once for its whole life: the bytes of
// the last read, the line being cut and the batch of whole lines not yet
// handed over.
struct HandheldReaderState {
  static constexpr DWORD kChunkBytes = 1024;

  HandheldReader* reader;
  StreamLexer<wchar_t> cutter;
  BatchFiller<wchar_t> batch;
  unsigned char chunk[kChunkBytes];

  explicit HandheldReaderState(HandheldReader* owner) : reader(owner), batch(PortClosed, owner->port) {}

  void HandOver() {
    if (!batch.Empty() && !reader->port->IsClosed()) {
      SendMessageW(reader->window, kMsgNmeaBatch, reinterpret_cast<WPARAM>(&batch.Batch()), 0);
    }
    batch.Clear();
  }

  // The cutter's sink. A line that grows past the buffer is dropped, as on
  // the desktop, and the next byte starts a new one.
  void OnLine(const wchar_t* line, int length) { batch.AddLine(line, length, GetTickCount(), [this] { HandOver(); }); }
  void OnFrame(const unsigned char* frame, int length) {
    batch.AddFrame(frame, length, GetTickCount(), [this] { HandOver(); });
  }
  bool OnLineCut() {
    reader->counts.AddLineCut();
    return true;
  }
};

// Reads until the port is closed (a read fails) and hands the lines over in
// batches. A read waits for its first byte and then takes what the driver
// holds, so a burst costs a few calls instead of one per byte. Whole lines
// wait at most kGatherMs for the ones behind them.
void ReadLines(HandheldReaderState& state) {
  ce::SerialPort* port = state.reader->port;
  for (;;) {
    DWORD queued = port->Queued();
    if (queued == 0 && state.cutter.Held() > 0) {
      // What looks like the start of a binary frame holds the bytes behind
      // it. Reads here wait for their byte without end, so a candidate with
      // nothing behind it after a short while is given back, rather than
      // holding the lines behind it until the receiver's next burst.
      Sleep(kGatherMs);
      queued = port->Queued();
      if (queued == 0) {
        state.cutter.GiveBackCandidate(state);
        continue;
      }
    }
    if (queued == 0 && !state.batch.Empty()) {
      // Whole lines wait a little for the ones behind them.
      const DWORD gather = state.batch.GatherLeftMs(GetTickCount(), state.cutter.Pending() != 0);
      if (gather > 0) {
        Sleep(gather);
      } else {
        state.HandOver();
      }
      continue;
    }
    const DWORD want = queued == 0 ? 1 : (queued < HandheldReaderState::kChunkBytes ? queued : HandheldReaderState::kChunkBytes);
    DWORD got = 0;
    if (!port->Read(state.chunk, want, &got) || got == 0) break;
    state.reader->counts.AddBytes(got);
    state.cutter.Feed(state.chunk, static_cast<int>(got), state);
  }
  state.cutter.EndOfBurst(state);  // a partial line is dropped
  state.HandOver();
}

DWORD WINAPI RunHandheldReader(void* argument) {
  HandheldReader* reader = static_cast<HandheldReader*>(argument);
  {
    std::unique_ptr<HandheldReaderState> state(new HandheldReaderState(reader));
    reader->port->SetMask(EV_RXCHAR);
    while (!reader->port->IsClosed()) {
      DWORD events = 0;
      const BOOL waited = reader->port->WaitEvent(&events);
      reader->port->SetMask(EV_RXCHAR);
      if ((events & EV_RXCHAR) != 0) ReadLines(*state);
      // On a live port the wait ends with an event or because the port was
      // closed. One that fails or ends empty at once means the device is gone;
      // waiting again at once would spin until the port is closed.
      if ((!waited || events == 0) && !reader->port->IsClosed()) Sleep(kFailedWaitPauseMs);
    }
  }
  reader->port->Release();
  ReleaseReader(reader);
  handheldReaders.Ended();
  return 0;
}

void ApplyHandheldSettings(ce::SerialPort* port, unsigned long baud) {
  DCB dcb = {};
  if (port->GetState(&dcb)) {
    SetRateAndFraming(dcb, baud);
    port->SetState(&dcb);  // refused settings leave the driver's
  }
  COMMTIMEOUTS timeouts = {};  // reads wait until their byte arrives
  port->SetTimeouts(&timeouts);
}

}  // namespace

int HandheldLink::OpenLink(HWND window, const wchar_t* portName, int baudIndex) {
  SaveComPort(portName);
  CloseLink();
  const unsigned long baud = BaudRateAt(baudIndex);
  if (baud == 0) return 0;

  ce::SerialPort* port = ce::SerialPort::Open(portName);
  if (port == nullptr) return 0;
  ApplyHandheldSettings(port, baud);

  port->AddRef();  // the reader's reference
  HandheldReader* reader = new HandheldReader{port, window, 2, {}};
  handheldReaders.Starting();
  HANDLE thread = CreateThread(nullptr, 0, RunHandheldReader, reader, 0, nullptr);
  if (thread == nullptr) {
    handheldReaders.Ended();
    delete reader;
    port->Release();
    port->Release();  // closes it
    return 0;
  }
  CloseHandle(thread);  // the reader runs on its own
  port_ = port;
  reader_ = reader;
  return 1;
}

int HandheldLink::CloseLink() {
  ce::SerialPort* port = port_;
  port_ = nullptr;
  if (port != nullptr) {
    port->Close();
    port->Release();
  }
  if (reader_ != nullptr) {
    ReleaseReader(reader_);
    reader_ = nullptr;
  }
  return 1;
}

int HandheldLink::RunningReaders() { return handheldReaders.Running(); }

LinkCounts HandheldLink::Counts() const { return reader_ != nullptr ? reader_->counts.Read() : LinkCounts{}; }

int HandheldLink::WriteSentence(const wchar_t* text) {
  char frame[kHandheldWriteBytes];
  const int length = FrameSentence(text, frame, kHandheldWriteBytes);
  DWORD written = 0;
  if (port_ != nullptr) port_->Write(frame, static_cast<DWORD>(length), &written);
  return 1;
}

int HandheldLink::WriteBytes(const unsigned char* bytes, int length) {
  DWORD written = 0;
  if (port_ != nullptr && length > 0) port_->Write(bytes, static_cast<DWORD>(length), &written);
  return 1;
}

}  // namespace trelvane::link
