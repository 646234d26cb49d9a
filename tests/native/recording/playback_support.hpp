// A recording in memory for the playback tests, and the bundled captures.
#pragma once

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "recording/playback_clock.hpp"

namespace trelvane::testing {

struct TextBytes final : recording::PlaybackBytes {
  std::string text;
  std::uint64_t Size() const override { return text.size(); }
  std::size_t Read(std::uint64_t offset, unsigned char* into, std::size_t capacity) override {
    std::memcpy(into, text.data() + offset, capacity);
    return capacity;
  }
};

inline std::string Capture(const char* name) {
  std::ifstream file(std::string(TRELVANE_CAPTURE_DIR "/") + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

}  // namespace trelvane::testing
