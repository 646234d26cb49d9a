// The text each readout control shows, as last set: a sentence that repeats a
// value (the date, the status, the DOPs; at 10 Hz most fields of most fixes)
// leaves its control alone, since every text set costs the control a redraw.
// A text longer than a slot holds is always set, and a set the control may not
// have taken is not remembered.
#pragma once

#include "nmea/readout.hpp"
#include "nmea/text.hpp"

namespace trelvane::nmea {

template <class Ch>
class ShownTexts {
 public:
  static constexpr int kShownChars = 32;

  // True when `text` is already what `controlId` shows.
  bool Shows(int controlId, const Ch* text) const {
    const Slot* slot = Find(controlId);
    return slot != nullptr && slot->known && Fits(text) && TextEquals(slot->text, text);
  }

  // `text` was given to `controlId`; `taken` when the control took it.
  void Set(int controlId, const Ch* text, bool taken) {
    Slot* slot = Find(controlId);
    if (slot == nullptr) {
      if (count_ == kReadoutFieldCount) return;
      slot = &slots_[count_++];
      slot->controlId = controlId;
    }
    slot->known = taken && Fits(text);
    if (slot->known) CopyText(slot->text, kShownChars, text);
  }

 private:
  struct Slot {
    int controlId = 0;
    bool known = false;
    Ch text[kShownChars] = {};
  };
  static bool Fits(const Ch* text) { return TextLength(text, kShownChars) < kShownChars; }
  const Slot* Find(int controlId) const {
    for (int i = 0; i < count_; ++i) {
      if (slots_[i].controlId == controlId) return &slots_[i];
    }
    return nullptr;
  }
  Slot* Find(int controlId) { return const_cast<Slot*>(static_cast<const ShownTexts*>(this)->Find(controlId)); }

  Slot slots_[kReadoutFieldCount] = {};
  int count_ = 0;
};

}  // namespace trelvane::nmea
