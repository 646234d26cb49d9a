// Win32 calls both monitors make to get a file to play: the standard Open
// dialog, the file named on the command line, and the hand-over of that
// file to a copy of the monitor already running. Each is written once for
// both text forms.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include "nmea/text.hpp"

namespace trelvane::ui {

// WM_COPYDATA's tag for "play this file": the path, zero-terminated, in the
// sender's text form.
constexpr ULONG_PTR kCopyDataPlayFile = 0x54525650;  // "TRVP"

constexpr int kPathChars = MAX_PATH;

// The Open dialog, owned by `owner`, for a recording or a capture; false
// when it was cancelled.
template <class Ch>
bool AskForFileToPlay(HWND owner, Ch (&path)[kPathChars]) {
  path[0] = Ch(0);
  if constexpr (sizeof(Ch) == 1) {
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = "Receiver recordings (*.nmea;*.log;*.txt;*.ubx)\0*.nmea;*.log;*.txt;*.ubx\0All files\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = kPathChars;
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    return GetOpenFileNameA(&dialog) != FALSE;
  } else {
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = L"Receiver recordings (*.nmea;*.log;*.txt;*.ubx)\0*.nmea;*.log;*.txt;*.ubx\0All files\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = kPathChars;
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    return GetOpenFileNameW(&dialog) != FALSE;
  }
}

// The file the program was started with: the command line (the program's
// name already left out) without the blanks around it and the quotes the
// shell puts around a path with spaces. False when it names none or is too
// long for `path`.
template <class Ch>
bool CommandLineFile(const Ch* commandLine, Ch (&path)[kPathChars]) {
  path[0] = Ch(0);
  if (commandLine == nullptr) return false;
  while (*commandLine == Ch(' ') || *commandLine == Ch('\t')) ++commandLine;
  const bool quoted = *commandLine == Ch('"');
  if (quoted) ++commandLine;
  int n = 0;
  for (; commandLine[n] != Ch(0) && !(quoted && commandLine[n] == Ch('"')); ++n) {
    if (n == kPathChars - 1) return false;
    path[n] = commandLine[n];
  }
  while (n > 0 && (path[n - 1] == Ch(' ') || path[n - 1] == Ch('\t'))) --n;
  path[n] = Ch(0);
  return n > 0;
}

// How long a second start waits for the running copy to take its file: a
// copy that hangs does not hold the second one for good.
constexpr UINT kHandOverMs = 10000;

// Hands `path` to the copy of the monitor already running as `running`;
// true when it took it within kHandOverMs.
template <class Ch>
bool HandOverFile(HWND running, const Ch* path) {
  COPYDATASTRUCT data = {};
  data.dwData = kCopyDataPlayFile;
  data.cbData = static_cast<DWORD>((nmea::TextLength(path, kPathChars) + 1) * sizeof(Ch));
  data.lpData = const_cast<Ch*>(path);
  const LPARAM handed = reinterpret_cast<LPARAM>(&data);
  DWORD_PTR took = 0;
  if constexpr (sizeof(Ch) == 1) {
    return SendMessageTimeoutA(running, WM_COPYDATA, 0, handed, SMTO_ABORTIFHUNG, kHandOverMs, &took) != 0 && took != 0;
  } else {
    return SendMessageTimeoutW(running, WM_COPYDATA, 0, handed, SMTO_ABORTIFHUNG, kHandOverMs, &took) != 0 && took != 0;
  }
}

// The path a WM_COPYDATA carries, when it is a hand-over in this text form
// that fits `path`; false otherwise.
template <class Ch>
bool HandedOverFile(const COPYDATASTRUCT* data, Ch (&path)[kPathChars]) {
  if (data == nullptr || data->dwData != kCopyDataPlayFile || data->lpData == nullptr) return false;
  const DWORD units = data->cbData / sizeof(Ch);
  if (units == 0 || units > kPathChars) return false;
  const Ch* text = static_cast<const Ch*>(data->lpData);
  if (text[units - 1] != Ch(0)) return false;
  nmea::CopyText(path, kPathChars, text);
  return path[0] != Ch(0);
}

// Opens the file at `path` as `file` and plays it on `playback` (a
// monitor::Playback) at `now`, or leaves the file closed again when it does
// not play (the log pane then says why); answers the session's changes. The
// window closes its link and the file before.
template <class Playback, class File, class Ch>
unsigned OpenAndPlay(Playback& playback, File& file, const Ch* path, unsigned now) {
  const bool opened = file.Open(path);
  const unsigned change = playback.Play(file, opened, file.Reads(), file.ReadCount(), path, now);
  if (!playback.IsOpen()) file.Close();
  return change;
}

}  // namespace trelvane::ui
