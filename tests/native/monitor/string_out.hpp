// What the track's and the history's writers write, kept in a string.
#pragma once

#include <cstddef>
#include <string>

namespace trelvane::testing {

struct StringOut {
  std::string text;
  bool Write(const char* bytes, std::size_t count) {
    text.append(bytes, count);
    return true;
  }
};

}  // namespace trelvane::testing
