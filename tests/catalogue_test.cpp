// The catalogue: every key's exact text in both languages and the Japanese labels (from the
// table in tests/data), the formats and the choice of language.
#include "text/catalogue.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

TEST(CatalogueTest, OnlyCodePage932MeansJapanese) {
  ResetLanguage();
  EXPECT_FALSE(JapaneseMode());
  for (const unsigned code_page : {932u, 437u, 850u, 936u, 0u}) {
    DecideLanguage(code_page);
    EXPECT_EQ(JapaneseMode(), code_page == kJapaneseCodePage) << code_page;
  }
}

}  // namespace
}  // namespace varden::text
