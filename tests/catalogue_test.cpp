#include "text/catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace varden::text {
namespace {

constexpr unsigned kUs = 437;
constexpr unsigned kJapanese = 932;

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLanguage(); }
  void TearDown() override { ResetLanguage(); }
};

struct KeyCase {
  Key key;
  unsigned english_id;  // 0 for keys outside the string table
  unsigned japanese_id;
  std::string_view english;
  std::string_view japanese;
};

// Every key with its ids and exact texts, odd spellings and line ends included.
constexpr KeyCase kKeyCases[] = {
    {Key::MSG_NO_VALID_ITEM, 114, 108, "Don't select the valid item.",
     "\u6709\u52B9\u306A\u9805\u76EE\u304C\u9078\u629E\u3055\u308C\u3066\u3044\u307E\u305B\u3093"
     "\u3002"},
    {Key::MSG_DEVICE_OPEN_FAILED, 115, 109, "Device open API is failed.",
     "\u30C7\u30D0\u30A4\u30B9\u306E\u30AA\u30FC\u30D7\u30F3\u306B\u5931\u6557\u3057\u307E\u3057"
     "\u305F\u3002"},
    {Key::MSG_NO_RPC2, 176, 177, "This drive does not support RPC2",
     "\u3053\u306E\u30C9\u30E9\u30A4\u30D6\u306FRPC2\u3092\u30B5\u30DD\u30FC\u30C8\u3057\u3066"
     "\u3044\u307E\u305B\u3093\u3002"},
    {Key::MSG_GET_DRIVE_REGION_FAILED, 179, 178, "Get drive region is failed.\r\n",
     "\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9\u306E\u53D6\u5F97\u306B\u5931\u6557\u3057"
     "\u307E\u3057\u305F\u3002\r\n"},
    {Key::MSG_GET_DISC_REGION_FAILED, 181, 180, "Get disc region is failed.\r\n",
     "\u30C7\u30A3\u30B9\u30AF\u306E\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9\u306E\u53D6"
     "\u5F97\u306B\u5931\u6557\u3057\u307E\u3057\u305F\u3002\r\n"},
    {Key::MSG_REGION_PERMANENT, 183, 182, "Drive regional code is already permanent state.\r\n",
     "\u30C9\u30E9\u30A4\u30D6\u306E\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9\u306F\u3059"
     "\u3067\u306B\u56FA\u5B9A\u3055\u308C\u3066\u3044\u3066\u5909\u66F4\u3067\u304D\u307E\u305B"
     "\u3093\u3002\r\n"},
    {Key::MSG_INSERT_DISC, 184, 185, "Disc is not present !\r\nPlease insert approproiate disc",
     "\u30C7\u30A3\u30B9\u30AF\u304C\u3042\u308A\u307E\u305B\u3093\r\n\u9069\u5207\u306A\u30C7"
     "\u30A3\u30B9\u30AF\u3092\u633F\u5165\u3057\u3066\u304F\u3060\u3055\u3044\u3002"},
    {Key::MSG_TOC_READING, 186, 187, "Now toc read in progress...\r\n",
     "\u73FE\u5728\u30C7\u30A3\u30B9\u30AF\u306E\u30BB\u30C3\u30C8\u30A2\u30C3\u30D7\u4E2D\u3067"
     "\u3059\u3002\r\n"},
    {Key::MSG_UNKNOWN_ERROR, 188, 189, "Unknown error is occurred.\r\n",
     "\u4E0D\u660E\u306A\u30A8\u30E9\u30FC\u304C\u767A\u751F\u3057\u307E\u3057\u305F\u3002"},
    {Key::MSG_SET_REGION_OK, 190, 191, "Success to set regional code.\r\n",
     "\u30EA\u30FC\u30B8\u30E7\u30F3\u306E\u8A2D\u5B9A\u306F\u6210\u529F\u3057\u307E\u3057\u305F"
     "\u3002\r\n"},
    {Key::MSG_SET_REGION_FAILED, 192, 193, "Failed to set regional code.\r\n",
     "\u30EA\u30FC\u30B8\u30E7\u30F3\u306E\u8A2D\u5B9A\u306B\u5931\u6557\u3057\u307E\u3057\u305F"
     "\u3002\r\n"},
    {Key::MSG_NO_REGION_SELECTED, 194, 195, "Appropriate region is not selected.\r\n",
     "\u9069\u5207\u306A\u30EA\u30FC\u30B8\u30E7\u30F3\u304C\u9078\u629E\u3055\u308C\u3066\u3044"
     "\u307E\u305B\u3093\u3002\r\n"},
    {Key::MSG_HELP_NOT_FOUND, 134, 135, "Help file is not found.",
     "\u30D8\u30EB\u30D7\u30D5\u30A1\u30A4\u30EB\u304C\u898B\u3064\u304B\u308A\u307E\u305B\u3093"
     "\u3002"},
    {Key::MENU_ABOUT, 101, 104, "&About Varden...", "Varden\u306B\u3064\u3044\u3066(&A)"},
    {Key::MENU_HELP, 102, 103, "&Help (Varden)", "\u30D8\u30EB\u30D7(&H)"},
    {Key::FMT_CHANGES_LEFT, 0, 0, "Regional code can be changed %dtime(s)",
     "\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9\u306F\u3042\u3068%"
     "d\u56DE\u5909\u66F4\u53EF\u80FD\u3067\u3059\u3002"},
    {Key::MSG_DRIVE_REGION_1, 0, 0, "Drive's region is 1.\r\n",
     "\u30C9\u30E9\u30A4\u30D6\u306E\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9\u306F\uFF11"
     "\u3067\u3059.\r\n"},
    {Key::MSG_DRIVE_REGION_2, 0, 0, "Drive's region is 2.\r\n",
     "\u30C9\u30E9\u30A4\u30D6\u306E\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9\u306F\uFF12"
     "\u3067\u3059.\r\n"},
    {Key::MSG_DRIVE_REGION_3, 0, 0, "Drive's region is 3.\r\n",
     "\u30C9\u30E9\u30A4\u30D6\u306E\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9\u306F\uFF13"
     "\u3067\u3059.\r\n"},
    {Key::MSG_DRIVE_REGION_4, 0, 0, "Drive's region is 4.\r\n",
     "\u30C9\u30E9\u30A4\u30D6\u306E\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9\u306F\uFF14"
     "\u3067\u3059.\r\n"},
    {Key::MSG_DRIVE_REGION_5, 0, 0, "Drive's region is 5.\r\n",
     "\u30C9\u30E9\u30A4\u30D6\u306E\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9\u306F\uFF15"
     "\u3067\u3059.\r\n"},
    {Key::MSG_DRIVE_REGION_6, 0, 0, "Drive's region is 6.\r\n",
     "\u30C9\u30E9\u30A4\u30D6\u306E\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9\u306F\uFF16"
     "\u3067\u3059.\r\n"},
    {Key::MSG_DRIVE_NO_REGION, 0, 0, "Drive has no region.\r\n",
     "\u30C9\u30E9\u30A4\u30D6\u306E\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9\u306F\u672A"
     "\u8A2D\u5B9A\u3067\u3059.\r\n"},
    {Key::FMT_DRIVE_REGION_INVALID, 0, 0, "Invalid or Unknown region (%02xh).\r\n",
     "\u30C9\u30E9\u30A4\u30D6\u306E\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9\u306F\u4E0D"
     "\u6B63\u306A\u5024(%02xh)\u3067\u3059.\r\n"},
    {Key::MSG_DISC_UNPROTECTED, 0, 0, "No copyright protrction disc.\r\nAll region is allowed.\r\n",
     "\u3053\u306E\u30C7\u30A3\u30B9\u30AF\u306B\u306F\u30B3\u30D4\u30FC\u30D7\u30ED\u30C6\u30AF"
     "\u30C8\u304C\u3042\u308A\u307E\u305B\u3093."
     "\r\n\u5168\u3066\u306E\u5730\u57DF\u3067\u306E\u8996\u8074\u304C\u8A31\u53EF\u3055\u308C"
     "\u3066\u3044\u307E\u3059.\r\n"},
    {Key::MSG_DISC_ALLOWED_PREFIX, 0, 0, "This disc is allowed region",
     "\u3053\u306E\u30C7\u30A3\u30B9\u30AF\u306F\u5730\u57DF"},
    {Key::MSG_DISC_ALLOWED_SUFFIX, 0, 0, "",
     "\u3067\u306E\u8996\u8074\u304C\u8A31\u53EF\u3055\u308C\u3066\u3044\u307E\u3059\u3002"},
    {Key::MSG_DISC_UNKNOWN_PROTECTION, 0, 0,
     "This DVD has the unknown copyright protection type.\r\n",
     "\u3053\u306E\u30C7\u30A3\u30B9\u30AF\u306F\u4E0D\u660E\u306A\u30B3\u30D4\u30FC\u30D7\u30ED"
     "\u30C6\u30AF\u30C8\u65B9\u5F0F\u3092\u6301\u3063\u3066\u3044\u307E\u3059\u3002\r\n"},
    {Key::MSG_CANCELED, 0, 0, "Operation is canceled.\r\n",
     "\u51E6\u7406\u306F\u4E2D\u65AD\u3055\u308C\u307E\u3057\u305F\u3002\r\n"},
    {Key::CAPTION_ATTENTION, 0, 0, "Attention", "\u6CE8\u610F"},
    {Key::FMT_NO_TRANSFER_BUFFER, 0, 0,
     "Varden cannot start: the memory for the drive's answers (%d bytes) could not be allocated.",
     "Varden \u3092\u8D77\u52D5\u3067\u304D\u307E\u305B\u3093: "
     "\u30C9\u30E9\u30A4\u30D6\u306E\u5FDC\u7B54\u3092\u53D7\u3051\u53D6\u308B\u30E1\u30E2\u30EA"
     "\uFF08%d "
     "\u30D0\u30A4\u30C8\uFF09\u3092\u78BA\u4FDD\u3067\u304D\u307E\u305B\u3093\u3067\u3057\u305F"
     "\u3002"},
    {Key::FMT_CHECKING_DEVICE, 0, 0, "Now checking device No.%d", "Now checking device No.%d"},
    {Key::CAPTION_ERROR, 0, 0, "Error", "Error"},
    {Key::FMT_VERSION, 0, 0, "Varden Version %d.%02d", "Varden Version %d.%02d"},
};

