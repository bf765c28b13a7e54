// The installer's texts: string tables in the executable's resources, one per
// language, always read in an explicit language.
#ifndef UI_LOCALIZED_STRINGS_H_
#define UI_LOCALIZED_STRINGS_H_

#include <windows.h>

#include <string>

namespace ostrel {

// Text `id` in `language` from the running executable's tables; empty when
// the language, the bundle or the entry is missing. There is no fallback to
// another language: a text missing in one language stays missing.
std::wstring LoadUiString(int id, LANGID language);

// The same from the tables of `module` (an executable loaded as data).
std::wstring LoadUiString(HMODULE module, int id, LANGID language);

}  // namespace ostrel

#endif  // UI_LOCALIZED_STRINGS_H_
