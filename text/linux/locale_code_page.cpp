#include "text/linux/locale_code_page.h"

#include <clocale>
#include <cstdlib>

#include "text/catalogue.h"

namespace varden::text {
namespace {

constexpr std::string_view kJapaneseLanguage = "ja";

}  // namespace

std::string EnvironmentLocaleName(const char* variable) {
  for (const char* name : {"LC_ALL", variable, "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

unsigned CodePageForLocaleName(std::string_view name) {
  const std::string_view language = name.substr(0, name.find_first_of("_.@"));
  return language == kJapaneseLanguage ? kJapaneseCodePage : kUsCodePage;
}

std::string MessagesLocaleName() {
  const char* current = std::setlocale(LC_MESSAGES, nullptr);
  const std::string previous = current != nullptr ? current : "C";
  const char* resolved = std::setlocale(LC_MESSAGES, "");
  if (resolved == nullptr) return EnvironmentLocaleName("LC_MESSAGES");  // left as it was
  const std::string name = resolved;
  std::setlocale(LC_MESSAGES, previous.c_str());
  return name;
}

unsigned LocaleCodePage() {
  return CodePageForLocaleName(MessagesLocaleName());
}

}  // namespace varden::text