TEST_F(CatalogueTest, EveryKeyHasItsExactTextInEachLanguage) {
  ASSERT_EQ(std::size(kKeyCases), static_cast<std::size_t>(Key::FMT_VERSION) + 1);
  for (const KeyCase& c : kKeyCases) {
    SCOPED_TRACE(c.english);
    ResetLanguage();
    EXPECT_EQ(Text(c.key), c.english) << "before the language is decided";
    DecideLanguage(kJapanese);
    EXPECT_EQ(Text(c.key), c.japanese);
    DecideLanguage(kUs);
    EXPECT_EQ(Text(c.key), c.english);
  }
}

TEST_F(CatalogueTest, StringTableKeysLoadTheirIds) {
  for (const KeyCase& c : kKeyCases) {
    SCOPED_TRACE(c.english);
    const StringIds ids = IdsOf(c.key);
    EXPECT_EQ(ids.english, c.english_id);
    EXPECT_EQ(ids.japanese, c.japanese_id);
    if (c.english_id == 0) continue;
    EXPECT_EQ(LoadString(c.english_id), c.english);
    EXPECT_EQ(LoadString(c.japanese_id), c.japanese);
  }
}

TEST_F(CatalogueTest, IdsTheTableDoesNotHoldLoadEmpty) {
  for (unsigned id : {0u, 1u, 16u, 31u, 100u, 105u, 110u, 172u, 196u, 1003u, 65535u}) {
    EXPECT_EQ(LoadString(id), "") << id;
  }
}

