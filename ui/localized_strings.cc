#include "ui/localized_strings.h"

namespace ostrel {

std::wstring LoadUiString(int id, LANGID language) {
  if (id < 0) return {};
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC resource = ::FindResourceExW(module, MAKEINTRESOURCEW(6) /* RT_STRING */,
                                     MAKEINTRESOURCEW(id / 16 + 1), language);
  if (!resource) return {};
  HGLOBAL loaded = ::LoadResource(module, resource);
  const auto* entry = loaded ? static_cast<const wchar_t*>(::LockResource(loaded)) : nullptr;
  if (!entry) return {};
  DWORD units = ::SizeofResource(module, resource) / sizeof(wchar_t);
  const wchar_t* end = entry + units;
  for (int index = 0; index < id % 16; ++index) {
    if (entry >= end) return {};
    entry += 1 + *entry;
  }
  if (entry >= end || entry + 1 + *entry > end) return {};
  return std::wstring(entry + 1, *entry);
}

}  // namespace ostrel
