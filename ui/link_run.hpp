// What both monitors do as the receiver's link closes, or as a receiver on
// the network takes the place of a port or a playing file, written once for
// both text forms: the corrections stop before the link they write into
// closes, a recording ends with its link, and the session hears of each
// change. What a window shows of it (its timers, pages, menus and sharing)
// is its own, through LinkShown.
#pragma once

#include <windows.h>

#include "monitor/monitor_session.hpp"
#include "net/network_source.hpp"
#include "net/receiver_link.hpp"
#include "recording/recorder.hpp"
#include "ui/corrections_run.hpp"

namespace trelvane::ui {

// A monitor window's side of its link's changes.
template <class Ch>
class LinkShown {
 public:
  // The change the session names, shown; answers it.
  virtual unsigned Show(unsigned change) = 0;
  virtual void StopPlaying() = 0;
  virtual void PlayFile(const Ch* path) = 0;
  // Record turned off with the link.
  virtual void StopRecording() = 0;
  // A network receiver at `address` is open: the window's clock, the Setup
  // page's address and Start GPS, and whatever else follows an open link.
  virtual void ShowNetworkOpened(const Ch* address) = 0;
  // The link (a network receiver's, when `network`) has closed.
  virtual void ShowLinkClosed(bool network) = 0;

 protected:
  ~LinkShown() = default;
};

template <class Serial, class Ch>
class LinkRun {
 public:
  using Link = net::ReceiverLink<Serial, Ch>;

  LinkRun(Link& link, CorrectionsRun<Ch>& corrections, monitor::MonitorSession<Ch>& session,
          recording::Recorder& recorder, LinkShown<Ch>& window)
      : link_(link), corrections_(corrections), session_(session), recorder_(recorder), window_(window) {}
  LinkRun(const LinkRun&) = delete;
  LinkRun& operator=(const LinkRun&) = delete;

  // Closes the open link, a port's or a network receiver's.
  void Close() {
    window_.Show(corrections_.Stop(session_));  // they write into the link
    const bool network = link_.IsNetwork();
    link_.CloseLink();
    window_.StopRecording();
    window_.ShowLinkClosed(network);
    window_.Show(session_.LinkClosed());
  }

  // The receiver at `source` (`address`, as the user gave it) in place of
  // the open link or the playing file. A network receiver's port rate is
  // its bridge's: the session is told of none. One that cannot be opened
  // is said in the log.
  void OpenNetwork(HWND window, const net::NetworkSource& source, const Ch* address) {
    if (link_.IsOpen()) Close();
    window_.StopPlaying();
    if (link_.OpenNetwork(window, source, &recorder_) != 1) {
      window_.Show(session_.NoteCannot("open", address));
      return;
    }
    window_.ShowNetworkOpened(address);
    window_.Show(session_.LinkOpened(GetTickCount(), 0));
  }

  // What the command line or a second start hands over: a network
  // receiver's address (tcp://HOST:PORT, udp://:PORT), else a file to play.
  void OpenSource(HWND window, const Ch* text) {
    net::NetworkSource source;
    if (net::ParseNetworkSource(text, source)) {
      OpenNetwork(window, source, text);
    } else {
      window_.PlayFile(text);
    }
  }

 private:
  Link& link_;
  CorrectionsRun<Ch>& corrections_;
  monitor::MonitorSession<Ch>& session_;
  recording::Recorder& recorder_;
  LinkShown<Ch>& window_;
};

}  // namespace trelvane::ui
