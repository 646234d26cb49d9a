// The registry values both port lists are made from, read as plain bytes so
// that they are built and fuzzed natively too; the desktop's scan dialog and
// the handheld's port list do the registry calls and hand the bytes here.
//
// - The desktop lists the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: each
//   value's data is a port name such as "COM3".
// - The handheld lists its active drivers (HKLM\Drivers\Active\NN): a driver
//   is a COM port when its Name holds "COM"; its description is its PnpId,
//   else the last part of its Key.
// A stored value need not end in a zero, nor hold text at all: each reader
// cuts it at the bytes the registry returned and at its own buffer.
#pragma once

#include <cstddef>
#include <cstring>

#include "link/port_table.hpp"
#include "nmea/text.hpp"

namespace trelvane::link {

// The desktop reads at most this many bytes of a SERIALCOMM value.
constexpr std::size_t kSerialCommValueBytes = 128;

// Writes the port name of a SERIALCOMM value (`dataBytes` bytes at `data`)
// into `name` as the port list shows it, "COM3:": at most 62 characters of
// the value's text, the ":" and the zero. False, with `name` untouched, when
// the text holds no "COM".
inline bool SerialCommPortName(const char* data, std::size_t dataBytes, char (&name)[kPortTextChars]) {
  char text[kSerialCommValueBytes + 1];
  const std::size_t size = dataBytes < kSerialCommValueBytes ? dataBytes : kSerialCommValueBytes;
  if (size > 0) std::memcpy(text, data, size);
  text[size] = '\0';
  if (std::strstr(text, "COM") == nullptr) return false;
  int n = 0;
  while (n < kPortTextChars - 2 && text[n] != '\0') {
    name[n] = text[n];
    ++n;
  }
  name[n++] = ':';
  name[n] = '\0';
  return true;
}

// The handheld reads a driver value into 256 bytes, plus a terminator of our own.
constexpr int kDriverValueChars = 128 + 1;

// One value of a driver key: absent, or its text as read.
template <class Ch>
struct DriverValue {
  bool present = false;
  Ch text[kDriverValueChars] = {};

  // The value of `bytes` bytes at `data`, as the registry returned it: cut
  // to whole characters and to the buffer, and terminated.
  void Set(const Ch* data, std::size_t bytes) {
    std::size_t chars = bytes / sizeof(Ch);
    if (chars > kDriverValueChars - 1) chars = kDriverValueChars - 1;
    for (std::size_t i = 0; i < chars; ++i) text[i] = data[i];
    text[chars] = Ch(0);
    present = true;
  }
};

// The text after the last "\" of a driver's Key; a "\" in first place does
// not count, and without one the whole Key is the description.
template <class Ch>
const Ch* DriverKeyLastPart(const Ch* key) {
  for (int i = nmea::TextLength(key, kDriverValueChars) - 1; i >= 1; --i) {
    if (key[i] == Ch('\\')) return key + i + 1;
  }
  return key;
}

// Makes a port list entry of one active driver: its Name into `portName` and
// its PnpId, else the last part of its Key, into `description`, each cut to
// fit. False when the driver is no COM port to list (no Name holding "COM",
// or neither PnpId nor Key); the fields are then not to be used.
template <class Ch, int N>
bool ActiveDriverPort(const DriverValue<Ch>& name, const DriverValue<Ch>& pnpId, const DriverValue<Ch>& key,
                      Ch (&portName)[N], Ch (&description)[N]) {
  if (!name.present || !nmea::ContainsAscii(name.text, "COM")) return false;
  nmea::CopyText(portName, N, name.text);
  if (pnpId.present) {
    nmea::CopyText(description, N, pnpId.text);
    return true;
  }
  if (!key.present) return false;
  nmea::CopyText(description, N, DriverKeyLastPart(key.text));
  return true;
}

}  // namespace trelvane::link
