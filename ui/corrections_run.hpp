// The corrections as a main window runs them, in either monitor: the
// Receiver menu's two items, the dialog, the client fed with the receiver's
// GGA, its lines into the log pane and the status line under it. The link
// must stay open while they run: the main window stops them before it
// closes the link.
#pragma once

#include <windows.h>

#include <cstdint>

#include "net/caster_settings_store.hpp"
#include "net/ntrip_client.hpp"
#include "monitor/corrections_line.hpp"
#include "ui/corrections_dialog.hpp"
#include "ui/corrections_ids.h"
#include "ui/monitor_calls.hpp"

namespace trelvane::ui {

template <class Ch>
class CorrectionsRun {
 public:
  // The page and control of the status line.
  CorrectionsRun(HWND& page, int statusId) : page_(page), statusId_(statusId) {}

  // "Corrections..." and "Stop Corrections", greyed while no link is open
  // (`linkUsable` false: none, or a file plays) or, the second, while
  // nothing runs.
  void AppendMenuItems(HMENU menu, bool linkUsable) const {
    const UINT stop = linkUsable && client_.Running() ? MF_ENABLED : MF_GRAYED;
    if constexpr (sizeof(Ch) == 1) {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(menu, MF_STRING | (linkUsable ? MF_ENABLED : MF_GRAYED), IDM_CORRECTIONS, "Corrections...");
      AppendMenuA(menu, MF_STRING | stop, IDM_STOP_CORRECTIONS, "Stop Corrections");
    } else {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(menu, MF_STRING | (linkUsable ? MF_ENABLED : MF_GRAYED), IDM_CORRECTIONS, L"Corrections...");
      AppendMenuW(menu, MF_STRING | stop, IDM_STOP_CORRECTIONS, L"Stop Corrections");
    }
  }

  // Corrections...: the dialog (run by `runDialog(dialog)`, which answers
  // how it ended), then, on Connect, the client writing into `link`. The
  // link is looked at again after the dialog: while it was open a second
  // start may have handed over a file or a network receiver, which closed
  // the link; nothing starts then, and the log says why.
  template <class Session, class RunDialog, class Link, class Playback>
  unsigned Start(HWND window, RunDialog runDialog, Link& link, const Playback& playback, Session& session) {
    if (!loaded_) {
      settings_ = net::LoadCasterSettings();
      loaded_ = true;
    }
    const nmea::GgaFix& gga = session.LastGga();
    const bool placed = session.GgaCount() > 0 && gga.latitude.present && gga.longitude.present && gga.quality > 0;
    CorrectionsDialog<Ch> dialog(settings_, placed, gga.latitude.value, gga.longitude.value);
    if (runDialog(dialog) != IDOK) return 0;
    net::SaveCasterSettings(settings_);
    if (playback.IsOpen()) return NoteAscii(session, "Corrections not started: a file is playing\r\n");
    if (!link.Writable()) return NoteAscii(session, "Corrections not started: no receiver link to write into\r\n");
    ggaGiven_ = 0;
    if (!client_.Start(window, settings_, link)) return NoteAscii(session, "Corrections could not start\r\n");
    AfterLines(session);
    return 0;
  }

  // Stop Corrections, or the link closing: "Corrections stopped: ..." in the log.
  template <class Session>
  unsigned Stop(Session& session) {
    if (!client_.Running()) return 0;
    char stopped[net::kCorrectionsLogChars];
    client_.Stop(stopped);
    shown_.Show(page_, statusId_, kEmpty);
    return TakeLog(session) | NoteAscii(session, stopped);
  }

  bool Running() const { return client_.Running(); }

  // The client's waiting lines into the log pane.
  template <class Session>
  unsigned TakeLog(Session& session) {
    unsigned change = 0;
    char line[net::kCorrectionsLogChars];
    while (client_.TakeLogLine(line, sizeof line)) change |= NoteAscii(session, line);
    return change;
  }

  // After the receiver's lines: a new GGA goes to the client.
  template <class Session>
  void AfterLines(const Session& session) {
    if (!client_.Running() || session.GgaCount() == ggaGiven_) return;
    ggaGiven_ = session.GgaCount();
    int length = 0;
    const char* gga = session.LatestGga(length);
    client_.TakeGga(gga, length);
  }

  // Once a second: the status line.
  template <class Session>
  void Tick(const Session& session, std::uint32_t now) {
    if (!client_.Running()) return;
    char line[monitor::kCorrectionsLineChars];
    monitor::CorrectionsLine(client_.Flow(), session.GgaCount() > 0 ? &session.LastGga() : nullptr, now, line,
                             sizeof line);
    Ch text[monitor::kCorrectionsLineChars];
    int n = 0;
    for (; line[n] != '\0'; ++n) text[n] = Ch(static_cast<unsigned char>(line[n]));
    text[n] = Ch(0);
    shown_.Show(page_, statusId_, text);
  }

 private:
  static constexpr Ch kEmpty[1] = {Ch(0)};

  template <class Session>
  static unsigned NoteAscii(Session& session, const char* text) {
    Ch wide[net::kCorrectionsLogChars];
    int n = 0;
    for (; text[n] != '\0' && n < net::kCorrectionsLogChars - 1; ++n) wide[n] = Ch(static_cast<unsigned char>(text[n]));
    wide[n] = Ch(0);
    return session.Note(wide);
  }

  HWND& page_;
  int statusId_;
  ShownText<Ch, monitor::kCorrectionsLineChars> shown_{""};
  net::NtripClient client_;
  net::CasterSettings settings_;
  bool loaded_ = false;
  unsigned ggaGiven_ = 0;
};

}  // namespace trelvane::ui
