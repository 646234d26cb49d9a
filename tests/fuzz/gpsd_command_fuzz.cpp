// libFuzzer target: arbitrary bytes from a gpsd client of the shared
// receiver through GpsdClient::Take. The first byte chooses how the rest is
// cut into reads (1 to 64 bytes each) and whether a link is open; the rest is
// what the client sends. Besides the sanitizers' checks, every answer must be
// one whole JSON object on one line, ending in CR LF, within
// kGpsdReplyChars, and a client once to be closed must stay so.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <nlohmann/json.hpp>

#include "monitor/gpsd_protocol.hpp"

namespace {

using namespace trelvane;

void CheckAnswer(const char* object, int length) {
  if (length < 2 || length > monitor::kGpsdReplyChars) std::abort();
  if (object[length - 2] != '\r' || object[length - 1] != '\n') std::abort();
  if (std::memchr(object, '\n', static_cast<std::size_t>(length - 1)) != nullptr) std::abort();
  const nlohmann::json answer = nlohmann::json::parse(object, object + length, nullptr, false);
  if (answer.is_discarded() || !answer.is_object() || !answer.contains("class")) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t step = data[0] % 64 + 1;
  const monitor::GpsdView view = (data[0] & 64) != 0
                                     ? monitor::GpsdView{"COM3", "2024-05-01T10:00:00.000Z",
                                                         R"({"class":"TPV","mode":1})", R"({"class":"SKY"})", "now"}
                                     : monitor::GpsdView{"", "", "", "", ""};
  monitor::GpsdClient client;
  bool open = true;
  for (std::size_t at = 1; at < size; at += step) {
    const int count = static_cast<int>(size - at < step ? size - at : step);
    const bool stays = client.Take(reinterpret_cast<const char*>(data) + at, count, view,
                                   [](const char* object, int length) { CheckAnswer(object, length); });
    if (stays && !open) std::abort();
    open = stays;
  }
  return 0;
}
