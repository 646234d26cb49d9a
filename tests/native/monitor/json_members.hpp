// Whether a JSON object has the members an expectation names, for the tests
// of what the shared receiver writes.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace trelvane::testing {

// Each member of `expected` is in `object` with the same value, except:
// "key~" names a text that member must contain, "!key" a member that must
// be absent, and an array of objects holds the members of the first few
// objects of that array.
inline bool HasMembers(const nlohmann::json& object, const nlohmann::json& expected) {
  for (const auto& [key, value] : expected.items()) {
    if (key[0] == '!') {
      if (object.contains(key.substr(1))) return false;
    } else if (key.back() == '~') {
      const std::string name = key.substr(0, key.size() - 1);
      if (!object.contains(name)) return false;
      if (object[name].get<std::string>().find(value.get<std::string>()) == std::string::npos) return false;
    } else if (value.is_array() && !value.empty() && value[0].is_object()) {
      if (!object.contains(key) || !object[key].is_array() || object[key].size() < value.size()) return false;
      for (std::size_t i = 0; i < value.size(); ++i) {
        if (!HasMembers(object[key][i], value[i])) return false;
      }
    } else if (!object.contains(key) || object[key] != value) {
      return false;
    }
  }
  return true;
}

}  // namespace trelvane::testing
