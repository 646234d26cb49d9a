// A receiver reached over the network instead of a port: TCP (tried again
// every 5 s while it is away) or UDP datagrams heard on a local port. Its
// bytes go through the same reader core as a port's, so the window, the
// recorder and the health see a link like any other. Over TCP the
// receiver's commands go back on the same connection; UDP is one-way.
//
// A thread of its own reads; the window's thread opens, writes, and closes,
// and never waits on the network for long: Close waits only for a read
// slice (never for a name lookup, which the thread finishes on its own), a
// write at most kNetworkWriteMs.
#pragma once

#include <windows.h>

#include <memory>

#include "net/network_source.hpp"
#include "link/reader_counts.hpp"
#include "sync/worker.hpp"

namespace trelvane::recording {
class Recorder;
}  // namespace trelvane::recording

namespace trelvane::net {



// Posted to the window when the link has a line for the log pane
// ("Network receiver lost: REASON", "Network receiver back").
constexpr unsigned kMsgNetworkNote = WM_APP + 34;
constexpr int kNetworkNoteChars = 160;
constexpr DWORD kNetworkRetryMs = 5000;
constexpr DWORD kNetworkWriteMs = 1000;

template <class Ch>
class NetworkLink {
 public:
  NetworkLink() = default;
  NetworkLink(const NetworkLink&) = delete;
  NetworkLink& operator=(const NetworkLink&) = delete;
  ~NetworkLink() { Close(); }

  // Starts reading `source` for `window` (lines in batches, as a port's
  // reader hands them) and, when given, into `recorder`. For UDP the port
  // is bound here: false when it cannot be. A TCP source is connected on
  // the thread, and tried again until it answers.
  bool Open(HWND window, const NetworkSource& source, recording::Recorder* recorder);
  void Close();
  bool IsOpen() const { return reader_ != nullptr; }
  bool Writable() const { return IsOpen() && source_.tcp; }
  // Sends `bytes` whole over TCP while connected; false when they were not
  // (a receiver being reconnected takes nothing).
  bool Write(const unsigned char* bytes, int length);
  link::LinkCounts Counts() const;
  // The oldest waiting log-pane line (CR LF ended); false when none.
  bool TakeNote(char* out, int capacity);

  struct Reader;

 private:
  NetworkSource source_;
  std::shared_ptr<Reader> reader_;  // what the link shares with its reader
  sync::Worker worker_;
};

}  // namespace trelvane::net
