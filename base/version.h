// Dotted version numbers ("6.1.7601.24000"): parsing and ordering. Pure.
#ifndef BASE_VERSION_H_
#define BASE_VERSION_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel {

class Version {
 public:
  // An invalid version.
  Version() = default;
  // Components of decimal digits separated by single dots, each below 2^32;
  // anything else (empty text, signs, spaces, empty components) is invalid.
  explicit Version(std::string_view text);
  explicit Version(std::vector<uint32_t> components) : components_(std::move(components)) {}

  bool IsValid() const { return !components_.empty(); }
  const std::vector<uint32_t>& components() const { return components_; }

  // Component by component; missing trailing components count as 0, so
  // 6.1 equals 6.1.0.0. Both versions must be valid.
  int CompareTo(const Version& other) const;

  // "a.b.c"; empty when invalid.
  std::string ToString() const;

 private:
  std::vector<uint32_t> components_;
};

inline bool operator==(const Version& a, const Version& b) { return a.CompareTo(b) == 0; }
inline bool operator<(const Version& a, const Version& b) { return a.CompareTo(b) < 0; }
inline bool operator>(const Version& a, const Version& b) { return a.CompareTo(b) > 0; }
inline bool operator>=(const Version& a, const Version& b) { return a.CompareTo(b) >= 0; }

}  // namespace ostrel

#endif  // BASE_VERSION_H_
