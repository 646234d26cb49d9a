// trelvane-decode's output: the one JSON writer (monitor/json_text.hpp)
// streaming through a 64 KiB buffer into a file, flushed when full and at
// the end.
#pragma once

#include <cstdio>

#include "monitor/json_text.hpp"

namespace trelvane::decode {

class JsonFile {
 public:
  explicit JsonFile(std::FILE* out) : out_(out) {}
  ~JsonFile() { Flush(); }
  JsonFile(const JsonFile&) = delete;
  JsonFile& operator=(const JsonFile&) = delete;

  monitor::JsonText& Text() { return text_; }

  // Writes out what is buffered; false when any output failed.
  bool Flush() { return text_.Flush() && std::fflush(out_) == 0; }

 private:
  static bool Write(void* self, const char* bytes, int length) {
    std::FILE* out = static_cast<JsonFile*>(self)->out_;
    return std::fwrite(bytes, 1, static_cast<std::size_t>(length), out) == static_cast<std::size_t>(length);
  }

  std::FILE* out_;
  char buffer_[1 << 16];
  monitor::JsonText text_{buffer_, sizeof buffer_, monitor::JsonText::Drain{&Write, this}};
};

}  // namespace trelvane::decode
