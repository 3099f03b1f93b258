#pragma once
// Shared by the libFuzzer targets: one input cut into the several texts a target needs.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace chengling {

// `data` cut at each 1E byte (the record separator, which no seed text uses) into exactly `count`
// parts: missing parts are empty, the last part keeps any further separators.
inline std::vector<std::string_view> fuzzParts(const uint8_t* data, size_t size, size_t count) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < count) {
    const size_t cut = rest.find('\x1e');
    if (cut == std::string_view::npos) break;
    parts.push_back(rest.substr(0, cut));
    rest.remove_prefix(cut + 1);
  }
  parts.push_back(rest);
  parts.resize(count);
  return parts;
}

}  // namespace chengling
