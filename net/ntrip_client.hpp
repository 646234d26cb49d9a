// The corrections client: a thread of its own fetches RTCM 3 from an NTRIP
// caster and writes each whole, valid frame into the receiver's port, and
// sends the caster the receiver's own latest GGA at the chosen interval. A
// lost stream is fetched again after 1, 2, 4 ... 60 s; a refused login or
// an unknown mountpoint is not tried again until the user connects again.
//
// The window's thread starts and stops it, hands it each new GGA and reads
// a copy of its state once a second for the status line; none of these
// waits on the network. Stop waits at most kClientStopMs for the thread (a
// name lookup cannot be interrupted); a thread still out after that is left
// to end on its own, and touches the port never again.
//
// Winsock, both monitors; what it reads of the network is read by the
// portable corrections/ pieces.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "corrections/corrections_flow.hpp"
#include "corrections/source_table.hpp"
#include "link/port_bytes.hpp"
#include "sync/worker.hpp"

namespace trelvane::net {

// Posted to the window when the client has a line for the log pane
// (TakeLogLine) or a Get List finished (SourceTableFetch::Result).
constexpr unsigned kMsgCorrections = WM_APP + 32;
constexpr unsigned kMsgSourceTable = WM_APP + 33;

// How long Stop waits for each of the client's threads to end, once out of
// what it shares: the window's thread is never held longer.
constexpr std::uint32_t kClientStopMs = 40;
constexpr int kCorrectionsLogChars = 192;

struct CasterSettings {
  char host[128] = {};
  unsigned port = 2101;
  char mountpoint[101] = {};  // up to 100 characters
  char user[64] = {};
  char password[192] = {};  // UTF-8
  unsigned ggaSeconds = 10;  // 0: never send the position
};

class NtripClient {
 public:
  NtripClient() = default;
  NtripClient(const NtripClient&) = delete;
  NtripClient& operator=(const NtripClient&) = delete;
  ~NtripClient() { Stop(); }

  // Starts fetching from `settings`' caster into `port` (which must stay
  // open until Stop returns). A running client is stopped first. False when
  // the thread could not start.
  bool Start(HWND window, const CasterSettings& settings, link::PortBytes& port);
  // Ends the fetching; `stopped` (may be null, kCorrectionsLogChars) gets
  // "Corrections stopped: N bytes in M frames, K dropped". Nothing when not running.
  void Stop(char* stopped = nullptr);
  bool Running() const { return shared_ != nullptr; }

  // The receiver's GGA as it was received, CR LF and all or without.
  void TakeGga(const char* line, int length);
  // A copy of the stream's state, for the status line.
  corrections::CorrectionsFlow Flow() const;
  // The oldest waiting log-pane line (CR LF ended) into `out`; false when none.
  bool TakeLogLine(char* out, int capacity);

  // What the client shares with its thread.
  struct Feed;

 private:
  std::shared_ptr<Feed> shared_;
  sync::Worker worker_;  // the caster's connection
  sync::Worker feeder_;  // the frames into the port
};

// "Get List": the caster's table, fetched on a thread of its own; the window
// is posted kMsgSourceTable when it is done.
class SourceTableFetch {
 public:
  SourceTableFetch() = default;
  SourceTableFetch(const SourceTableFetch&) = delete;
  SourceTableFetch& operator=(const SourceTableFetch&) = delete;
  ~SourceTableFetch() { Cancel(); }

  bool Start(HWND window, const CasterSettings& settings);
  void Cancel();
  bool Busy() const;
  // Once posted: the mountpoints (in the table's order) and, when there are
  // none, why (zero-terminated in `why`).
  bool Result(std::vector<corrections::Mountpoint>& mounts, char* why, int capacity);

  // What the fetch shares with its thread.
  struct Request;

 private:
  std::shared_ptr<Request> shared_;
  sync::Worker worker_;
};

}  // namespace trelvane::net
