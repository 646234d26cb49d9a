// Receiver > Corrections...: the caster, its port, the mountpoint (typed,
// or picked from the caster's table that Get List fetches, nearest first),
// the login and how often the receiver's position is sent. Get List runs on
// a thread of its own; the dialog stays answering meanwhile, and a list still
// coming when the dialog closes is left to end on its own.
#pragma once

#include <windows.h>

#include "link/ntrip_client.hpp"
#include "ui/window_object.hpp"

namespace trelvane::desktop {

class CorrectionsDialog final : public ui::WindowObject {
 public:
  // Shows `settings` and, on Connect, leaves what the user chose in them.
  // The receiver's position, when `placed`, orders the list by distance.
  CorrectionsDialog(link::CasterSettings& settings, bool placed, double latitude, double longitude)
      : settings_(settings), placed_(placed), latitude_(latitude), longitude_(longitude) {}

  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void Initialise();
  // The controls into `into`; false (with the reason in the status text)
  // when the caster or, `needMount`, the mountpoint is missing.
  bool ReadControls(link::CasterSettings& into, bool needMount);
  void GetList();
  void ShowList();
  void SetStatus(const char* text);

  link::CasterSettings& settings_;
  bool placed_;
  double latitude_, longitude_;
  link::SourceTableFetch fetch_;
};

}  // namespace trelvane::desktop
