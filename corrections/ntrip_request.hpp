// What an NTRIP client sends a caster: one request for a mountpoint's
// corrections or for the caster's table, written in version 2's form, which
// version 1 casters answer in their own. Every caster sees a User-Agent
// beginning "NTRIP Trelvane/": some drop a client without one.
#pragma once

#include <cstddef>

namespace trelvane::corrections {

constexpr const char* kUserAgent = "NTRIP Trelvane/1.0";

// A bounded text under construction; Ok() turns false once anything did not fit.
class RequestText {
 public:
  RequestText(char* out, int capacity) : out_(out), capacity_(capacity) {
    if (capacity_ > 0) out_[0] = '\0';
  }
  void Add(const char* text) {
    for (; *text != '\0'; ++text) Put(*text);
  }
  void AddNumber(unsigned value) {
    char digits[12];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (n > 0) Put(digits[--n]);
  }
  // `text` in base64 (RFC 4648, padded), as Basic authorization wants it.
  void AddBase64(const char* text) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t count = 0;
    while (bytes[count] != 0) ++count;
    for (std::size_t i = 0; i < count; i += 3) {
      const unsigned a = bytes[i];
      const unsigned b = i + 1 < count ? bytes[i + 1] : 0;
      const unsigned c = i + 2 < count ? bytes[i + 2] : 0;
      const unsigned group = (a << 16) | (b << 8) | c;
      Put(kAlphabet[(group >> 18) & 63]);
      Put(kAlphabet[(group >> 12) & 63]);
      Put(i + 1 < count ? kAlphabet[(group >> 6) & 63] : '=');
      Put(i + 2 < count ? kAlphabet[group & 63] : '=');
    }
  }
  bool Ok() const { return ok_; }
  int Length() const { return length_; }

 private:
  void Put(char c) {
    if (length_ + 1 >= capacity_) {
      ok_ = false;
      return;
    }
    out_[length_++] = c;
    out_[length_] = '\0';
  }

  char* out_;
  int capacity_;
  int length_ = 0;
  bool ok_ = true;
};

struct CasterLogin {
  const char* host = "";
  unsigned port = 2101;
  const char* mountpoint = "";  // empty: the caster's table
  const char* user = "";        // empty: no Authorization
  const char* password = "";
};

// Writes the request into `out` (zero-terminated); answers its length, or 0
// when it does not fit in `capacity` or a name holds a character that would
// break the request's lines.
// A mountpoint a request can carry as it stands: no space, no control
// character (a request that cannot be built is the user's to mend, not the
// caster's to be asked again).
inline bool MountpointFits(const char* mountpoint) {
  for (const char* c = mountpoint; *c != '\0'; ++c) {
    if (static_cast<unsigned char>(*c) <= ' ' || *c == 0x7F) return false;
  }
  return true;
}

// Zeroes `count` bytes at `bytes` in a way the compiler keeps: what held a
// password or its encoding does not linger in memory.
inline void WipeBytes(char* bytes, std::size_t count) {
  volatile char* wiped = bytes;
  while (count-- > 0) *wiped++ = 0;
}

inline int BuildRequest(const CasterLogin& login, char* out, int capacity) {
  if (!MountpointFits(login.mountpoint)) return 0;
  for (const char* name : {login.host, login.mountpoint, login.user, login.password}) {
    for (const char* c = name; *c != '\0'; ++c) {
      if (*c == '\r' || *c == '\n' || (*c == ' ' && name != login.password && name != login.user)) return 0;
    }
  }
  RequestText text(out, capacity);
  text.Add("GET /");
  text.Add(login.mountpoint);
  text.Add(" HTTP/1.1\r\nHost: ");
  text.Add(login.host);
  text.Add(":");
  text.AddNumber(login.port);
  text.Add("\r\nNtrip-Version: Ntrip/2.0\r\nUser-Agent: ");
  text.Add(kUserAgent);
  text.Add("\r\n");
  if (login.user[0] != '\0') {
    char credentials[256];
    RequestText pair(credentials, sizeof credentials);
    pair.Add(login.user);
    pair.Add(":");
    pair.Add(login.password);
    const bool paired = pair.Ok();
    if (paired) {
      text.Add("Authorization: Basic ");
      text.AddBase64(credentials);
      text.Add("\r\n");
    }
    WipeBytes(credentials, sizeof credentials);
    if (!paired) return 0;
  }
  text.Add("Connection: close\r\n\r\n");
  return text.Ok() ? text.Length() : 0;
}

}  // namespace trelvane::corrections
