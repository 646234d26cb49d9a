#include "desktop/corrections_run.hpp"

#include "link/caster_settings_store.hpp"
#include "monitor/corrections_line.hpp"
#include "desktop/corrections_dialog.hpp"
#include "desktop/resource.h"
#include "ui/window_object.hpp"

namespace trelvane::desktop {

void CorrectionsRun::AppendMenuItems(HMENU menu, bool linkUsable) const {
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING | (linkUsable ? MF_ENABLED : MF_GRAYED), IDM_CORRECTIONS, "Corrections...");
  AppendMenuA(menu, MF_STRING | (linkUsable && client_.Running() ? MF_ENABLED : MF_GRAYED), IDM_STOP_CORRECTIONS,
              "Stop Corrections");
}

unsigned CorrectionsRun::Start(HWND window, link::DesktopLink& link, monitor::MonitorSession<char>& session) {
  if (!loaded_) {
    settings_ = link::LoadCasterSettings();
    loaded_ = true;
  }
  const nmea::GgaFix& gga = session.LastGga();
  const bool placed = gga.latitude.present && gga.longitude.present && gga.quality > 0;
  CorrectionsDialog dialog(settings_, placed, gga.latitude.value, gga.longitude.value);
  if (ui::RunModal(dialog, IDD_CORRECTIONS, window) != IDOK || !link.IsOpen()) return monitor::kNothing;
  link::SaveCasterSettings(settings_);
  ggaGiven_ = 0;
  if (client_.Start(window, settings_, link)) {
    AfterLines(session);
    return monitor::kNothing;
  }
  return session.Note("Corrections could not start\r\n");
}

unsigned CorrectionsRun::Stop(monitor::MonitorSession<char>& session, SetupPage& page) {
  if (!client_.Running()) return monitor::kNothing;
  char stopped[link::kCorrectionsLogChars];
  client_.Stop(stopped);
  page.ShowCorrections("");
  return TakeLog(session) | session.Note(stopped);
}

unsigned CorrectionsRun::TakeLog(monitor::MonitorSession<char>& session) {
  unsigned change = monitor::kNothing;
  char line[link::kCorrectionsLogChars];
  while (client_.TakeLogLine(line, sizeof line)) change |= session.Note(line);
  return change;
}

void CorrectionsRun::AfterLines(const monitor::MonitorSession<char>& session) {
  if (!client_.Running() || session.GgaCount() == ggaGiven_) return;
  ggaGiven_ = session.GgaCount();
  int length = 0;
  const char* gga = session.LatestGga(length);
  client_.TakeGga(gga, length);
}

void CorrectionsRun::Tick(const monitor::MonitorSession<char>& session, SetupPage& page, std::uint32_t now) {
  if (!client_.Running()) return;
  char line[monitor::kCorrectionsLineChars];
  monitor::CorrectionsLine(client_.Flow(), session.GgaCount() > 0 ? &session.LastGga() : nullptr, now, line,
                           sizeof line);
  page.ShowCorrections(line);
}

}  // namespace trelvane::desktop
