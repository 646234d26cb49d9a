// Where a network receiver is: "tcp://HOST:PORT" (a serial-to-network
// bridge, another monitor's share port), "udp://:PORT" (a multiplexer's
// broadcast, heard on this computer's PORT on every interface) or
// "udp://ADDRESS:PORT" (heard only on this computer's ADDRESS:
// udp://127.0.0.1:PORT hears only programs on this computer). Portable.
#pragma once

#include <cstring>

namespace trelvane::net {

struct NetworkSource {
  bool tcp = true;
  char host[128] = {};  // for UDP, the local address heard on; empty: every interface
  unsigned port = 0;
};

// Reads `text` (zero-terminated, of any character type) into `source`;
// false for anything else, a port outside 1-65535 included.
template <class Ch>
bool ParseNetworkSource(const Ch* text, NetworkSource& source) {
  NetworkSource read;
  auto starts = [&](const char* prefix) {
    for (int i = 0; prefix[i] != '\0'; ++i) {
      if (text[i] != Ch(prefix[i])) return false;
    }
    return true;
  };
  int at = 0;
  if (starts("tcp://")) {
    read.tcp = true;
  } else if (starts("udp://")) {
    read.tcp = false;
  } else {
    return false;
  }
  at = 6;
  int n = 0;
  for (; text[at] != Ch(0) && text[at] != Ch(':'); ++at) {
    const auto c = static_cast<unsigned long>(text[at]);
    if (n >= static_cast<int>(sizeof read.host) - 1 || c <= ' ' || c >= 0x7F || c == '/' || c == '@') return false;
    read.host[n++] = static_cast<char>(c);
  }
  read.host[n] = '\0';
  if (text[at] != Ch(':') || (read.tcp && n == 0)) return false;
  ++at;
  unsigned long port = 0;
  int digits = 0;
  for (; text[at] >= Ch('0') && text[at] <= Ch('9') && digits < 6; ++at, ++digits) {
    port = port * 10 + static_cast<unsigned long>(text[at] - Ch('0'));
  }
  if (digits == 0 || text[at] != Ch(0) || port == 0 || port > 65535) return false;
  read.port = static_cast<unsigned>(port);
  source = read;
  return true;
}

}  // namespace trelvane::net
