// Reads a bundled receiver capture whole (tests and benchmarks).
#pragma once

#include <cstdio>
#include <string>

namespace trelvane::testing {

// The capture's bytes, or an empty string when it cannot be read.
inline std::string ReadCapture(const std::string& name) {
  const std::string path = std::string(TRELVANE_CAPTURE_DIR) + "/" + name;
  std::string bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, got);
    std::fclose(f);
  }
  return bytes;
}

}  // namespace trelvane::testing
