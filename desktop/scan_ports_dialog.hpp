// The Scan Ports dialog: lists the ports the system knows and probes them one
// by one on a scan thread, first at the rate selected on the Setup page, then
// for a port that talks but gives no sentence at the other rates, writing what
// it found into the Setup page's port table.
//
// Ownership: the dialog object is shared between the dialog's run and the
// scan thread (one std::shared_ptr each), so whichever ends last frees it and
// its `finished` event. The close waits at most 4000 ms for the thread; a
// probe may take longer, and then the thread outlives the dialog and still
// holds a valid object. From the moment the dialog ends (`ended_`, set under
// `guard_`) the thread stores nothing in the port table, which it only ever
// touches under `guard_`, and sends nothing to the dialog's controls.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "handles/owned.hpp"
#include "link/port_probe.hpp"
#include "link/port_table.hpp"
#include "sync/worker.hpp"
#include "ui/window_object.hpp"

namespace trelvane::desktop {

class ScanPortsDialog final : public ui::WindowObject, public std::enable_shared_from_this<ScanPortsDialog> {
 public:
  ScanPortsDialog(HWND setupPage, link::PortTable& table) : parent(setupPage), table_(table) {}
  ~ScanPortsDialog() override;

  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

  // The Setup page: the probe reads its baud selection at every port.
  HWND parent;
  // Manual reset; signalled by the scan thread as its last step.
  handles::OwnedHandle finished;
  // 1 once the user pressed OK or Cancel; read by the scan thread between
  // ports and once inside each probe.
  std::atomic<unsigned char> stopRequested{0};
  // How long closing waits for the scan thread.
  DWORD closeWaitMs = 4000;

  // For the scan thread. The number of list lines, fixed at initialisation.
  int LineCount() const { return lineCount_; }
  // True once the dialog has ended: the thread then leaves everything alone.
  bool Ended() const { return ended_.load(); }
  // Stores `status` and a receiver's rate (0 for none) for the port named
  // `text`, probed on list line `line`; nothing once the dialog has ended.
  void StoreResult(const char* text, const char* status, unsigned long receiverBaud, int line);

  // Scan threads started and not yet ended, in the whole process.
  static int RunningScans();

 private:
  void Initialise();
  void ListPorts();
  void StartScanThread();
  void Close(int id);

  link::PortTable& table_;
  int lineCount_ = 0;
  SRWLOCK guard_ = SRWLOCK_INIT;
  std::atomic<bool> ended_{false};
  sync::Worker scan_;  // the scan thread; stopped (and let go) as the dialog closes
};

// The scan thread's work: probes every list line in turn until done or
// stopped, then says "Complete Scan." and signals `finished`. Returns 1.
int ScanThread(ScanPortsDialog& dialog);

// Probes the port `name` at the rate selected on the Setup page, and at the
// other rates when it talks without sentences, showing "<rate> scanning
// <name>" for each rate as it is tried. Writes the port's status text
// ("GPS Receiver at 38400" for a receiver at another rate) into `status`.
link::ProbeOutcome ProbePort(ScanPortsDialog& dialog, const char* name, char (&status)[link::kPortTextChars]);

}  // namespace trelvane::desktop
