// The handheld Setup page: port and baud rate, start and close of the link,
// cold start, the three receiver switches, the port rescan and the log pane.
// It never touches the port: it posts its requests to the main window, so
// when it sets up its controls the request has not been carried out yet.
#pragma once

#include <windows.h>

#include "nmea/sinks.hpp"
#include "ui/window_object.hpp"
#include "pocket/port_list.hpp"

namespace trelvane::pocket {

class SetupPage final : public ui::WindowObject {
 public:
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

  // Rebuilds the port table from the active drivers, then refills the list.
  void RescanPorts();
  // Refills the port list from the table and chooses its selection again.
  void RefillPortList();

  PortInfoTable ports;
  // The main window, set right after it was created; every request goes there.
  HWND mainWindow = nullptr;
  // 1 while a port is open; written by the main window's ToggleLink only.
  int gpsRunning = 0;

 private:
  void Initialise();
  void HandleCommand(int id);
  void ToggleGps();
  void PostSwitch(int id, UINT onMessage, UINT offMessage);
  void EnableControl(int id, bool enable);
  void SetLogText(const wchar_t* text);
};

// The log pane (the Setup page's IDC_LOG) as sentence intake and the command
// echo write to it.
class PocketLogPane final : public nmea::LogPane<wchar_t> {
 public:
  explicit PocketLogPane(const ui::WindowObject& page) : page_(page) {}

  int LineCount() override;
  void SetText(const wchar_t* text) override;
  void ReplaceSelection(const wchar_t* text) override;

 private:
  HWND Edit() const;
  const ui::WindowObject& page_;
};

}  // namespace trelvane::pocket
