// Dialog templates as the handheld lays them out, on Win32.
//
// The handheld's dialogs name the font "System", which on the handheld is
// its small system font (8-point Tahoma): a 142 x 147 unit page then fits
// the 240 x 246 pixels it is given. Win32's "System" is a large bitmap font
// that makes every dialog unit twice as high, and the pages would no longer
// fit the screen. A template loaded here names the handheld's font instead;
// nothing else in it changes (dialog_template_bytes.hpp does the rewriting).
#pragma once

#include <windows.h>

namespace trelvane::ce {

// Room for the largest template of the program, with its new font name.
constexpr int kDialogTemplateWords = 2048;

class DialogTemplate {
 public:
  DialogTemplate() = default;
  DialogTemplate(const DialogTemplate&) = delete;
  DialogTemplate& operator=(const DialogTemplate&) = delete;

  // Loads template `id` (in the DIALOG form) of `instance`. False when it is
  // missing, malformed or larger than this buffer; the template is then empty.
  bool Load(HINSTANCE instance, int id);

  // The loaded template, or nullptr.
  const DLGTEMPLATE* get() const { return loaded_ ? reinterpret_cast<const DLGTEMPLATE*>(words_) : nullptr; }

 private:
  DWORD words_[kDialogTemplateWords] = {};
  bool loaded_ = false;
};

}  // namespace trelvane::ce
