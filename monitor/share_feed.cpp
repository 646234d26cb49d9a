#include "monitor/share_feed.hpp"

namespace trelvane::monitor {

GpsdSatelliteId GnssId(nmea::GnssSystem system, int number) {
  switch (system) {
    case nmea::GnssSystem::kGps: return {0, number, number};
    case nmea::GnssSystem::kSbas: return {1, number, number >= 120 && number <= 151 ? number - 87 : number};
    case nmea::GnssSystem::kGalileo: return {2, number, 300 + number};
    case nmea::GnssSystem::kBeidou: return {3, number, 400 + number};
    case nmea::GnssSystem::kQzss: return {5, number, 192 + number};
    case nmea::GnssSystem::kGlonass: return {6, number, 64 + number};
    case nmea::GnssSystem::kNavic: return {7, number, 800 + number};
  }
  return {0, number, number};
}

int GpsdStatus(int quality) {
  static const int kStatus[9] = {0, 1, 2, 9, 3, 4, 5, 7, 8};
  return quality >= 0 && quality <= 8 ? kStatus[quality] : 0;
}

void ShareFeed::LinkOpened(const char* device) {
  int n = 0;
  for (; device != nullptr && n < kShareDeviceChars - 1 && device[n] != 0; ++n) device_[n] = device[n];
  device_[n] = 0;
  cycle_ = Cycle();
  date_ = nmea::Reading();
  intake_ = nullptr;
}

void ShareFeed::Accepted(const char* line, int length, const Intake& intake) {
  intake_ = &intake;
  const nmea::FixSentence fix = intake.lastFix();
  if (fix == nmea::FixSentence::kRmc || fix == nmea::FixSentence::kGga) {
    const nmea::Reading& time = fix == nmea::FixSentence::kRmc ? intake.rmcFix().time : intake.gga().time;
    if (EndsCycle(fix, time)) {
      Report(intake.gnss());
      cycle_ = Cycle();
    }
  }
  sink_.Sentence(line, length);
  Take(intake);
}

void ShareFeed::LinkClosed() {
  if (intake_ != nullptr) Report(intake_->gnss());
  cycle_ = Cycle();
  intake_ = nullptr;
}

void ShareFeed::Sought() {
  cycle_ = Cycle();
  date_ = nmea::Reading();
  intake_ = nullptr;
}

bool ShareFeed::EndsCycle(nmea::FixSentence fix, const nmea::Reading& time) const {
  if (!cycle_.hasRmc && !cycle_.hasGga) return false;  // no fix yet to report
  if (time.present && cycle_.time.present) return std::fabs(time.value - cycle_.time.value) > 0.0005;
  return fix == nmea::FixSentence::kRmc ? cycle_.hasRmc : cycle_.hasGga;
}

void ShareFeed::Take(const Intake& intake) {
  switch (intake.lastFix()) {
    case nmea::FixSentence::kRmc:
      cycle_.rmc = intake.rmcFix();
      cycle_.hasRmc = true;
      TakeTime(cycle_.rmc.time);
      if (cycle_.rmc.date.present && cycle_.rmc.time.present) {
        date_ = cycle_.rmc.date;
        dateTime_ = cycle_.rmc.time.value;
      }
      break;
    case nmea::FixSentence::kGga:
      cycle_.gga = intake.gga();
      cycle_.hasGga = true;
      TakeTime(cycle_.gga.time);
      break;
    case nmea::FixSentence::kGst:
      cycle_.gst = intake.gst();
      cycle_.hasGst = true;
      break;
    case nmea::FixSentence::kNone:
      break;
  }
  if (intake.gsaRead()) {
    cycle_.gsa = intake.gsa();
    cycle_.hasGsa = true;
  }
}

void ShareFeed::TakeTime(const nmea::Reading& time) {
  if (!cycle_.time.present) cycle_.time = time;
}

void ShareFeed::Report(const nmea::GnssView& view) {
  if (!cycle_.hasRmc && !cycle_.hasGga) return;
  int length = FormatTpv();
  if (length != 0) sink_.Report(object_, length);
  length = FormatSky(view);
  if (length != 0) sink_.Report(object_, length);
}

int ShareFeed::Mode() const {
  if (cycle_.hasGsa && cycle_.gsa.mode >= 1) return cycle_.gsa.mode;
  if (cycle_.hasGga && cycle_.gga.quality >= 0) {
    if (cycle_.gga.quality == 0) return 1;
    return cycle_.gga.altitude.present ? 3 : 2;
  }
  if (cycle_.hasRmc) return cycle_.rmc.valid ? 2 : 1;
  return 0;
}

bool ShareFeed::Differential() const {
  const int quality = cycle_.hasGga ? cycle_.gga.quality : -1;
  return quality == 2 || quality == 4 || quality == 5;
}

nmea::Reading ShareFeed::Hdop() const {
  if (cycle_.hasGsa && cycle_.gsa.hdop.present) return cycle_.gsa.hdop;
  return cycle_.hasGga ? cycle_.gga.hdop : nmea::Reading();
}

void ShareFeed::Number(JsonText& json, const char* key, const nmea::Reading& reading, int decimals, double factor) {
  if (!reading.present || !JsonText::Fits(reading.value * factor, decimals)) return;
  json.Key(key);
  json.Fixed(reading.value * factor, decimals);
}

int ShareFeed::FormatTpv() {
  JsonText json(object_, kShareObjectChars);
  json.Raw("{\"class\":\"TPV\",\"device\":");
  json.String(device_, kShareDeviceChars);
  const int mode = Mode();
  if (cycle_.hasGga && cycle_.gga.quality >= 2 && cycle_.gga.quality <= 8) {
    json.Key("status");
    json.Int(GpsdStatus(cycle_.gga.quality));
  }
  json.Key("mode");
  json.Int(mode);
  WriteTime(json);
  if (mode >= 2) {
    const bool gga = cycle_.hasGga && cycle_.gga.latitude.present && cycle_.gga.longitude.present;
    const nmea::Reading& latitude = gga ? cycle_.gga.latitude : cycle_.rmc.latitude;
    const nmea::Reading& longitude = gga ? cycle_.gga.longitude : cycle_.rmc.longitude;
    if (latitude.present && longitude.present) {
      Number(json, "lat", latitude, 9);
      Number(json, "lon", longitude, 9);
    }
  }
  if (mode == 3 && cycle_.hasGga) {
    const nmea::GgaFix& gga = cycle_.gga;
    if (gga.altitude.present && gga.geoidSeparation.present) {
      Number(json, "altHAE", nmea::Reading{gga.altitude.value + gga.geoidSeparation.value, true}, 4);
    }
    Number(json, "altMSL", gga.altitude, 4);
    Number(json, "alt", gga.altitude, 4);
    Number(json, "geoidSep", gga.geoidSeparation, 3);
  }
  if (mode >= 2) WriteErrors(json, mode);
  if (mode >= 2 && cycle_.hasRmc) {
    Number(json, "track", cycle_.rmc.course, 4);
    Number(json, "speed", cycle_.rmc.speed, 3, kMetresPerSecondPerKnot);
  }
  json.Raw("}\r\n");
  return json.Finish();
}

void ShareFeed::WriteErrors(JsonText& json, int mode) {
  const bool differential = Differential();
  Number(json, "eph", Hdop(), 3, differential ? kDifferentialHorizontalUere : kHorizontalUere);
  if (cycle_.hasGst) {
    Number(json, "epx", cycle_.gst.longitudeSigma, 3);
    Number(json, "epy", cycle_.gst.latitudeSigma, 3);
  }
  if (mode != 3) return;
  if (cycle_.hasGst && cycle_.gst.altitudeSigma.present) {
    Number(json, "epv", cycle_.gst.altitudeSigma, 3);
  } else if (cycle_.hasGsa) {
    Number(json, "epv", cycle_.gsa.vdop, 3, differential ? kDifferentialVerticalUere : kVerticalUere);
  }
}

void ShareFeed::WriteTime(JsonText& json) const {
  if (!cycle_.time.present) return;
  nmea::Reading date = cycle_.hasRmc ? cycle_.rmc.date : nmea::Reading();
  if (!date.present && date_.present && cycle_.time.value >= dateTime_) date = date_;
  if (!date.present) return;
  long long ms = std::llround(cycle_.time.value * 1000);
  int second = 0;
  if (ms >= 86400000) {  // a leap second: 23:59:60
    second = 60;
    ms = 86399000 + (ms - 86400000 < 999 ? ms - 86400000 : 999);
  } else {
    second = static_cast<int>(ms / 1000 % 60);
  }
  const long long day = std::llround(date.value);
  json.Key("time");
  json.Raw("\"");
  Digits(json, day / 10000, 4);
  json.Raw("-");
  Digits(json, day / 100 % 100, 2);
  json.Raw("-");
  Digits(json, day % 100, 2);
  json.Raw("T");
  Digits(json, ms / 3600000, 2);
  json.Raw(":");
  Digits(json, ms / 60000 % 60, 2);
  json.Raw(":");
  Digits(json, second, 2);
  json.Raw(".");
  Digits(json, ms % 1000, 3);
  json.Raw("Z\"");
}

void ShareFeed::Digits(JsonText& json, long long value, int width) {
  char digits[8];
  for (int k = width - 1; k >= 0; --k) {
    digits[k] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  json.Raw(digits, width);
}

int ShareFeed::FormatSky(const nmea::GnssView& view) {
  JsonText json(object_, kShareObjectChars);
  json.Raw("{\"class\":\"SKY\",\"device\":");
  json.String(device_, kShareDeviceChars);
  Number(json, "hdop", Hdop(), 2);
  if (cycle_.hasGsa) {
    Number(json, "pdop", cycle_.gsa.pdop, 2);
    Number(json, "vdop", cycle_.gsa.vdop, 2);
  }
  int used = 0;
  for (int i = 0; i < view.Count(); ++i) used += view.At(i).used ? 1 : 0;
  if (view.Count() > 0) {
    json.Key("nSat");
    json.Int(view.Count());
  }
  // Without a GSA the view marks nothing used: GGA's count says how many are.
  if (view.Count() > 0 && cycle_.hasGsa) {
    json.Key("uSat");
    json.Int(used);
  } else if (cycle_.hasGga && cycle_.gga.satellites >= 0) {
    json.Key("uSat");
    json.Int(cycle_.gga.satellites);
  }
  if (view.Count() > 0) {
    json.Key("satellites");
    json.Raw("[");
    for (int i = 0; i < view.Count(); ++i) WriteSatellite(json, view.At(i));
    json.Raw("]");
  }
  json.Raw("}\r\n");
  return json.Finish();
}

void ShareFeed::WriteSatellite(JsonText& json, const nmea::GnssSatellite& satellite) {
  const GpsdSatelliteId id = GnssId(satellite.system, satellite.number);
  json.Separate();
  json.Raw("{");
  json.Key("PRN");
  json.Int(id.prn);
  const struct {
    const char* key;
    int value;
  } measured[] = {{"el", satellite.elevation}, {"az", satellite.azimuth}, {"ss", satellite.snr}};
  for (const auto& m : measured) {
    if (m.value == nmea::kGnssNone) continue;
    json.Key(m.key);
    json.Fixed(m.value, 1);
  }
  json.Key("used");
  json.Bool(satellite.used);
  json.Key("gnssid");
  json.Int(id.gnssid);
  json.Key("svid");
  json.Int(id.svid);
  json.Raw("}");
}

}  // namespace trelvane::monitor
