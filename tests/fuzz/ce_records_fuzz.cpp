// libFuzzer target: arbitrary bytes as the handheld's menu-bar record and as
// a dialog template. Both readers get buffers of exactly the input's size,
// so AddressSanitizer sees any read past the record. Checks that the menu bar
// reads no more buttons than fit or than the record holds, each as its
// words; and that a rewritten template fits its buffer, keeps its header and
// items, names the handheld's font where it named "System", and comes
// through a second rewrite unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ce/dialog_template_bytes.hpp"
#include "ce/menu_bar_record.hpp"

namespace {

using namespace trelvane::ce;

constexpr std::size_t kTemplateCapacity = 8192;  // the handheld's buffer: 2048 DWORDs

void Require(bool condition) {
  if (!condition) std::abort();
}

std::uint16_t WordAt(const std::uint8_t* data, std::size_t index) {
  std::uint16_t word = 0;
  std::memcpy(&word, data + 2 * index, 2);
  return word;
}

void CheckMenuBar(const std::uint8_t* data, std::size_t size) {
  // A record is a resource's words: give the reader an aligned copy of
  // exactly `size` bytes.
  auto* words = static_cast<std::uint16_t*>(std::malloc(size == 0 ? 1 : size));
  if (size > 0) std::memcpy(words, data, size);
  MenuBarButton buttons[kMenuBarButtonsMax + 1];
  std::memset(buttons, 0xA5, sizeof buttons);
  const int count = ParseMenuBarRecord(words, size, buttons, kMenuBarButtonsMax);
  std::free(words);

  if (size < 4) {
    Require(count == -1);
    return;
  }
  const std::size_t announced = WordAt(data, 1);
  const bool whole = size >= 4 + announced * 14;
  Require(count == (whole ? static_cast<int>(announced < kMenuBarButtonsMax ? announced : kMenuBarButtonsMax) : -1));
  for (int i = 0; i < count; ++i) {
    const std::size_t at = 2 + static_cast<std::size_t>(i) * 7;
    Require(buttons[i].image == WordAt(data, at) && buttons[i].command == WordAt(data, at + 1) &&
            buttons[i].caption == WordAt(data, at + 4) && buttons[i].subMenu == WordAt(data, at + 6));
  }
  Require(buttons[kMenuBarButtonsMax].command == 0xA5A5);  // nothing written past the capacity
}

// The offset after the text-or-number field at `offset` of a template that
// the reader accepted (so the field ends within it).
std::size_t FieldEnd(const std::uint8_t* t, std::size_t offset) {
  if (WordAt(t + offset, 0) == 0xFFFF) return offset + 4;
  while (WordAt(t + offset, 0) != 0) offset += 2;
  return offset + 2;
}

void CheckDialog(const std::uint8_t* data, std::size_t size) {
  static std::uint8_t out[kTemplateCapacity];
  static std::uint8_t again[kTemplateCapacity];
  const std::size_t made = ParseDialogTemplate(data, size, out, sizeof out);
  if (made == 0) return;
  Require(size >= 18 && made <= sizeof out);
  std::uint32_t style = 0;
  std::memcpy(&style, data, 4);
  Require((style >> 16) != 0xFFFF);
  if ((style & kTemplateHasFont) == 0) {
    Require(made == size && std::memcmp(out, data, size) == 0);
  } else {
    std::size_t face = 18;
    for (int field = 0; field < 3; ++field) face = FieldEnd(out, face);  // menu, class, title
    face += 2;                                                          // the point size
    Require(std::memcmp(out, data, face - 2) == 0);  // the header and the fields before the font
    const bool system = face + 14 <= size && std::memcmp(data + face, u"System", 14) == 0;
    if (system) {
      Require(std::memcmp(out + face, kHandheldDialogFace, sizeof kHandheldDialogFace) == 0);
      Require(WordAt(out + face - 2, 0) == kHandheldDialogPointSize);
    }
    // After the face and its padding to a DWORD, the input's items follow.
    const std::size_t faceEnd = FieldEnd(out, face);
    const std::size_t items = (faceEnd + 3) & ~std::size_t{3};
    Require(faceEnd <= made && items <= made);
    for (std::size_t k = faceEnd; k < items; ++k) Require(out[k] == 0);
    const std::size_t tail = made - items;
    Require(tail < size && (tail == 0 || std::memcmp(out + items, data + size - tail, tail) == 0));
  }
  // The rewritten template is the handheld's already: a second pass keeps it.
  Require(ParseDialogTemplate(out, made, again, sizeof again) == made);
  Require(std::memcmp(out, again, made) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckMenuBar(data, size);
  CheckDialog(data, size);
  return 0;
}
