// Stands in for the handheld information page's edit controls: keeps the text
// last set into each readout control.
#pragma once

#include "nmea/field_table.hpp"
#include "nmea/readout.hpp"
#include "nmea/text.hpp"

namespace trelvane::decode {

template <class Ch>
class RecordedControls final : public nmea::ReadoutControls<Ch> {
 public:
  void SetControlText(int controlId, const Ch* text) override {
    const int index = controlId - nmea::kIdcDate;
    if (index < 0 || index >= kControls) return;
    nmea::CopyText(texts_[index], nmea::kSlotChars, text);
  }

  const Ch* Text(nmea::ReadoutField field) const { return texts_[nmea::ReadoutControlId(field) - nmea::kIdcDate]; }

 private:
  static constexpr int kControls = nmea::kIdcLat - nmea::kIdcDate + 1;
  Ch texts_[kControls][nmea::kSlotChars] = {};
};

}  // namespace trelvane::decode
