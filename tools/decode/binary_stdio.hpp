// Puts standard input and output into binary mode where the C runtime would
// otherwise translate CR LF (Windows); elsewhere there is nothing to do.
#pragma once

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <cstdio>
#endif

namespace trelvane::decode {

inline void UseBinaryStdio() {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

}  // namespace trelvane::decode
