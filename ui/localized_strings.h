// Texts of the user interface from the executable's string tables.
#ifndef UI_LOCALIZED_STRINGS_H_
#define UI_LOCALIZED_STRINGS_H_

#include <windows.h>

#include <string>

namespace ostrel {

// The text of `id` in `language`; empty when that table or entry is missing.
std::wstring LoadUiString(int id, LANGID language);

}  // namespace ostrel

#endif  // UI_LOCALIZED_STRINGS_H_
