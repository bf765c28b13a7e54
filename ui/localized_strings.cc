#include "ui/localized_strings.h"

namespace ostrel {
namespace {

// RT_STRING resources hold the texts in bundles of 16: bundle id / 16 + 1,
// position id % 16, each entry a length in UTF-16 units and that many units.
constexpr int kBundleSize = 16;

}  // namespace

std::wstring LoadUiString(int id, LANGID language) { return LoadUiString(::GetModuleHandleW(nullptr), id, language); }

std::wstring LoadUiString(HMODULE module, int id, LANGID language) {
  if (id < 0 || id > 0xFFFF) return std::wstring();
  HRSRC info = ::FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / kBundleSize + 1), language);
  if (!info) return std::wstring();
  HGLOBAL handle = ::LoadResource(module, info);
  if (!handle) return std::wstring();
  const auto* units = static_cast<const wchar_t*>(::LockResource(handle));
  if (!units) return std::wstring();
  // The walk stays inside the resource: a truncated or damaged bundle gives
  // empty texts instead of a read past its end.
  const size_t size = ::SizeofResource(module, info) / sizeof(wchar_t);
  size_t offset = 0;
  for (int position = 0; position < id % kBundleSize; ++position) {
    if (offset >= size) return std::wstring();
    offset += 1 + static_cast<size_t>(units[offset]);
  }
  if (offset >= size) return std::wstring();
  const size_t length = units[offset];
  if (length > size - offset - 1) return std::wstring();
  return std::wstring(units + offset + 1, length);
}

}  // namespace ostrel
