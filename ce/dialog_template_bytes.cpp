#include "ce/dialog_template_bytes.hpp"

#include <cstring>

namespace trelvane::ce {

namespace {

constexpr char16_t kTemplateSystemFont[] = u"System";
constexpr std::size_t kHeaderBytes = 18;  // style, extended style, item count, x, y, cx, cy

// Reads a template's text-or-number field at `offset`: 0 (none), 0xFFFF and
// a number, or a zero-terminated text. Returns the offset after it, or 0
// when it runs past `size`.
std::size_t SkipField(const std::uint8_t* bytes, std::size_t size, std::size_t offset) {
  if (offset + 2 > size) return 0;
  std::uint16_t first = 0;
  std::memcpy(&first, bytes + offset, 2);
  if (first == 0xFFFF) return offset + 4 <= size ? offset + 4 : 0;
  for (;;) {
    if (offset + 2 > size) return 0;
    std::uint16_t unit = 0;
    std::memcpy(&unit, bytes + offset, 2);
    offset += 2;
    if (unit == 0) return offset;
  }
}

std::size_t AlignToDword(std::size_t offset) { return (offset + 3) & ~static_cast<std::size_t>(3); }

}  // namespace

std::size_t ParseDialogTemplate(const std::uint8_t* bytes, std::size_t size, std::uint8_t* out,
                                std::size_t capacity) {
  if (bytes == nullptr || size < kHeaderBytes) return 0;
  std::uint32_t style = 0;
  std::memcpy(&style, bytes, sizeof style);
  if ((style >> 16) == 0xFFFF) return 0;  // the extended form is not the handheld's

  std::size_t offset = kHeaderBytes;
  for (int field = 0; field < 3; ++field) {  // menu, class, title
    offset = SkipField(bytes, size, offset);
    if (offset == 0) return 0;
  }
  if ((style & kTemplateHasFont) == 0) {
    if (size > capacity) return 0;
    std::memcpy(out, bytes, size);
    return size;
  }
  // Only a "System" face becomes the handheld's font; any other stays as named.
  const std::size_t faceStart = offset + 2;  // after the point size
  const std::size_t faceEnd = SkipField(bytes, size, faceStart);
  if (faceEnd == 0) return 0;
  const bool system = faceEnd - faceStart == sizeof kTemplateSystemFont &&
                      std::memcmp(bytes + faceStart, kTemplateSystemFont, sizeof kTemplateSystemFont) == 0;
  const std::uint8_t* face = system ? reinterpret_cast<const std::uint8_t*>(kHandheldDialogFace) : bytes + faceStart;
  const std::size_t faceBytes = system ? sizeof kHandheldDialogFace : faceEnd - faceStart;
  const std::size_t itemsStart = AlignToDword(faceEnd);  // the items begin on a DWORD, as they did
  const std::size_t itemsBytes = size > itemsStart ? size - itemsStart : 0;
  const std::size_t newItemsStart = AlignToDword(faceStart + faceBytes);
  if (newItemsStart + itemsBytes > capacity) return 0;

  std::memset(out, 0, capacity);
  std::memcpy(out, bytes, faceStart);
  if (system) std::memcpy(out + faceStart - 2, &kHandheldDialogPointSize, 2);
  std::memcpy(out + faceStart, face, faceBytes);
  if (itemsBytes > 0) std::memcpy(out + newItemsStart, bytes + itemsStart, itemsBytes);
  return newItemsStart + itemsBytes;
}

}  // namespace trelvane::ce
