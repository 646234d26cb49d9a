#include "link/serial_link_desktop.hpp"

#include <memory>

#include "link/line_batch.hpp"
#include "link/link_settings.hpp"
#include "link/port_framing.hpp"
#include "link/reader_census.hpp"
#include "link/sentence_frame.hpp"
#include "link/stream_lexer.hpp"

namespace trelvane::link {

namespace {

// A read waits this long for a byte; an attempt that ends without a line is
// followed by a pause of the same length.
constexpr DWORD kReadTimeoutMs = 100;
constexpr DWORD kPauseMs = 100;

#ifdef TRELVANE_PAUSE_AFTER_EVERY_LINE
constexpr bool kPauseAfterEveryLine = true;  // the benchmark's comparison build
#else
constexpr bool kPauseAfterEveryLine = false;
#endif

ReaderCensus desktopReaders;

}  // namespace

// Shared by the link (until CloseLink) and its reader thread (until it ends);
// the last one to let go deletes it. Each link's reader has its own stop flag,
// so a reader told to stop never resumes, even when a new link on the same
// port (and, as Win32 reuses handle values, perhaps the same handle value) is
// opened at once.
struct DesktopReader {
  HANDLE port;
  HWND window;
  volatile LONG stop;    // set once by CloseLink
  volatile LONG inPort;  // the reader is inside a call on the port
  volatile LONG refs;
  ReaderCounters counts;
};

namespace {

void ReleaseReader(DesktopReader* reader) {
  if (InterlockedDecrement(&reader->refs) == 0) delete reader;
}

bool ReaderStopped(const void* reader) { return static_cast<const DesktopReader*>(reader)->stop != 0; }

// Each side writes its own flag with a full barrier and then reads the
// other's: either the reader sees the stop and backs out, or StopReader sees
// the call and waits for it.
bool EnterPort(DesktopReader* reader) {
  InterlockedExchange(&reader->inPort, 1);
  if (reader->stop == 0) return true;
  InterlockedExchange(&reader->inPort, 0);
  return false;
}

void LeavePort(DesktopReader* reader) { InterlockedExchange(&reader->inPort, 0); }

// Tells the reader to stop and waits until it is out of its call on the port
// (a read ends within kReadTimeoutMs). Never waits for a batch being handled:
// the reader may be inside SendMessage to this very thread.
void StopReader(DesktopReader* reader) {
  InterlockedExchange(&reader->stop, 1);
  while (reader->inPort != 0) Sleep(1);
}

// The reader thread's own buffers, made once for its whole life: the bytes
// of the last read not yet cut into lines (they stay across attempts, as they
// would have stayed in the driver's buffer), the line or binary frame being
// cut, and the batch of whole lines and frames not yet handed over. A read asks for what the driver
// already holds (it returns at once) or, when it holds nothing, for one byte
// (which waits up to kReadTimeoutMs): the same waits as reading byte by byte.
struct DesktopReaderState {
  static constexpr DWORD kChunkBytes = 1024;

  DesktopReader* reader;
  StreamLexer<char> cutter;
  BatchFiller<char> batch;
  bool lineCut = false;  // the last Feed dropped an over-long line
  unsigned char chunk[kChunkBytes];
  DWORD count = 0;
  DWORD next = 0;

  explicit DesktopReaderState(DesktopReader* owner) : reader(owner), batch(ReaderStopped, owner) {}

  void HandOver() {
    if (!batch.Empty() && reader->stop == 0) {
      SendMessageA(reader->window, kMsgNmeaBatch, reinterpret_cast<WPARAM>(&batch.Batch()), 0);
    }
    batch.Clear();
  }

