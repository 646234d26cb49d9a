// The two things sentence intake writes to besides the readout: the log pane
// and the information page's repaint request.
#pragma once

namespace trelvane::nmea {

// The Setup page's log pane, through the three operations intake uses.
template <class Ch>
class LogPane {
 public:
  virtual int LineCount() = 0;                        // EM_GETLINECOUNT
  virtual void SetText(const Ch* text) = 0;           // set the window text
  virtual void ReplaceSelection(const Ch* text) = 0;  // EM_REPLACESEL, not undoable

 protected:
  ~LogPane() = default;
};

// A call back into the window code: the information page's repaint request,
// the log pane's flush request.
struct Callback {
  void (*call)(void* context) = nullptr;
  void* context = nullptr;

  void operator()() const {
    if (call != nullptr) call(context);
  }
};

// Asks the information page to redraw its sky plot and readout.
using RepaintCallback = Callback;

}  // namespace trelvane::nmea
