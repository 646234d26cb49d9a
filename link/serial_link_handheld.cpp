#include "link/serial_link_handheld.hpp"

#include <memory>

#include "link/port_framing.hpp"
#include "link/reader_core.hpp"
#include "link/saved_port.hpp"
#include "receiver/link_settings.hpp"
#include "stream/sentence_frame.hpp"
#include "ce/serial_port.hpp"

namespace trelvane::link {

// Shared by the link (until CloseLink) and its reader thread (until it ends).
// The port's closed state is this link's own stop flag: a newer link has a
// port object of its own.
struct HandheldReader : ReaderShared {
  HandheldReader(ce::SerialPortRef handle, HWND target, recording::Recorder* recordTo)
      : ReaderShared(target, recordTo), port(std::move(handle)) {}

  ce::SerialPortRef port;
};

namespace {

constexpr DWORD kFailedWaitPauseMs = 100;

ReaderCensus handheldReaders;

bool PortClosed(const void* port) { return static_cast<const ce::SerialPort*>(port)->IsClosed(); }

// Reads until the port is closed (a read fails) and hands the lines over in
// batches. A read waits for its first byte and then takes what the driver
// holds, so a burst costs a few calls instead of one per byte. Whole lines
// wait at most kGatherMs for the ones behind them.
void ReadLines(ce::SerialPort& port, ReaderCore<wchar_t>& core) {
  for (;;) {
    DWORD queued = port.Queued();
    if (queued == 0 && core.Held() > 0) {
      // What looks like the start of a binary frame holds the bytes behind
      // it. Reads here wait for their byte without end, so a candidate with
      // nothing behind it after a short while is given back, rather than
      // holding the lines behind it until the receiver's next burst.
      Sleep(kGatherMs);
      queued = port.Queued();
      if (queued == 0) {
        core.GiveBackCandidate();
        continue;
      }
    }
    if (queued == 0 && core.HasBatch()) {
      core.Gather();
      continue;
    }
    DWORD got = 0;
    if (!port.Read(core.Chunk(), ReaderCore<wchar_t>::WantFor(queued), &got) || got == 0) break;
    core.Read(got);
    core.Cut();  // a line that grows past the buffer is dropped; the next byte starts a new one
  }
  core.EndOfAttempt();  // a partial line is dropped
}

void RunHandheldReader(HandheldReader& reader, sync::StopGate&) {
  ce::SerialPort& port = *reader.port;
  const auto core = std::make_unique<ReaderCore<wchar_t>>(reader, PortClosed, &port, false);
  port.SetMask(EV_RXCHAR);
  while (!port.IsClosed()) {
    DWORD events = 0;
    const BOOL waited = port.WaitEvent(&events);
    port.SetMask(EV_RXCHAR);
    if ((events & EV_RXCHAR) != 0) ReadLines(port, *core);
    // On a live port the wait ends with an event or because the port was
    // closed. One that fails or ends empty at once means the device is gone;
    // waiting again at once would spin until the port is closed.
    if ((!waited || events == 0) && !port.IsClosed()) Sleep(kFailedWaitPauseMs);
  }
}

void ApplyHandheldSettings(ce::SerialPort& port, unsigned long baud) {
  DCB dcb = {};
  if (port.GetState(&dcb)) {
    SetRateAndFraming(dcb, baud);
    port.SetState(&dcb);  // refused settings leave the driver's
  }
  COMMTIMEOUTS timeouts = {};  // reads wait until their byte arrives
  SetWriteLimit(timeouts, baud);
  port.SetTimeouts(&timeouts);
}

}  // namespace

int HandheldLink::OpenLink(HWND window, const wchar_t* portName, int baudIndex, recording::Recorder* recorder) {
  SaveComPort(portName);
  CloseLink();
  const unsigned long baud = receiver::BaudRateAt(baudIndex);
  if (baud == 0) return 0;

  ce::SerialPortRef port = ce::SerialPort::Open(portName);
  if (!port) return 0;
  ApplyHandheldSettings(*port, baud);

  auto reader = std::make_shared<HandheldReader>(port, window, recorder);
  // Closing the port ends the reader's pending wait or read.
  if (!StartReader(reader_, reader, RunHandheldReader, handheldReaders, [port] { port->Close(); })) {
    return 0;  // the last reference closes the port
  }
  port_ = std::move(port);
  shared_ = std::move(reader);
  baud_.store(baud);
  writeTurn_.Open();
  return 1;
}

// Closing the port ends the reader's pending wait or read; the reader lets
// go of its share of both when it ends. A read it made before the close may
// still be on its way to the recorder: that is waited out.
int HandheldLink::CloseLink() {
  writeTurn_.Close();  // no write slice starts; closing the port waits for one under way
  reader_.Stop(std::chrono::milliseconds(0));  // closes the port
  if (port_) port_->Close();  // a reader that never started
  writeTurn_.WaitOut();
  baud_.store(0);
  port_.reset();
  if (shared_ != nullptr) shared_->DropRecorder();
  shared_.reset();
  return 1;
}

int HandheldLink::SetRate(unsigned long baud) {
  if (!port_ || baud == 0) return 0;
  DCB dcb = {};
  if (!port_->GetState(&dcb)) return 0;
  SetRateAndFraming(dcb, baud);
  if (!port_->SetState(&dcb)) return 0;
  baud_.store(baud);
  COMMTIMEOUTS timeouts = {};
  SetWriteLimit(timeouts, baud);  // the writes' limit follows the rate
  port_->SetTimeouts(&timeouts);
  return 1;
}

int HandheldLink::RunningReaders() { return handheldReaders.Running(); }

LinkCounts HandheldLink::Counts() const {
  return shared_ != nullptr ? shared_->counts.Read() : LinkCounts{};
}

int HandheldLink::WriteSentence(const wchar_t* text) {
  char frame[stream::kHandheldWriteBytes];
  const int length = stream::FrameSentence(text, frame, stream::kHandheldWriteBytes);
  WriteFrame(reinterpret_cast<const unsigned char*>(frame), length, nullptr);  // in slices, as every write
  return 1;
}

int HandheldLink::WriteFrame(const unsigned char* bytes, int length, const sync::StopGate* stop) {
  return writeTurn_.Write(bytes, length, baud_.load(), stop, [this](const unsigned char* from, unsigned long size,
                                                                     unsigned long* written) {
    DWORD took = 0;
    const BOOL ok = port_->Write(from, static_cast<DWORD>(size), &took);
    *written = took;
    return ok != FALSE;
  });
}

}  // namespace trelvane::link
