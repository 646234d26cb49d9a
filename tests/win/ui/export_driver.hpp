// File > Export Track driven as a person would: a thread timer (which runs
// inside the Save As dialog's own modal loop) finds the dialog by its
// caption, notes the file name it offers, picks a filter, may type another
// name, and presses Save or Cancel. And the track a file gives when read in
// one go, to hold the monitor's sliced export against.
#pragma once

#include <windows.h>
#include <dlgs.h>

#include <cstdio>
#include <memory>
#include <string>

#include "monitor/track_export.hpp"
#include "tests/native/monitor/string_out.hpp"

namespace trelvane::test {

struct SaveAsAnswer {
  const wchar_t* caption = L"Export Track";
  int filter = 0;             // 1-based; 0 leaves the one offered
  std::wstring name;          // empty: keep the name offered
  bool save = true;           // false: Cancel
  std::wstring offered;       // the name the dialog offered
  bool answered = false;
};

inline SaveAsAnswer* saveAsAnswer = nullptr;

// The file name box: a combo box in the explorer-style dialog, an edit in
// the older one.
inline HWND SaveAsNameBox(HWND dialog) {
  HWND box = GetDlgItem(dialog, cmb13);
  return box != nullptr ? box : GetDlgItem(dialog, edt1);
}

inline void CALLBACK AnswerSaveAs(HWND, UINT, UINT_PTR timer, DWORD) {
  SaveAsAnswer* answer = saveAsAnswer;
  if (answer == nullptr) return;
  HWND dialog = FindWindowW(L"#32770", answer->caption);
  if (dialog == nullptr || !IsWindowVisible(dialog)) return;
  KillTimer(nullptr, timer);
  HWND nameBox = SaveAsNameBox(dialog);
  wchar_t offered[MAX_PATH] = {};
  if (nameBox != nullptr) GetWindowTextW(nameBox, offered, MAX_PATH);
  answer->offered = offered;
  if (answer->filter > 0) {
    HWND filters = GetDlgItem(dialog, cmb1);
    SendMessageW(filters, CB_SETCURSEL, static_cast<WPARAM>(answer->filter - 1), 0);
    // A choice made with the mouse sends both.
    for (WORD code : {WORD{CBN_SELCHANGE}, WORD{CBN_SELENDOK}}) {
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(cmb1, code), reinterpret_cast<LPARAM>(filters));
    }
  }
  if (!answer->name.empty() && nameBox != nullptr) SetWindowTextW(nameBox, answer->name.c_str());
  answer->answered = true;
  PostMessageW(dialog, WM_COMMAND, answer->save ? IDOK : IDCANCEL, 0);
}

// Runs `open` (which shows the dialog, modally) with `answer` given to the
// dialog it opens.
template <class Open>
void AnswerSaveAsWith(SaveAsAnswer& answer, Open open) {
  saveAsAnswer = &answer;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, AnswerSaveAs);
  open();
  KillTimer(nullptr, timer);
  saveAsAnswer = nullptr;
}

inline std::string FileBytes(const std::wstring& path) {
  std::string bytes;
  if (FILE* file = _wfopen(path.c_str(), L"rb")) {
    char chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    std::fclose(file);
  }
  return bytes;
}

inline bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// `path`'s track in `format`, named `name`, read in one go.
inline std::string TrackInOneGo(const std::wstring& path, monitor::TrackFormat format, const char* name) {
  testing::StringOut out;
  auto track = std::make_unique<monitor::TrackExport<testing::StringOut>>(format, name, out);
  const std::string bytes = FileBytes(path);
  track->Feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  track->Finish();
  return out.text;
}

}  // namespace trelvane::test
