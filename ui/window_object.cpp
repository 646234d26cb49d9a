#include "ui/window_object.hpp"

namespace trelvane::ui {

namespace {

HINSTANCE moduleInstance = nullptr;

// The pointer-sized slot: a 32-bit slot would cut a 64-bit object address.
void Bind(HWND hwnd, WindowObject* object) {
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
  object->hwnd = hwnd;
}

WindowObject* BoundObject(HWND hwnd) {
  return reinterpret_cast<WindowObject*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

using DefaultProc = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

// The creation parameter comes first in both text forms of the creation record.
LRESULT ForwardToObject(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DefaultProc defaultProc) {
  WindowObject* object = nullptr;
  if (message == WM_CREATE) {
    object = static_cast<WindowObject*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (object != nullptr) Bind(hwnd, object);
  } else {
    object = BoundObject(hwnd);
  }
  // Messages before WM_CREATE (WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE)
  // find no object yet.
  if (object == nullptr) return defaultProc(hwnd, message, wParam, lParam);
  return object->HandleMessage(hwnd, message, wParam, lParam);
}

}  // namespace

void SetModuleInstance(HINSTANCE instance) { moduleInstance = instance; }

HINSTANCE ModuleInstance() { return moduleInstance; }

LRESULT CALLBACK ObjectWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return ForwardToObject(hwnd, message, wParam, lParam, DefWindowProcA);
}

LRESULT CALLBACK ObjectWindowProcWide(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return ForwardToObject(hwnd, message, wParam, lParam, DefWindowProcW);
}

INT_PTR CALLBACK ObjectDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    WindowObject* object = reinterpret_cast<WindowObject*>(lParam);
    if (object == nullptr) return 0;
    Bind(hwnd, object);
    return object->HandleMessage(hwnd, message, wParam, lParam);
  }
  // A template that names a font sends WM_SETFONT before WM_INITDIALOG, while
  // the slot is still empty; no object ever sees it.
  if (message == WM_SETFONT) return 0;
  WindowObject* object = BoundObject(hwnd);
  if (object == nullptr) return 0;
  return object->HandleMessage(hwnd, message, wParam, lParam);
}

INT_PTR RunModal(WindowObject& object, int templateId, HWND parent) {
  return DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(templateId), parent, ObjectDialogProc,
                  reinterpret_cast<LPARAM>(&object));
}

int CreatePage(WindowObject& object, int templateId, HWND parent) {
  HWND page = CreateDialogParamA(moduleInstance, MAKEINTRESOURCEA(templateId), parent, ObjectDialogProc,
                                 reinterpret_cast<LPARAM>(&object));
  return page != nullptr ? 1 : 0;
}

// The handheld build's dialogs are wide windows, so that their controls take
// and give UTF-16 text without a code page in between; their templates come
// from the handheld platform layer, which lays them out as the handheld does.
INT_PTR RunModalWide(WindowObject& object, const DLGTEMPLATE* dialog, HWND parent) {
  if (dialog == nullptr) return -1;
  return DialogBoxIndirectParamW(moduleInstance, dialog, parent, ObjectDialogProc, reinterpret_cast<LPARAM>(&object));
}

int CreatePageWide(WindowObject& object, const DLGTEMPLATE* dialog, HWND parent) {
  if (dialog == nullptr) return 0;
  HWND page =
      CreateDialogIndirectParamW(moduleInstance, dialog, parent, ObjectDialogProc, reinterpret_cast<LPARAM>(&object));
  return page != nullptr ? 1 : 0;
}

}  // namespace trelvane::ui
