#include "text/linux/locale_code_page.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

// ctest runs each case in a process of its own, so the cases may change the environment.
namespace varden::text {
namespace {

TEST(LocaleCodePageTest, OnlyTheLanguageJaMeansJapanese) {
  for (const std::string_view name :
       {"ja_JP.UTF-8", "ja_JP.eucJP", "ja", "ja.UTF-8", "ja@cjknarrow"}) {
    EXPECT_EQ(CodePageForLocaleName(name), 932u) << name;
  }
  for (const std::string_view name :
       {"C", "POSIX", "en_US.UTF-8", "jam", "jam_IN", "j", "", "JA_JP"}) {
    EXPECT_EQ(CodePageForLocaleName(name), 437u) << '"' << name << '"';
  }
}

// nullptr: the variable is not set.
void Put(const char* variable, const char* value) {
  value != nullptr ? setenv(variable, value, 1) : unsetenv(variable);
}

TEST(LocaleEnvironmentTest, VariablesCountInTheLibrarysOrder) {
  struct EnvCase {
    const char *label, *lc_all, *lc_messages, *lang;
    unsigned code_page;
  };
  // Japanese locales need not be installed: a name the library cannot load still counts.
  const EnvCase cases[] = {
      {"nothing set", nullptr, nullptr, nullptr, 437},
      {"LANG only", nullptr, nullptr, "ja_JP.UTF-8", 932},
      {"LANG bare language", nullptr, nullptr, "ja", 932},
      {"LANG of another language", nullptr, nullptr, "jam_IN.UTF-8", 437},
      {"LC_MESSAGES over LANG", nullptr, "C.UTF-8", "ja_JP.UTF-8", 437},
      {"LC_MESSAGES Japanese", nullptr, "ja_JP.UTF-8", "en_US.UTF-8", 932},
      {"LC_ALL over both", "C", "ja_JP.UTF-8", "ja_JP.UTF-8", 437},
      {"LC_ALL Japanese", "ja_JP.UTF-8", "C", "C", 932},
      {"empty LC_ALL is skipped", "", "ja_JP.UTF-8", "C", 932},
      {"empty LC_ALL and LC_MESSAGES", "", "", "ja_JP", 932},
      {"missing LC_ALL locale still wins", "en_US.UTF-8", nullptr, "ja_JP.UTF-8", 437},
  };
  for (const EnvCase& c : cases) {
    SCOPED_TRACE(c.label);
    Put("LC_ALL", c.lc_all);
    Put("LC_MESSAGES", c.lc_messages);
    Put("LANG", c.lang);
    EXPECT_EQ(LocaleCodePage(), c.code_page);
  }
}

TEST(LocaleEnvironmentTest, LeavesTheMessagesSettingAsItWas) {
  ASSERT_NE(std::setlocale(LC_MESSAGES, "C"), nullptr);
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  for (const char* lang : {"C.UTF-8", "ja_JP.UTF-8"}) {
    setenv("LANG", lang, 1);
    LocaleCodePage();
    EXPECT_STREQ(std::setlocale(LC_MESSAGES, nullptr), "C") << lang;
  }
}

}  // namespace
}  // namespace varden::text
