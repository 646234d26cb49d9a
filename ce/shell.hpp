// The Pocket PC shell's calls the handheld program makes, on Win32.
//
// On the handheld the shell draws the menu bar along the bottom of the
// screen, sizes dialogs to the screen with a Done button in their title, and
// adjusts windows when the input panel comes and goes. Win32 has none of
// these; here they are small windows and moves of our own, with the records
// and flags the handheld program passes.
#pragma once

#include <windows.h>

#include "ce/menu_bar_record.hpp"

namespace trelvane::ce {

constexpr int kMenuBarHeight = 26;

// The shell's menu-bar request. On the handheld this record is 32 bytes; on
// Win32 its handles are pointer-sized, so cbSize is sizeof(MenuBarInfo).
struct MenuBarInfo {
  DWORD cbSize;
  HWND hwndParent;
  DWORD dwFlags;
  UINT nToolBarId;      // RCDATA resource holding the menu-bar record
  HINSTANCE hInstRes;   // where that resource and the captions are
  int nBmpId;
  int cBmpImages;
  HWND hwndMB;          // out: the bar
};

// Reads the menu-bar record `id` of `instance` (see menu_bar_record.hpp).
// Returns the number of buttons read into `buttons` (at most `capacity`), or
// -1 when the record is missing or shorter than the buttons it announces.
int ReadMenuBarRecord(HINSTANCE instance, UINT id, MenuBarButton* buttons, int capacity);

// Creates the menu bar: a bar kMenuBarHeight pixels high along the bottom of
// the handheld screen, owned by info->hwndParent, with one push button per
// record entry captioned from its string; pressing a button sends
// WM_COMMAND(command) to the owner. The bar never takes the activation and
// goes when its owner is destroyed. Fills info->hwndMB; FALSE on failure.
BOOL SHCreateMenuBar(MenuBarInfo* info);

constexpr DWORD SHIDIM_FLAGS = 0x0001;
constexpr DWORD SHIDIF_DONEBUTTON = 0x0001;
constexpr DWORD SHIDIF_SIZEDLGFULLSCREEN = 0x0004;
constexpr DWORD SHIDIF_SIPDOWN = 0x0008;
constexpr int kDoneButtonWidth = 44;
constexpr int kDoneButtonHeight = 20;

struct InitDialogInfo {
  DWORD dwMask;
  HWND hDlg;
  DWORD dwFlags;
};

// Initialises a dialog as the shell does: full-screen size moves and sizes
// it to the work area; the Done button is a push button with id IDOK at the
// top right of the dialog (on the handheld it sits in the title bar), so that
// pressing it sends IDOK; the input panel flag has nothing to hide on Win32.
BOOL SHInitDialog(InitDialogInfo* info);

// The shell's activation record that SHHandleWMSettingChange keeps.
struct ActivateInfo {
  DWORD cbSize;
  HWND hwndLastFocus;
  UINT flags;
  RECT previousInputPanel;
};

// On the handheld the shell resizes the window when the input panel shows
// or hides; Win32 has no input panel, so nothing changes. Returns TRUE.
BOOL SHHandleWMSettingChange(HWND window, WPARAM wParam, LPARAM lParam, ActivateInfo* info);

// The handheld shell's SHGetSpecialFolderPath: the folder of kind `folder`
// (a CSIDL_ value; CSIDL_PERSONAL is "\My Documents" on the handheld) into
// `path`, which holds MAX_PATH units, made when missing if `create`. On
// Win32 it is the user's folder of that kind. Named apart from the Win32
// call, which the system headers define as a macro.
BOOL SpecialFolderPath(HWND owner, wchar_t* path, int folder, BOOL create);

}  // namespace trelvane::ce
