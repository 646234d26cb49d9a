#include "ce/menu_bar_record.hpp"

namespace trelvane::ce {

namespace {

constexpr std::size_t kRecordHeaderWords = 2;
constexpr std::size_t kWordsPerButton = sizeof(MenuBarButton) / sizeof(std::uint16_t);
static_assert(kWordsPerButton == 7, "a button is seven words in the record");

}  // namespace

int ParseMenuBarRecord(const std::uint16_t* words, std::size_t bytes, MenuBarButton* buttons, int capacity) {
  if (words == nullptr || bytes < kRecordHeaderWords * sizeof(std::uint16_t)) return -1;
  const std::size_t announced = words[1];
  // A record shorter than the buttons it announces is refused whole, never read past.
  if (bytes < (kRecordHeaderWords + announced * kWordsPerButton) * sizeof(std::uint16_t)) return -1;
  if (capacity <= 0) return 0;
  const int count = announced < static_cast<std::size_t>(capacity) ? static_cast<int>(announced) : capacity;
  for (int i = 0; i < count; ++i) {
    const std::uint16_t* w = words + kRecordHeaderWords + static_cast<std::size_t>(i) * kWordsPerButton;
    buttons[i] = MenuBarButton{w[0], w[1], w[2], w[3], w[4], w[5], w[6]};
  }
  return count;
}

}  // namespace trelvane::ce