TEST_F(CatalogueTest, UnknownErrorHasALineEndOnlyInEnglish) {
  EXPECT_EQ(LoadString(188).substr(LoadString(188).size() - 2), "\r\n");
  EXPECT_NE(LoadString(189).back(), '\n');
}

TEST_F(CatalogueTest, JapaneseLabelsInDialogOrder) {
  struct LabelCase {
    int control_id;
    unsigned string_id;
    std::string_view text;
  };
  constexpr LabelCase kLabels[] = {
      {1003, 29,
       "DVD-ROM\u30C9\u30E9\u30A4\u30D6\u306E\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9"},
      {1002, 17,
       "\u30A2\u30E1\u30EA\u30AB\u5408\u8846\u56FD\u3001\u30AB\u30CA\u30C0\uFF08\u5317\u7C73"
       "\uFF09"},
      {1008, 18,
       "\u65E5\u672C\u3001\u897F\u30E8\u30FC\u30ED\u30C3\u30D1\u3001\u5357\u30A2\u30D5\u30EA"
       "\u30AB"},
      {1009, 19, "\u6771\u5357\u30A2\u30B8\u30A2"},
      {1010, 20, "\u30AA\u30FC\u30B9\u30C8\u30E9\u30EA\u30A2\u3001\u5357\u7C73"},
      {1011, 21,
       "\u30ED\u30B7\u30A2\u3001\u6771\u30E8\u30FC\u30ED\u30C3\u30D1\u3001\u30A2\u30D5\u30EA"
       "\u30AB"},
      {1012, 22, "\u4E2D\u56FD"},
      {1018, 30,
       "\u3053\u306EDVD\u30C7\u30A3\u30B9\u30AF\u3067\u8996\u8074\u306E\u8A31\u53EF\u3055\u308C"
       "\u3066\u3044\u308B\u5730\u57DF"},
      {1007, 23, "\u5730\u57DF\uFF11"},
      {1013, 24, "\u5730\u57DF\uFF12"},
      {1014, 25, "\u5730\u57DF\uFF13"},
      {1015, 26, "\u5730\u57DF\uFF14"},
      {1016, 27, "\u5730\u57DF\uFF15"},
      {1017, 28, "\u5730\u57DF\uFF16"},
      {1019, 174, "\u30EA\u30FC\u30B8\u30E7\u30F3\u8A2D\u5B9A"},
      {1021, 173, "\u30EA\u30FC\u30B8\u30E7\u30F3\u53D6\u5F97"},
      {1020, 175, "\u7D42\u4E86"},
  };
  const auto rows = JapaneseLabels();
  ASSERT_EQ(rows.size(), std::size(kLabels));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(rows[i].control_id, kLabels[i].control_id);
    EXPECT_EQ(rows[i].string_id, kLabels[i].string_id);
    EXPECT_EQ(rows[i].text, kLabels[i].text);
    EXPECT_EQ(LoadString(kLabels[i].string_id), kLabels[i].text);
  }
}

