#include "link/serial_link_desktop.hpp"

#include <memory>

#include "link/port_framing.hpp"
#include "link/reader_core.hpp"
#include "receiver/link_settings.hpp"
#include "stream/sentence_frame.hpp"

namespace trelvane::link {

namespace {

// A read waits this long for a byte; an attempt that ends without a line is
// followed by a pause of the same length.
constexpr DWORD kReadTimeoutMs = 100;
constexpr DWORD kPauseMs = 100;

ReaderCensus desktopReaders;

}  // namespace

// Shared by the link (until CloseLink) and its reader thread (until it ends).
// Each link's reader has its own worker's stop gate, so a reader told to stop
// never resumes, even when a new link on the same port (and, as Win32 reuses
// handle values, perhaps the same handle value) is opened at once.
struct DesktopReader : ReaderShared {
  DesktopReader(HANDLE handle, HWND target, recording::Recorder* recordTo) : ReaderShared(target, recordTo), port(handle) {}

  HANDLE port;
  // The reader's worker's gate, closed once by CloseLink; a spell is a call
  // on the port. Set by the reader as it starts, and read by it alone.
  sync::StopGate* portGate = nullptr;
};

namespace {

bool ReaderStopped(const void* reader) { return static_cast<const DesktopReader*>(reader)->portGate->Closed(); }

// Either the reader sees the stop and backs out, or the worker's Stop sees
// the call and waits for it (sync/stop_gate.hpp).
bool EnterPort(DesktopReader& reader) { return reader.portGate->Enter(); }

void LeavePort(DesktopReader& reader) { reader.portGate->Leave(); }

// One read from the port into the core, when the driver holds bytes or one
// comes within kReadTimeoutMs. With nothing held and whole lines waiting, the
// lines are gathered or handed over instead (`waited`). False on a line
// error, a read error or a time-out: the attempt ends.
bool ReadChunk(DesktopReader& reader, ReaderCore<char>& core, bool& waited) {
  waited = false;
  if (!EnterPort(reader)) return false;
  // A line error reported here ends the attempt, as the failed read that
  // abort-on-error would give.
  DWORD errors = 0;
  COMSTAT status = {};
  const BOOL clean = ClearCommError(reader.port, &errors, &status) && errors == 0;
  if (clean && status.cbInQue == 0 && core.HasBatch()) {
    LeavePort(reader);
    waited = true;
    core.Gather();
    return true;
  }
  DWORD got = 0;
  const BOOL ok = clean && ReadFile(reader.port, core.Chunk(), ReaderCore<char>::WantFor(status.cbInQue), &got, nullptr);
  LeavePort(reader);
  if (!ok || got == 0) return false;
  core.Read(got);
  return true;
}

// One attempt at reading lines: it goes on for as long as bytes keep coming,
// and ends when no byte came for kReadTimeoutMs (a partial line is dropped),
// on a read error, or with a line too long for the buffer (the bytes after
// it wait for the next attempt). The whole lines it cut are handed over in
// batches; none is left behind when it ends.
void ReadLines(DesktopReader& reader, ReaderCore<char>& core) {
  if (!EnterPort(reader)) return;
  // With abort-on-error, a line error stops every read until it is cleared.
  DWORD errors = 0;
  const BOOL cleared = ClearCommError(reader.port, &errors, nullptr);
  LeavePort(reader);
  // The port's device is gone (an unplugged adapter, a receiver's end that
  // vanished): a read would only fail, and on some drivers only after
  // spinning through its whole time-out. The attempt ends here.
  if (!cleared) return;
  while (!reader.portGate->Closed()) {  // a closed link delivers nothing more
    bool waited = false;
    if (core.ChunkDone() && !ReadChunk(reader, core, waited)) break;
    if (!waited && !core.Cut()) break;
  }
  core.EndOfAttempt();
}

// While bytes come the reader keeps reading: the receiver may send more than
// ten lines a second, and a pause after each would let the driver's buffer
// overflow. Only an attempt that ended pauses.
void RunDesktopReader(DesktopReader& reader, sync::StopGate& gate) {
  reader.portGate = &gate;
  const auto core = std::make_unique<ReaderCore<char>>(reader, ReaderStopped, &reader, true);
  while (!reader.portGate->Closed()) {
    ReadLines(reader, *core);
    Sleep(kPauseMs);
  }
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
    SetWriteLimit(timeouts, baud);
    SetCommTimeouts(port, &timeouts);
  }
}

bool PulseBreak(HANDLE port) {
  return EscapeCommFunction(port, SETBREAK) && EscapeCommFunction(port, CLRBREAK);
}

int DesktopLink::OpenLink(HWND window, const char* portName, int baudIndex, recording::Recorder* recorder) {
  CloseLink();
  const unsigned long baud = receiver::BaudRateAt(baudIndex);
  if (baud == 0) return 0;

  handles::OwnedHandle port(CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!port.Valid()) return 0;
  // A port that cannot send a break is not used.
  if (!PulseBreak(port.Get())) return 0;
  ApplyDesktopSettings(port.Get(), baud);

  auto reader = std::make_shared<DesktopReader>(port.Get(), window, recorder);
  if (!StartReader(reader_, reader, RunDesktopReader, desktopReaders)) return 0;
  port_ = std::move(port);
  shared_ = std::move(reader);
  baud_.store(baud);
  writeTurn_.Open();
  return 1;
}

int DesktopLink::SetRate(unsigned long baud) {
  if (!port_.Valid() || baud == 0) return 0;
  DCB dcb = {};
  dcb.DCBlength = sizeof(dcb);
  if (!GetCommState(port_.Get(), &dcb)) return 0;
  SetRateAndFraming(dcb, baud);
  if (!SetCommState(port_.Get(), &dcb)) return 0;
  baud_.store(baud);
  COMMTIMEOUTS timeouts = {};
  if (GetCommTimeouts(port_.Get(), &timeouts)) {
    SetWriteLimit(timeouts, baud);  // the writes' limit follows the rate
    SetCommTimeouts(port_.Get(), &timeouts);
  }
  return 1;
}

int DesktopLink::CloseLink() {
  // The port closes only once its reader and any other thread's write are
  // out of every call on it. No new write slice starts from here; the one
  // under way (kWriteSliceMs on the wire, its limit if the port stalls) ends
  // while the reader's read does.
  writeTurn_.Close();
  // Waits until the reader is out of its call on the port (a read ends
  // within kReadTimeoutMs), never for its end: the reader may be inside
  // SendMessage to this very thread.
  reader_.Stop(std::chrono::milliseconds(0));
  writeTurn_.WaitOut();
  baud_.store(0);
  handles::OwnedHandle port = std::move(port_);
  if (shared_ != nullptr) {
    shared_->DropRecorder();  // a read the reader made before the stop may still be on its way
    shared_.reset();  // the reader lets go of its own share when it ends
  }
  return 1;
}

int DesktopLink::RunningReaders() { return desktopReaders.Running(); }

LinkCounts DesktopLink::Counts() const {
  return shared_ != nullptr ? shared_->counts.Read() : LinkCounts{};
}

int DesktopLink::WriteSentence(const char* text) {
  char frame[stream::kDesktopWriteBytes];
  const int length = stream::FrameSentence(text, frame, stream::kDesktopWriteBytes);
  WriteFrame(reinterpret_cast<const unsigned char*>(frame), length, nullptr);  // in slices, as every write
  return 1;
}

int DesktopLink::WriteFrame(const unsigned char* bytes, int length, const sync::StopGate* stop) {
  return writeTurn_.Write(bytes, length, baud_.load(), stop, [this](const unsigned char* from, unsigned long size,
                                                                     unsigned long* written) {
    DWORD took = 0;
    const BOOL ok = WriteFile(port_.Get(), from, static_cast<DWORD>(size), &took, nullptr);
    *written = took;
    return ok != FALSE;
  });
}

}  // namespace trelvane::link
