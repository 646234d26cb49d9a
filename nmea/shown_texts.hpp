// The text each readout control shows, as last set: a sentence that repeats a
// value (the date, the status, the DOPs; at 10 Hz most fields of most fixes)
// leaves its control alone, since every text set costs the control a redraw.
// A text longer than a slot holds is always set, and a set the control may not
// have taken is not remembered. While the page is hidden, the newest text for
// each control can be held instead, and put in when the page shows.
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

  // `text` is what `controlId` is to show once the page shows, replacing
  // what was held for it. False when it cannot be held (too long, or no
  // slot left): the caller sets it at once.
  bool Hold(int controlId, const Ch* text) {
    Slot* slot = Find(controlId);
    if (slot == nullptr) {
      if (count_ == kReadoutFieldCount || !Fits(text)) return false;
      slot = &slots_[count_++];
      slot->controlId = controlId;
    }
    if (!Fits(text)) return false;
    slot->held = true;
    CopyText(slot->heldText, kShownChars, text);
    return true;
  }

  // Calls put(controlId, text) for each text held, then holds none. `put`
  // may call Set.
  template <class Put>
  void PutHeld(Put put) {
    for (int i = 0; i < count_; ++i) {
      if (!slots_[i].held) continue;
      slots_[i].held = false;
      put(slots_[i].controlId, static_cast<const Ch*>(slots_[i].heldText));
    }
  }

 private:
  struct Slot {
    int controlId = 0;
    bool known = false;
    Ch text[kShownChars] = {};
    bool held = false;  // heldText waits for the page to show
    Ch heldText[kShownChars] = {};
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
