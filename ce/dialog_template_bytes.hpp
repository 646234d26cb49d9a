// The handheld's dialog templates as bytes: a template in the DIALOG form
// whose font is "System" gets the handheld's small font (8-point Tahoma)
// instead, and nothing else in it changes (dialog_template.hpp says why).
// No Windows call here, so it is built and fuzzed natively too;
// dialog_template.cpp finds the resource and hands its bytes here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trelvane::ce {

// The font a "System" template is given, as UTF-16 text.
constexpr char16_t kHandheldDialogFace[] = u"Tahoma";
constexpr std::uint16_t kHandheldDialogPointSize = 8;
// DS_SETFONT: the template names a font after its title.
constexpr std::uint32_t kTemplateHasFont = 0x40;

// Writes template `bytes` (`size` bytes) into `out` (`capacity` bytes) with
// the handheld's font in place of "System". Returns the bytes of `out` that
// make the template, or 0 when it is malformed (runs past `size`, or is in
// the extended form, which is not the handheld's) or does not fit `out`.
// A template with a font has `out` cleared first, so that every byte of
// `capacity` is defined; one without is copied as it is.
std::size_t ParseDialogTemplate(const std::uint8_t* bytes, std::size_t size, std::uint8_t* out, std::size_t capacity);

}  // namespace trelvane::ce