TEST_F(CatalogueTest, FormatsFillTheirPlaceholders) {
  struct FormatCase {
    unsigned code_page;
    Key key;
    std::vector<int> args;
    std::string_view expected;
  };
  const FormatCase cases[] = {
      {kUs, Key::FMT_CHANGES_LEFT, {5}, "Regional code can be changed 5time(s)"},
      {kJapanese,
       Key::FMT_CHANGES_LEFT,
       {5},
       "\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9\u306F\u3042\u30685\u56DE\u5909\u66F4"
       "\u53EF\u80FD\u3067\u3059\u3002"},
      {kUs, Key::FMT_DRIVE_REGION_INVALID, {0xFC}, "Invalid or Unknown region (fch).\r\n"},
      {kUs, Key::FMT_DRIVE_REGION_INVALID, {0}, "Invalid or Unknown region (00h).\r\n"},
      {kJapanese,
       Key::FMT_DRIVE_REGION_INVALID,
       {0xFC},
       "\u30C9\u30E9\u30A4\u30D6\u306E\u30EA\u30FC\u30B8\u30E7\u30F3\u30B3\u30FC\u30C9\u306F"
       "\u4E0D\u6B63\u306A\u5024(fch)\u3067\u3059.\r\n"},
      {kUs, Key::FMT_VERSION, {1, 8}, "Varden Version 1.08"},
      {kJapanese, Key::FMT_VERSION, {1, 8}, "Varden Version 1.08"},
      {kUs, Key::FMT_CHECKING_DEVICE, {23}, "Now checking device No.23"},
      {kJapanese, Key::FMT_CHECKING_DEVICE, {1}, "Now checking device No.1"},
      // A text without placeholders passes through unchanged.
      {kUs, Key::MSG_CANCELED, {0}, "Operation is canceled.\r\n"},
      {kJapanese, Key::CAPTION_ATTENTION, {0}, "\u6CE8\u610F"},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.expected);
    DecideLanguage(c.code_page);
    const std::string text =
        c.args.size() == 1 ? Format(c.key, c.args[0]) : Format(c.key, c.args[0], c.args[1]);
    EXPECT_EQ(text, c.expected);
  }
}

