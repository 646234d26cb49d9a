// The menu-bar record the handheld shell reads from the program's RCDATA
// resource: the menu id, the number of buttons, then seven 16-bit words per
// button. Reading it needs no Windows call, so it is built and fuzzed natively
// too; shell.cpp finds the resource and hands its words here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trelvane::ce {

struct MenuBarButton {
  std::uint16_t image;    // 0xFFFE: no image
  std::uint16_t command;  // WM_COMMAND id sent to the bar's owner
  std::uint16_t state;    // kButtonEnabled
  std::uint16_t style;
  std::uint16_t caption;  // string resource
  std::uint16_t reserved;
  std::uint16_t subMenu;
};
constexpr std::uint16_t kButtonEnabled = 0x0004;
constexpr int kMenuBarButtonsMax = 4;

// Reads the record of `bytes` bytes at `words`. Returns the number of buttons
// read into `buttons` (at most `capacity`; none when `capacity` is not
// positive), or -1 when the record is shorter than its header or than the
// buttons it announces. Never reads a word that is not wholly within `bytes`.
int ParseMenuBarRecord(const std::uint16_t* words, std::size_t bytes, MenuBarButton* buttons, int capacity);

}  // namespace trelvane::ce
