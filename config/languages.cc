#include "config/languages.h"

#include "base/os_facts.h"

namespace ostrel {
namespace {

struct Language {
  const char* code;
  uint32_t id;
};

constexpr Language kLanguages[] = {
    {"ru", 1049},    {"uk", 1058},    {"tr", 1055},    {"de", 1031},    {"es", 3082},
    {"fr", 1036},    {"it", 1040},    {"ja", 1041},    {"kk", 1087},    {"uz", 1091},
    {"cs", 1029},    {"pt-PT", 2070}, {"pt-BR", 1046}, {"zh-CN", 2052}, {"zh-TW", 1028},
};

}  // namespace

uint32_t LanguageIdFromCode(std::string_view code) {
  for (const Language& language : kLanguages) {
    if (code == language.code) return language.id;
  }
  return kFallbackLanguageId;
}

std::string LanguageCodeFromId(uint32_t language_id) {
  for (const Language& language : kLanguages) {
    if (language_id == language.id) return language.code;
  }
  return kFallbackLanguageCode;
}

std::string UserUiLanguageCode() { return LanguageCodeFromId(GetOsFacts().GetUserDefaultUiLanguage()); }

}  // namespace ostrel
