#include "ce/dialog_template.hpp"

#include <cstdint>

#include "ce/dialog_template_bytes.hpp"

namespace trelvane::ce {

static_assert(DS_SETFONT == kTemplateHasFont, "the template's font flag");

bool DialogTemplate::Load(HINSTANCE instance, int id) {
  loaded_ = false;
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));  // RT_DIALOG
  if (found == nullptr) return false;
  const size_t size = SizeofResource(instance, found);
  HGLOBAL resource = LoadResource(instance, found);
  const BYTE* bytes = resource != nullptr ? static_cast<const BYTE*>(LockResource(resource)) : nullptr;
  loaded_ = ParseDialogTemplate(bytes, size, reinterpret_cast<std::uint8_t*>(words_), sizeof words_) != 0;
  return loaded_;
}

}  // namespace trelvane::ce
