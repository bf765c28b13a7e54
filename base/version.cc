#include "base/version.h"

#include <algorithm>

#include "base/string_number_conversions.h"

namespace ostrel {

Version::Version(std::string_view text) {
  std::vector<uint32_t> components;
  size_t position = 0;
  while (true) {
    size_t end = text.find('.', position);
    std::string_view part = text.substr(position, end == std::string_view::npos ? text.npos : end - position);
    if (part.empty()) return;
    uint32_t value = 0;
    if (!StringToUint32(part, &value)) return;
    components.push_back(value);
    if (end == std::string_view::npos) break;
    position = end + 1;
  }
  components_ = std::move(components);
}

int Version::CompareTo(const Version& other) const {
  size_t count = std::max(components_.size(), other.components_.size());
  for (size_t i = 0; i < count; ++i) {
    uint32_t mine = i < components_.size() ? components_[i] : 0;
    uint32_t theirs = i < other.components_.size() ? other.components_[i] : 0;
    if (mine != theirs) return mine < theirs ? -1 : 1;
  }
  return 0;
}

std::string Version::ToString() const {
  std::string text;
  for (size_t i = 0; i < components_.size(); ++i) {
    if (i) text += '.';
    text += std::to_string(components_[i]);
  }
  return text;
}

}  // namespace ostrel
