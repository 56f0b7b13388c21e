// The language: the code page the locale settings give, and the catalogue's texts in each
// language (every key's exact text and the Japanese labels, from the table in tests/data),
// the formats and the choice of language.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "text/catalogue.h"
#include "text/linux/locale_code_page.h"

namespace varden::text {
namespace {

constexpr unsigned kUs = 437;

// The tab-separated rows of tests/data/catalogue_texts.tsv whose first column is `kind`, with
// "\r" and "\n" turned into CR and LF.
std::vector<std::vector<std::string>> DataRows(const std::string& kind) {
  std::ifstream file(VARDEN_TEST_DATA_DIR "/catalogue_texts.tsv");
  EXPECT_TRUE(file.is_open());
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(file, line);) {
    for (const auto& [from, to] : {std::pair{"\\r", "\r"}, {"\\n", "\n"}}) {
      for (std::size_t at; (at = line.find(from)) != std::string::npos;) line.replace(at, 2, to);
    }
    std::vector<std::string> columns;
    std::istringstream fields(line + '\t');  // the tab keeps an empty last column
    for (std::string field; std::getline(fields, field, '\t');) columns.push_back(field);
    if (columns[0] == kind) rows.push_back(columns);
  }
  return rows;
}

TEST(CatalogueTest, EveryKeyHasItsExactTextInEachLanguage) {
  const auto rows = DataRows("text");
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
  const auto rows = DataRows("label");
  const auto labels = JapaneseLabels();
  ASSERT_EQ(labels.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(std::to_string(labels[i].control_id), rows[i][1]) << i;
    EXPECT_EQ(labels[i].text, rows[i][2]) << i;
  }
}

TEST(CatalogueTest, FormatsFillTheirPlaceholders) {
  struct FormatCase {
    unsigned code_page;
    Key key;
    int a, b;
    std::string_view expected;
  } const cases[] = {
      {kUs, Key::FMT_CHANGES_LEFT, 5, 0, "Regional code can be changed 5time(s)"},
      {936, Key::FMT_CHANGES_LEFT, 5, 0, "Regional code can be changed 5time(s)"},  // not 932
      {kJapaneseCodePage, Key::FMT_CHANGES_LEFT, 5, 0, "リージョンコードはあと5回変更可能です。"},
      {kUs, Key::FMT_DRIVE_REGION_INVALID, 0xFC, 0, "Invalid or Unknown region (fch).\r\n"},
      {kUs, Key::FMT_DRIVE_REGION_INVALID, 0, 0, "Invalid or Unknown region (00h).\r\n"},
      {kUs, Key::FMT_VERSION, 1, 8, "Varden Version 1.08"},
      {kJapaneseCodePage, Key::FMT_CHECKING_DEVICE, 23, 0, "Now checking device No.23"},
      {kUs, Key::MSG_CANCELED, 0, 0, "Operation is canceled.\r\n"},  // no placeholder
  };
  for (const FormatCase& c : cases) {
    DecideLanguage(c.code_page);
    EXPECT_EQ(c.key == Key::FMT_VERSION ? Format(c.key, c.a, c.b) : Format(c.key, c.a), c.expected);
  }
}

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

// ctest runs each case in a process of its own, so the cases may change the environment.
TEST(LocaleEnvironmentTest, VariablesCountInTheLibrarysOrder) {
  struct EnvCase {
    const char *label, *lc_all, *lc_messages, *lang;
    unsigned code_page;
  };
  // Japanese locales need not be installed: a name the library cannot load still counts.
  const EnvCase cases[] = {
      {"nothing set", nullptr, nullptr, nullptr, 437},
      {"LANG only", nullptr, nullptr, "ja_JP.UTF-8", 932},
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
