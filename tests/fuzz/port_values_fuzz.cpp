// libFuzzer target: arbitrary bytes as the registry values behind both port
// lists. The whole input is a desktop SERIALCOMM value; it is also cut into
// a handheld driver's Name, PnpId and Key (the first byte says which are
// present, the next two how long Name and PnpId are; Key is the rest), each
// in a buffer of exactly its size. Checks that a listed name is the value's
// text cut to fit with ":" after it and holds "COM", that an unlisted one
// leaves the entry alone, and that a driver entry is its Name and its PnpId,
// or the end of its Key, cut to the entry's fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "link/port_list_values.hpp"

namespace {

using namespace trelvane;

constexpr int kEntryChars = 64;  // the handheld's PortInfo fields

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckSerialComm(const std::uint8_t* data, std::size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  std::string_view text(bytes, size < link::kSerialCommValueBytes ? size : link::kSerialCommValueBytes);
  text = text.substr(0, text.find('\0'));
  char name[link::kPortTextChars];
  std::memset(name, 0x5A, sizeof name);
  if (!link::SerialCommPortName(bytes, size, name)) {
    Require(text.find("COM") == std::string_view::npos);
    for (char c : name) Require(c == 0x5A);
    return;
  }
  Require(text.find("COM") != std::string_view::npos);
  const std::size_t length = std::strlen(name);  // stops within name, or ASan says so
  Require(length >= 1 && length <= 63 && name[length - 1] == ':');
  const std::size_t kept = text.size() < 62 ? text.size() : 62;  // 62 characters, ":" and the zero
  Require(length - 1 == kept && text.substr(0, kept) == std::string_view(name, kept));
}

template <class Ch>
int Length(const Ch* text, int capacity) {
  const int n = nmea::TextLength(text, capacity);
  Require(n < capacity);  // terminated within its buffer
  return n;
}

// How much of a value's text an entry field keeps.
int CutLength(const char16_t* text) {
  const int n = Length(text, link::kDriverValueChars);
  return n < kEntryChars - 1 ? n : kEntryChars - 1;
}

template <class Ch>
bool StartsWith(const Ch* text, const Ch* prefix, int n) {
  for (int i = 0; i < n; ++i) {
    if (text[i] != prefix[i]) return false;
  }
  return true;
}

// Value `value` from `size` bytes of `data`, through a buffer of exactly that size.
void SetValue(link::DriverValue<char16_t>& value, const std::uint8_t* data, std::size_t size) {
  void* copy = std::malloc(size == 0 ? 1 : size);
  if (size > 0) std::memcpy(copy, data, size);
  value.Set(static_cast<const char16_t*>(copy), size);
  std::free(copy);
  const int chars = Length(value.text, link::kDriverValueChars);
  Require(static_cast<std::size_t>(chars) <= size / 2);
}

void CheckActiveDriver(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return;
  const unsigned present = data[0];
  std::size_t nameBytes = data[1];
  std::size_t pnpBytes = data[2];
  data += 3;
  size -= 3;
  if (nameBytes > size) nameBytes = size;
  if (pnpBytes > size - nameBytes) pnpBytes = size - nameBytes;
  link::DriverValue<char16_t> name, pnpId, key;
  if (present & 1) SetValue(name, data, nameBytes);
  if (present & 2) SetValue(pnpId, data + nameBytes, pnpBytes);
  if (present & 4) SetValue(key, data + nameBytes + pnpBytes, size - nameBytes - pnpBytes);

  char16_t port[kEntryChars];
  char16_t description[kEntryChars];
  const bool listed = link::ActiveDriverPort(name, pnpId, key, port, description);
  const bool com = name.present && nmea::ContainsAscii(name.text, "COM");
  Require(listed == (com && (pnpId.present || key.present)));
  if (!listed) return;
  const int portChars = Length(port, kEntryChars);
  Require(portChars == CutLength(name.text) && StartsWith(name.text, port, portChars));
  const char16_t* source = pnpId.present ? pnpId.text : link::DriverKeyLastPart(key.text);
  const int descriptionChars = Length(description, kEntryChars);
  Require(descriptionChars == CutLength(source) && StartsWith(source, description, descriptionChars));
  // Without a PnpId: the whole Key, or what follows a "\" past its first place.
  if (!pnpId.present && source != key.text) Require(source - 1 > key.text && source[-1] == u'\\');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckSerialComm(data, size);
  CheckActiveDriver(data, size);
  return 0;
}
