#include "link/serial_link_handheld.hpp"

#include "link/line_assembler.hpp"
#include "link/link_settings.hpp"
#include "link/port_framing.hpp"
#include "link/reader_census.hpp"
#include "link/saved_port.hpp"
#include "link/sentence_frame.hpp"
#include "ce/serial_port.hpp"

namespace trelvane::link {

namespace {

constexpr DWORD kFailedWaitPauseMs = 100;

ReaderCensus handheldReaders;

// What the reader thread is given; it owns this and one reference to the port.
// The port's closed state is this link's own stop flag: a newer link has a
// port object of its own.
struct HandheldReader {
  ce::SerialPort* port;
  HWND window;
};

// Reads one byte at a time until the port is closed (a read fails) and sends
// each line. A line that grows past the buffer is dropped, as on the desktop,
// and the next byte starts a new one.
void ReadLines(const HandheldReader& reader) {
  LineAssembler<wchar_t>* cutter = new LineAssembler<wchar_t>();
  for (;;) {
    unsigned char byte = 0;
    DWORD got = 0;
    if (!reader.port->Read(&byte, 1, &got) || got != 1) break;
    if (cutter->Push(byte) == LineAssembler<wchar_t>::Step::kLine) {
      SendMessageW(reader.window, kMsgNmeaLine, reinterpret_cast<WPARAM>(cutter->Line()), 0);
    }
  }
  delete cutter;  // a partial line is dropped
}

DWORD WINAPI RunHandheldReader(void* argument) {
  HandheldReader* reader = static_cast<HandheldReader*>(argument);
  reader->port->SetMask(EV_RXCHAR);
  while (!reader->port->IsClosed()) {
    DWORD events = 0;
    const BOOL waited = reader->port->WaitEvent(&events);
    reader->port->SetMask(EV_RXCHAR);
    if ((events & EV_RXCHAR) != 0) ReadLines(*reader);
    // On a live port the wait ends with an event or because the port was
    // closed. One that fails or ends empty at once means the device is gone;
    // waiting again at once would spin until the port is closed.
    if ((!waited || events == 0) && !reader->port->IsClosed()) Sleep(kFailedWaitPauseMs);
  }
  reader->port->Release();
  delete reader;
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
  HandheldReader* reader = new HandheldReader{port, window};
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
  return 1;
}

int HandheldLink::CloseLink() {
  ce::SerialPort* port = port_;
  port_ = nullptr;
  if (port != nullptr) {
    port->Close();
    port->Release();
  }
  return 1;
}

int HandheldLink::RunningReaders() { return handheldReaders.Running(); }

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
