// The language: the code page the locale settings give, and the catalogue's texts in each
// language (every key's exact text and the Japanese labels, from the table in tests/data),
// the formats and the choice of language.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "data_rows.h"
#include "text/catalogue.h"
#include "text/linux/locale_code_page.h"

namespace varden::text {
namespace {

constexpr unsigned kUs = 437;

using test_support::DataRows;

TEST(CatalogueTest, EveryKeyHasItsExactTextInEachLanguage) {
  const auto rows = DataRows("catalogue_texts.tsv", "text");
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(Key::FMT_VERSION) + 1);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    SCOPED_TRACE(rows[k][1]);
    const auto key = static_cast<Key>(k);
    ResetLanguage();
    EXPECT_EQ(Text(key), rows[k][2]) << "before the language is decided";
    DecideLanguage(kJapaneseCodePage);
    EXPECT_EQ(Text(key), rows[k][3]);
    DecideLanguage(kUs);
    EXPECT_EQ(Text(key), rows[k][2]);
  }
}

TEST(CatalogueTest, JapaneseLabelsInDialogOrder) {
  const auto rows = DataRows("catalogue_texts.tsv", "label");
  const auto labels = JapaneseLabels();
  ASSERT_EQ(labels.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(std::to_string(labels[i].control_id), rows[i][1]) << i;
    EXPECT_EQ(labels[i].text, rows[i][2]) << i;
  }
}

// The "format" rows: code page, key, the two numbers, the text.
TEST(CatalogueTest, FormatsFillTheirPlaceholders) {
  const auto keys = DataRows("catalogue_texts.tsv", "text");
  for (const auto& row : DataRows("catalogue_texts.tsv", "format")) {
    const auto name = std::ranges::find_if(keys, [&](const auto& k) { return k[1] == row[2]; });
    ASSERT_NE(name, keys.end()) << row[2];
    const auto key = static_cast<Key>(name - keys.begin());
    const int a = std::stoi(row[3], nullptr, 0), b = std::stoi(row[4]);
    DecideLanguage(std::stoul(row[1]));
    EXPECT_EQ(key == Key::FMT_VERSION ? Format(key, a, b) : Format(key, a), row[5]);
  }
}

// The locale names and settings of tests/data/locale_code_pages.tsv, and their code pages.
TEST(LocaleCodePageTest, OnlyTheLanguageJaMeansJapanese) {
  for (const auto& row : DataRows("locale_code_pages.tsv", "name")) {
    EXPECT_EQ(CodePageForLocaleName(row[1]), std::stoul(row[2])) << '"' << row[1] << '"';
  }
}

// ctest runs each case in a process of its own, so the cases may change the environment.
TEST(LocaleEnvironmentTest, VariablesCountInTheLibrarysOrder) {
  for (const auto& row : DataRows("locale_code_pages.tsv", "environment")) {
    SCOPED_TRACE(row[1]);
    std::size_t column = 2;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const std::string& value = row[column++];
      value == "-" ? unsetenv(variable) : setenv(variable, value.c_str(), 1);
    }
    EXPECT_EQ(LocaleCodePage(), std::stoul(row[5]));
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
