#include "base/resource_source.h"

namespace ostrel {

std::wstring ResourceIdName(unsigned id) { return L"#" + std::to_wstring(id); }

std::string_view ModuleResourceSource::Load(std::wstring_view type, std::wstring_view name) const {
  std::wstring type_text(type);
  std::wstring name_text(name);
  HRSRC info = ::FindResourceW(module_, name_text.c_str(), type_text.c_str());
  if (!info) return {};
  HGLOBAL handle = ::LoadResource(module_, info);
  if (!handle) return {};
  const void* data = ::LockResource(handle);
  DWORD size = ::SizeofResource(module_, info);
  if (!data || size == 0) return {};
  return std::string_view(static_cast<const char*>(data), size);
}

const ResourceSource& OwnModuleResources() {
  static const ModuleResourceSource source(::GetModuleHandleW(nullptr));
  return source;
}

std::string_view InMemoryResourceSource::Load(std::wstring_view type, std::wstring_view name) const {
  auto found = resources_.find({std::wstring(type), std::wstring(name)});
  if (found == resources_.end()) return {};
  return found->second;
}

std::string LoadBinResource(std::wstring_view name) {
  return std::string(OwnModuleResources().Load(kBinaryResourceType, name));
}

std::string LoadBinResource(unsigned id) { return LoadBinResource(ResourceIdName(id)); }

bool HasBinResource(unsigned id) { return !OwnModuleResources().Load(kBinaryResourceType, ResourceIdName(id)).empty(); }

}  // namespace ostrel
