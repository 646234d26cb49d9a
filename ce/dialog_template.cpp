#include "ce/dialog_template.hpp"

#include <cstring>

namespace trelvane::ce {

namespace {

constexpr wchar_t kTemplateSystemFont[] = L"System";
constexpr size_t kHeaderBytes = 18;  // style, extended style, item count, x, y, cx, cy

// Reads a template's text-or-number field at `offset`: 0 (none), 0xFFFF and
// a number, or a zero-terminated text. Returns the offset after it, or 0
// when it runs past `size`.
size_t SkipField(const BYTE* bytes, size_t size, size_t offset) {
  if (offset + 2 > size) return 0;
  WORD first = 0;
  std::memcpy(&first, bytes + offset, 2);
  if (first == 0xFFFF) return offset + 4 <= size ? offset + 4 : 0;
  for (;;) {
    if (offset + 2 > size) return 0;
    WORD unit = 0;
    std::memcpy(&unit, bytes + offset, 2);
    offset += 2;
    if (unit == 0) return offset;
  }
}

size_t AlignToDword(size_t offset) { return (offset + 3) & ~static_cast<size_t>(3); }

}  // namespace

bool DialogTemplate::Load(HINSTANCE instance, int id) {
  loaded_ = false;
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));  // RT_DIALOG
  if (found == nullptr) return false;
  const size_t size = SizeofResource(instance, found);
  HGLOBAL resource = LoadResource(instance, found);
  const BYTE* bytes = resource != nullptr ? static_cast<const BYTE*>(LockResource(resource)) : nullptr;
  if (bytes == nullptr || size < kHeaderBytes) return false;
  DWORD style = 0;
  std::memcpy(&style, bytes, sizeof style);
  if (HIWORD(style) == 0xFFFF) return false;  // the extended form is not the handheld's

  size_t offset = kHeaderBytes;
  for (int field = 0; field < 3; ++field) {  // menu, class, title
    offset = SkipField(bytes, size, offset);
    if (offset == 0) return false;
  }
  BYTE* out = reinterpret_cast<BYTE*>(words_);
  const size_t capacity = sizeof words_;
  if ((style & DS_SETFONT) == 0) {
    if (size > capacity) return false;
    std::memcpy(out, bytes, size);
    loaded_ = true;
    return true;
  }
  // Only a "System" face becomes the handheld's font; any other stays as named.
  const size_t faceStart = offset + 2;
  const size_t faceEnd = SkipField(bytes, size, faceStart);
  if (faceEnd == 0) return false;
  const bool system = faceEnd - faceStart == sizeof kTemplateSystemFont &&
                      std::memcmp(bytes + faceStart, kTemplateSystemFont, sizeof kTemplateSystemFont) == 0;
  const BYTE* face = system ? reinterpret_cast<const BYTE*>(kHandheldDialogFont) : bytes + faceStart;
  const size_t faceBytes = system ? sizeof kHandheldDialogFont : faceEnd - faceStart;
  const size_t itemsStart = AlignToDword(faceEnd);  // the items begin on a DWORD, as they did
  const size_t itemsBytes = size > itemsStart ? size - itemsStart : 0;
  const size_t newItemsStart = AlignToDword(faceStart + faceBytes);
  if (newItemsStart + itemsBytes > capacity) return false;

  std::memset(words_, 0, sizeof words_);
  std::memcpy(out, bytes, faceStart);
  if (system) std::memcpy(out + faceStart - 2, &kHandheldDialogPoints, 2);
  std::memcpy(out + faceStart, face, faceBytes);
  if (itemsBytes > 0) std::memcpy(out + newItemsStart, bytes + itemsStart, itemsBytes);
  loaded_ = true;
  return true;
}

}  // namespace trelvane::ce
