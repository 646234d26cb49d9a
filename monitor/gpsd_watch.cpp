// A gpsd client's WATCH object, read by nlohmann/json: the one place the
// JSON library is used, so that only this file needs it. What a client sends
// is untrusted: the parser is asked not to throw, and whatever it throws all
// the same (out of memory) is caught. The text is at most a command's
// kGpsdCommandChars, which bounds what the parse can take.
#include <nlohmann/json.hpp>

#include "monitor/gpsd_protocol.hpp"

namespace trelvane::monitor {

namespace {

// The WATCH members that are flags.
struct FlagMember {
  const char* name;
  bool GpsdWatch::*flag;
};
constexpr FlagMember kFlags[] = {
    {"enable", &GpsdWatch::enable}, {"json", &GpsdWatch::json},       {"nmea", &GpsdWatch::nmea},
    {"scaled", &GpsdWatch::scaled}, {"timing", &GpsdWatch::timing},   {"split24", &GpsdWatch::split24},
    {"pps", &GpsdWatch::pps},
};

WatchParse Read(const nlohmann::json& object, GpsdWatch& watch, const char*& member) {
  if (!object.is_object()) return WatchParse::kNotObject;
  GpsdWatch next = watch;
  for (const FlagMember& flag : kFlags) {
    const auto found = object.find(flag.name);
    if (found == object.end()) continue;
    if (!found->is_boolean()) {
      member = flag.name;
      return WatchParse::kBadMember;
    }
    next.*flag.flag = found->get<bool>();
  }
  // raw: 0 none, 1 the data as the device sends them, 2 the same in hex.
  if (const auto raw = object.find("raw"); raw != object.end()) {
    if (!raw->is_number_integer() || raw->get<long long>() < 0 || raw->get<long long>() > 2) {
      member = "raw";
      return WatchParse::kBadMember;
    }
    next.raw = static_cast<int>(raw->get<long long>());
  }
  if (const auto device = object.find("device"); device != object.end()) {
    if (!device->is_string() || device->get_ref<const std::string&>().size() >= sizeof next.device) {
      member = "device";
      return WatchParse::kBadMember;
    }
    const std::string& path = device->get_ref<const std::string&>();
    path.copy(next.device, path.size());
    next.device[path.size()] = 0;
  }
  watch = next;
  return WatchParse::kRead;
}

}  // namespace

WatchParse ParseWatch(const char* text, int length, GpsdWatch& watch, const char*& member) {
  try {
    const nlohmann::json object = nlohmann::json::parse(text, text + length, nullptr, false);
    if (object.is_discarded()) return WatchParse::kNotJson;
    return Read(object, watch, member);
  } catch (...) {
    return WatchParse::kNotJson;
  }
}

}  // namespace trelvane::monitor
