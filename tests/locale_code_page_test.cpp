#include "text/linux/locale_code_page.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>

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

// Sets the three variables for one test and puts the process's environment and LC_MESSAGES
// setting back afterwards.
class LocaleEnvironmentTest : public ::testing::Test {
 protected:
  static constexpr const char* kVariables[] = {"LC_ALL", "LC_MESSAGES", "LANG"};

  void SetUp() override {
    for (std::size_t i = 0; i < std::size(kVariables); ++i) {
      const char* value = std::getenv(kVariables[i]);
      if (value != nullptr) saved_[i] = value;
    }
    saved_messages_ = std::setlocale(LC_MESSAGES, nullptr);
  }

  void TearDown() override {
    for (std::size_t i = 0; i < std::size(kVariables); ++i) Put(kVariables[i], saved_[i]);
    std::setlocale(LC_MESSAGES, saved_messages_.c_str());
  }

  static void Put(const char* variable, const std::optional<std::string>& value) {
    if (value) {
      setenv(variable, value->c_str(), 1);
    } else {
      unsetenv(variable);
    }
  }

 private:
  std::optional<std::string> saved_[3];
  std::string saved_messages_;
};

TEST_F(LocaleEnvironmentTest, VariablesCountInTheLibrarysOrder) {
  struct EnvCase {
    const char* label;
    std::optional<std::string> lc_all;
    std::optional<std::string> lc_messages;
    std::optional<std::string> lang;
    unsigned code_page;
  };
  // Japanese locales need not be installed: a name the library cannot load still counts.
  const EnvCase cases[] = {
      {"nothing set", {}, {}, {}, 437},
      {"LANG only", {}, {}, "ja_JP.UTF-8", 932},
      {"LANG bare language", {}, {}, "ja", 932},
      {"LANG of another language", {}, {}, "jam_IN.UTF-8", 437},
      {"LC_MESSAGES over LANG", {}, "C.UTF-8", "ja_JP.UTF-8", 437},
      {"LC_MESSAGES Japanese", {}, "ja_JP.UTF-8", "en_US.UTF-8", 932},
      {"LC_ALL over both", "C", "ja_JP.UTF-8", "ja_JP.UTF-8", 437},
      {"LC_ALL Japanese", "ja_JP.UTF-8", "C", "C", 932},
      {"empty LC_ALL is skipped", "", "ja_JP.UTF-8", "C", 932},
      {"empty LC_ALL and LC_MESSAGES", "", "", "ja_JP", 932},
      {"missing LC_ALL locale still wins", "en_US.UTF-8", {}, "ja_JP.UTF-8", 437},
  };
  for (const EnvCase& c : cases) {
    SCOPED_TRACE(c.label);
    Put("LC_ALL", c.lc_all);
    Put("LC_MESSAGES", c.lc_messages);
    Put("LANG", c.lang);
    EXPECT_EQ(LocaleCodePage(), c.code_page);
  }
}

TEST_F(LocaleEnvironmentTest, LeavesTheMessagesSettingAsItWas) {
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