TEST_F(CatalogueTest, PermittedRegionsLine) {
  constexpr std::string_view kPrefix = "\u3053\u306E\u30C7\u30A3\u30B9\u30AF\u306F\u5730\u57DF";
  constexpr std::string_view kSuffix =
      "\u3067\u306E\u8996\u8074\u304C\u8A31\u53EF\u3055\u308C\u3066\u3044\u307E\u3059\u3002";
  struct LineCase {
    unsigned code_page;
    std::vector<int> regions;
    std::string expected;
  };
  const LineCase cases[] = {
      {kUs, {}, "This disc is allowed region\r\n"},
      {kUs, {2, 4}, "This disc is allowed region 2 4\r\n"},
      {kUs, {1, 2, 3, 4, 5, 6}, "This disc is allowed region 1 2 3 4 5 6\r\n"},
      {kJapanese, {}, std::string(kPrefix) + std::string(kSuffix) + "\r\n"},
      {kJapanese, {2, 4}, std::string(kPrefix) + " 2 4" + std::string(kSuffix) + "\r\n"},
      {kJapanese,
       {1, 2, 3, 4, 5, 6},
       std::string(kPrefix) + " 1 2 3 4 5 6" + std::string(kSuffix) + "\r\n"},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.expected);
    DecideLanguage(c.code_page);
    EXPECT_EQ(PermittedRegionsLine(c.regions), c.expected);
  }
}

TEST_F(CatalogueTest, RegionPieceIsASpaceAndTheAsciiDigit) {
  const std::pair<int, std::string_view> cases[] = {
      {1, " 1"}, {6, " 6"}, {0, ""}, {7, ""}, {-1, ""},
  };
  for (const auto& [region, expected] : cases) {
    EXPECT_EQ(RegionPiece(region), expected) << region;
  }
}

TEST_F(CatalogueTest, OnlyCodePage932MeansJapanese) {
  struct ModeCase {
    unsigned code_page;
    bool japanese;
  };
  constexpr ModeCase cases[] = {
      {932, true}, {0x3A4, true}, {437, false}, {850, false}, {936, false}, {0, false},
  };
  EXPECT_EQ(StoredCodePage(), 0u);
  EXPECT_FALSE(JapaneseMode());
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.code_page);
    DecideLanguage(c.code_page);
    EXPECT_EQ(StoredCodePage(), c.code_page);
    EXPECT_EQ(JapaneseMode(), c.japanese);
    EXPECT_EQ(Text(Key::MENU_HELP), c.japanese ? "\u30D8\u30EB\u30D7(&H)" : "&Help (Varden)");
  }
}

}  // namespace
}  // namespace varden::text
