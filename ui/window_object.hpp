// The window object framework: every window and dialog of the monitor is an
// object derived from WindowObject, bound to its window through the window's
// user-data slot. The platform calls one of two static procedures, which find
// the object and hand the message to its HandleMessage.
//
// Objects never destroy their windows: windows belong to the platform and die
// with their parents; objects outlive them (on the program entry's stack, as
// members of the main window object, or as locals around a modal dialog).
#pragma once

#include <windows.h>

namespace trelvane::ui {

class WindowObject {
 public:
  WindowObject() = default;
  WindowObject(const WindowObject&) = delete;
  WindowObject& operator=(const WindowObject&) = delete;
  virtual ~WindowObject() = default;

  // One branch per handled message; a dialog-bound object answers 0 to what
  // it does not handle, a window-bound one DefWindowProc's result.
  virtual LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) = 0;

  // Set once, when the window is bound (WM_CREATE or WM_INITDIALOG).
  HWND hwnd = nullptr;
};

// The module instance every template, string, icon, bitmap, menu and
// accelerator table is loaded from; stored once at program entry.
void SetModuleInstance(HINSTANCE instance);
HINSTANCE ModuleInstance();

// The window procedure of a window class whose windows are created with their
// object as the creation parameter.
LRESULT CALLBACK ObjectWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The same for a window class registered in the wide form: what the object
// leaves alone goes to DefWindowProcW.
LRESULT CALLBACK ObjectWindowProcWide(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The dialog procedure of every dialog and tab page, of either text form.
INT_PTR CALLBACK ObjectDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Runs `object`'s modal dialog from template `templateId` and returns when its
// handler ends the dialog. The caller owns the object and keeps it alive
// across the call.
INT_PTR RunModal(WindowObject& object, int templateId, HWND parent);

// Creates `object`'s modeless dialog from template `templateId` under
// `parent`. Returns 1 when a window was created (its handle is then already
// in object.hwnd), 0 otherwise.
int CreatePage(WindowObject& object, int templateId, HWND parent);

// RunModal and CreatePage for the handheld build: the dialogs are created in
// the wide form from a template in memory (nullptr: nothing is created).
INT_PTR RunModalWide(WindowObject& object, const DLGTEMPLATE* dialog, HWND parent);
int CreatePageWide(WindowObject& object, const DLGTEMPLATE* dialog, HWND parent);

}  // namespace trelvane::ui