  // The cutter's sink.
  void OnLine(const char* line, int length) { batch.AddLine(line, length, GetTickCount(), [this] { HandOver(); }); }
  void OnFrame(const unsigned char* frame, int length) {
    batch.AddFrame(frame, length, GetTickCount(), [this] { HandOver(); });
  }
  bool OnLineCut() {
    reader->counts.AddLineCut();
    lineCut = true;
    return false;  // the attempt ends with the over-long line
  }
};

// One attempt at reading lines: it goes on for as long as bytes keep coming,
// and ends when no byte came for kReadTimeoutMs (a partial line is dropped),
// on a read error, or with a line too long for the buffer. The whole lines it
// cut are handed over in batches; none is left behind when it ends.
void ReadLines(DesktopReaderState& state) {
  DesktopReader* reader = state.reader;
  if (!EnterPort(reader)) return;
  // With abort-on-error, a line error stops every read until it is cleared.
  DWORD errors = 0;
  const BOOL cleared = ClearCommError(reader->port, &errors, nullptr);
  LeavePort(reader);
  // The port's device is gone (an unplugged adapter, a receiver's end that
  // vanished): a read would only fail, and on some drivers only after
  // spinning through its whole time-out. The attempt ends here.
  if (!cleared) return;

  for (;;) {
    if (reader->stop != 0) break;  // a closed link delivers nothing more
    if (state.next == state.count) {
      state.next = state.count = 0;
      if (!EnterPort(reader)) break;
      // A line error reported here ends the attempt, as the failed read that
      // abort-on-error would give.
      COMSTAT status = {};
      const BOOL clean = ClearCommError(reader->port, &errors, &status) && errors == 0;
      const DWORD queued = status.cbInQue;
      if (clean && queued == 0 && !state.batch.Empty()) {
        LeavePort(reader);
        // Nothing more has come yet: whole lines wait a little for the ones
        // behind them.
        const DWORD gather = state.batch.GatherLeftMs(GetTickCount(), state.cutter.Pending() != 0);
        if (kPauseAfterEveryLine) {
          state.HandOver();
          Sleep(kPauseMs);
        } else if (gather > 0) {
          Sleep(gather);
        } else {
          state.HandOver();
        }
        continue;
      }
      const DWORD want = queued == 0 ? 1 : (queued < DesktopReaderState::kChunkBytes ? queued : DesktopReaderState::kChunkBytes);
      DWORD got = 0;
      const BOOL ok = clean && ReadFile(reader->port, state.chunk, want, &got, nullptr);
      LeavePort(reader);
      if (!ok || got == 0) break;  // a read error, or no byte for kReadTimeoutMs
      reader->counts.AddBytes(got);
      state.count = got;
    }
    state.lineCut = false;
    state.next += state.cutter.Feed(state.chunk + state.next, static_cast<int>(state.count - state.next), state);
    if (state.lineCut) break;  // the over-long line is dropped with its last byte
  }
  state.cutter.EndOfBurst(state);
  state.HandOver();
}

DWORD WINAPI RunDesktopReader(void* argument) {
  DesktopReader* reader = static_cast<DesktopReader*>(argument);
  {
    std::unique_ptr<DesktopReaderState> state(new DesktopReaderState(reader));
    // While bytes come the reader keeps reading: the receiver may send more
    // than ten lines a second, and a pause after each would let the driver's
    // buffer overflow. Only an attempt that ended pauses.
    while (reader->stop == 0) {
      ReadLines(*state);
      Sleep(kPauseMs);
    }
  }
  ReleaseReader(reader);
  desktopReaders.Ended();
  return 0;
}

}  // namespace

void ApplyDesktopSettings(HANDLE port, unsigned long baud) {
  DCB dcb = {};
  dcb.DCBlength = sizeof(dcb);
  if (GetCommState(port, &dcb)) {
    SetRateAndFraming(dcb, baud);
    SetBinaryWithoutFlowControl(dcb);
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = TRUE;
    SetCommState(port, &dcb);  // refused settings leave the driver's
  }
  COMMTIMEOUTS timeouts = {};
  if (GetCommTimeouts(port, &timeouts)) {
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = kReadTimeoutMs;
    timeouts.WriteTotalTimeoutMultiplier = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = 100;
    SetCommTimeouts(port, &timeouts);
  }
}

bool PulseBreak(HANDLE port) {
  return EscapeCommFunction(port, SETBREAK) && EscapeCommFunction(port, CLRBREAK);
}

int DesktopLink::OpenLink(HWND window, const char* portName, int baudIndex) {
  CloseLink();
  const unsigned long baud = BaudRateAt(baudIndex);
  if (baud == 0) return 0;

  HANDLE port = CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) return 0;
  // A port that cannot send a break is not used.
  if (!PulseBreak(port)) {
    CloseHandle(port);
    return 0;
  }
  ApplyDesktopSettings(port, baud);

  DesktopReader* reader = new DesktopReader{port, window, 0, 0, 2, {}};
  desktopReaders.Starting();
  HANDLE thread = CreateThread(nullptr, 0, RunDesktopReader, reader, 0, nullptr);
  if (thread == nullptr) {
    desktopReaders.Ended();
    delete reader;
    CloseHandle(port);
    return 0;
  }
  CloseHandle(thread);  // the reader runs on its own
  port_ = port;
  reader_ = reader;
  return 1;
}

int DesktopLink::CloseLink() {
  HANDLE port = port_;
  port_ = INVALID_HANDLE_VALUE;
  if (reader_ != nullptr) {
    StopReader(reader_);
    ReleaseReader(reader_);
    reader_ = nullptr;
  }
  if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
  return 1;
}

int DesktopLink::RunningReaders() { return desktopReaders.Running(); }

LinkCounts DesktopLink::Counts() const { return reader_ != nullptr ? reader_->counts.Read() : LinkCounts{}; }

int DesktopLink::WriteSentence(const char* text) {
  char frame[kDesktopWriteBytes];
  const int length = FrameSentence(text, frame, kDesktopWriteBytes);
  DWORD written = 0;
  if (port_ != INVALID_HANDLE_VALUE) WriteFile(port_, frame, static_cast<DWORD>(length), &written, nullptr);
  return 1;
}

int DesktopLink::WriteBytes(const unsigned char* bytes, int length) {
  DWORD written = 0;
  if (port_ != INVALID_HANDLE_VALUE && length > 0) WriteFile(port_, bytes, static_cast<DWORD>(length), &written, nullptr);
  return 1;
}

}  // namespace trelvane::link
