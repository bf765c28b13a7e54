// test_helper commands for the localised texts.
//   show-cpu-message <installer exe> <language id> sse2|sse3
//       Shows the unsupported-processor message box as the installer would,
//       with the texts of the installer's string tables in that language;
//       returns when it is closed. For screenshots of every language.
#include <windows.h>

#include <string>

#include "app/entry_point.h"
#include "base/scoped_handle.h"
#include "base/string_number_conversions.h"
#include "base/utf_string_conversions.h"
#include "testing/helper_commands.h"

namespace ostrel::testing {
namespace {

int ShowCpuMessage(const std::vector<std::wstring>& a) {
  uint32_t language = 0;
  if (a.size() < 3 || !StringToUint32(WideToUtf8(a[1]), &language) || (a[2] != L"sse2" && a[2] != L"sse3"))
    return 2;
  MissingProcessorFeature missing = a[2] == L"sse2" ? MissingProcessorFeature::kSse2 : MissingProcessorFeature::kSse3;
  ScopedLibrary installer(
      ::LoadLibraryExW(a[0].c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!installer.IsValid()) return 3;
  CpuMessage message = CpuNotSupportedMessage(missing, static_cast<LANGID>(language), installer.Get());
  ::MessageBoxW(nullptr, message.text.c_str(), message.caption.c_str(), MB_OK);
  return 0;
}

HelperCommandRegistrar show_cpu_message(L"show-cpu-message", ShowCpuMessage);

}  // namespace
}  // namespace ostrel::testing
