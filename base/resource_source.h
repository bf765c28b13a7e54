// Where the data the executable carries comes from: the resources of a module
// (the running executable in production). Tests hand in other sources, so
// every package path can be exercised without rebuilding the executable's
// resources.
#ifndef BASE_RESOURCE_SOURCE_H_
#define BASE_RESOURCE_SOURCE_H_

#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace ostrel {

// Resource type of every package and data file.
inline constexpr wchar_t kBinaryResourceType[] = L"BIN";

// A resource name as FindResourceW takes it: text, or "#" + decimal id.
std::wstring ResourceIdName(unsigned id);

class ResourceSource {
 public:
  virtual ~ResourceSource() = default;
  // The bytes of resource `name` of `type`; empty when it is missing or
  // empty (both mean "absent" to every caller). The view lives as long as
  // the source.
  virtual std::string_view Load(std::wstring_view type, std::wstring_view name) const = 0;
};

// Resources of a loaded module (FindResourceW, LoadResource, LockResource,
// SizeofResource). The module must outlive the source.
class ModuleResourceSource : public ResourceSource {
 public:
  explicit ModuleResourceSource(HMODULE module) : module_(module) {}
  std::string_view Load(std::wstring_view type, std::wstring_view name) const override;

 private:
  HMODULE module_;
};

// The running executable's own resources.
const ResourceSource& OwnModuleResources();

// Resources held in memory, keyed by type and name (tests).
class InMemoryResourceSource : public ResourceSource {
 public:
  void Set(std::wstring type, std::wstring name, std::string bytes) {
    resources_[{std::move(type), std::move(name)}] = std::move(bytes);
  }
  std::string_view Load(std::wstring_view type, std::wstring_view name) const override;

 private:
  std::map<std::pair<std::wstring, std::wstring>, std::string> resources_;
};

// The bytes of the running executable's "BIN" resource `name` (text, or "#"
// and a decimal id); empty when it is missing or empty.
std::string LoadBinResource(std::wstring_view name);
std::string LoadBinResource(unsigned id);
bool HasBinResource(unsigned id);

}  // namespace ostrel

#endif  // BASE_RESOURCE_SOURCE_H_
