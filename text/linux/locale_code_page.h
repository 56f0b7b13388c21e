// The Linux stand-in for the OEM code page that decides the catalogue's language: Japanese
// (932) when the locale for messages has the language "ja", otherwise the US code page (437).
#pragma once

#include <string>
#include <string_view>

namespace varden::text {

inline constexpr unsigned kUsCodePage = 437;

// The code page for a locale name such as "ja_JP.UTF-8", "ja" or "en_US.UTF-8": 932 when the
// language part (up to the first '_', '.' or '@') is exactly "ja", otherwise 437. "" gives 437.
unsigned CodePageForLocaleName(std::string_view name);

// The first non-empty of LC_ALL, `variable` (the category's own: "LC_MESSAGES", "LC_CTYPE") and
// LANG: the locale the environment names for that category, installed or not; "" for none.
std::string EnvironmentLocaleName(const char* variable);

// The name of the locale for messages: the one the C library resolves from the environment
// (LC_ALL, then LC_MESSAGES, then LANG). When that locale is not installed, the first non-empty
// of those three variables is answered instead, so that the user's choice still counts. The
// process's LC_MESSAGES setting is left as it was. Not thread-safe (setlocale); call at start.
std::string MessagesLocaleName();

// CodePageForLocaleName(MessagesLocaleName()).
unsigned LocaleCodePage();

}  // namespace varden::text
