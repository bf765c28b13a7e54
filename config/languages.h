// The user-interface languages: codes ("ru", "pt-BR", ...) and their Windows
// language identifiers, with "en" / 1033 as the fallback both ways.
#ifndef CONFIG_LANGUAGES_H_
#define CONFIG_LANGUAGES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel {

inline constexpr uint32_t kFallbackLanguageId = 1033;
inline constexpr char kFallbackLanguageCode[] = "en";

// Exact, case-sensitive match; anything else (the empty code too) is 1033.
uint32_t LanguageIdFromCode(std::string_view code);

// The code of a full language identifier (not only its primary language);
// "en" for any identifier not in the table.
std::string LanguageCodeFromId(uint32_t language_id);

// The code of the user's UI language (OS facts).
std::string UserUiLanguageCode();

}  // namespace ostrel

#endif  // CONFIG_LANGUAGES_H_
