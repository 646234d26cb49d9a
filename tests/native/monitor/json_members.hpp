// Whether a JSON object has the members an expectation names: each with the
// same value, except that "key~" names a text the member must contain and
// "!key" a member that must be absent.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace trelvane::testing {

inline bool HasMembers(const nlohmann::json& object, const nlohmann::json& expected) {
  for (const auto& [key, value] : expected.items()) {
    if (key[0] == '!') {
      if (object.contains(key.substr(1))) return false;
      continue;
    }
    const bool part = key.back() == '~';
    const std::string name = part ? key.substr(0, key.size() - 1) : key;
    if (!object.contains(name)) return false;
    if (part ? object[name].get<std::string>().find(value.get<std::string>()) == std::string::npos
             : object[name] != value) {
      return false;
    }
  }
  return true;
}

}  // namespace trelvane::testing
