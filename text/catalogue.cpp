#include "text/catalogue.h"

#include <cstddef>
#include <cstdio>
#include <iterator>

#include "drive/region_commands.h"
#include "ui/resources/resource.h"

namespace varden::text {
namespace {

// One entry of the string table: its id and its text (UTF-8).
struct StringEntry {
  unsigned id;
  std::string_view text;
};

// The string table. English and Japanese entries stand side by side; the language is chosen by
// choosing the id. Ids 17 to 30 and 173 to 175 are the Japanese control labels.
constexpr StringEntry kStringTable[] = {
    {17, "アメリカ合衆国、カナダ（北米）"},
    {18, "日本、西ヨーロッパ、南アフリカ"},
    {19, "東南アジア"},
    {20, "オーストラリア、南米"},
    {21, "ロシア、東ヨーロッパ、アフリカ"},
    {22, "中国"},
    {23, "地域１"},
    {24, "地域２"},
    {25, "地域３"},
    {26, "地域４"},
    {27, "地域５"},
    {28, "地域６"},
    {29, "DVD-ROMドライブのリージョンコード"},
    {30, "このDVDディスクで視聴の許可されている地域"},
    {101, "&About Varden..."},
    {102, "&Help (Varden)"},
    {103, "ヘルプ(&H)"},
    {104, "Vardenについて(&A)"},
    {108, "有効な項目が選択されていません。"},
    {109, "デバイスのオープンに失敗しました。"},
    {114, "Don't select the valid item."},
    {115, "Device open API is failed."},
    {134, "Help file is not found."},
    {135, "ヘルプファイルが見つかりません。"},
    {173, "リージョン取得"},
    {174, "リージョン設定"},
    {175, "終了"},
    {176, "This drive does not support RPC2"},
    {177, "このドライブはRPC2をサポートしていません。"},
    {178, "リージョンコードの取得に失敗しました。\r\n"},
    {179, "Get drive region is failed.\r\n"},
    {180, "ディスクのリージョンコードの取得に失敗しました。\r\n"},
    {181, "Get disc region is failed.\r\n"},
    {182, "ドライブのリージョンコードはすでに固定されていて変更できません。\r\n"},
    {183, "Drive regional code is already permanent state.\r\n"},
    {184, "Disc is not present !\r\nPlease insert approproiate disc"},
    {185, "ディスクがありません\r\n適切なディスクを挿入してください。"},
    {186, "Now toc read in progress...\r\n"},
    {187, "現在ディスクのセットアップ中です。\r\n"},
    {188, "Unknown error is occurred.\r\n"},
    {189, "不明なエラーが発生しました。"},
    {190, "Success to set regional code.\r\n"},
    {191, "リージョンの設定は成功しました。\r\n"},
    {192, "Failed to set regional code.\r\n"},
    {193, "リージョンの設定に失敗しました。\r\n"},
    {194, "Appropriate region is not selected.\r\n"},
    {195, "適切なリージョンが選択されていません。\r\n"},
};

// Where a key takes its text from.
enum class Source {
  kStringTable,  // one string id per language
  kFixed,        // one compiled text per language
  kOneForm,      // one compiled text for both languages
};

// A string-table key's ids, one per language.
struct StringIds {
  unsigned english = 0;
  unsigned japanese = 0;
};

struct KeyEntry {
  Key key;
  Source source;
  StringIds ids;              // kStringTable only
  std::string_view english;   // kFixed and kOneForm
  std::string_view japanese;  // kFixed only
};

constexpr KeyEntry FromTable(Key key, unsigned english_id, unsigned japanese_id) {
  return {key, Source::kStringTable, {english_id, japanese_id}, {}, {}};
}
constexpr KeyEntry Fixed(Key key, std::string_view english, std::string_view japanese) {
  return {key, Source::kFixed, {}, english, japanese};
}
constexpr KeyEntry OneForm(Key key, std::string_view text) {
  return {key, Source::kOneForm, {}, text, {}};
}

// Every key, in the order of the enumeration.
constexpr KeyEntry kKeys[] = {
    FromTable(Key::MSG_NO_VALID_ITEM, 114, 108),
    FromTable(Key::MSG_DEVICE_OPEN_FAILED, 115, 109),
    FromTable(Key::MSG_NO_RPC2, 176, 177),
    FromTable(Key::MSG_GET_DRIVE_REGION_FAILED, 179, 178),
    FromTable(Key::MSG_GET_DISC_REGION_FAILED, 181, 180),
    FromTable(Key::MSG_REGION_PERMANENT, 183, 182),
    FromTable(Key::MSG_INSERT_DISC, 184, 185),
    FromTable(Key::MSG_TOC_READING, 186, 187),
    FromTable(Key::MSG_UNKNOWN_ERROR, 188, 189),
    FromTable(Key::MSG_SET_REGION_OK, 190, 191),
    FromTable(Key::MSG_SET_REGION_FAILED, 192, 193),
    FromTable(Key::MSG_NO_REGION_SELECTED, 194, 195),
    FromTable(Key::MSG_HELP_NOT_FOUND, 134, 135),
    FromTable(Key::MENU_ABOUT, 101, 104),
    FromTable(Key::MENU_HELP, 102, 103),
    Fixed(Key::FMT_CHANGES_LEFT, "Regional code can be changed %dtime(s)",
          "リージョンコードはあと%d回変更可能です。"),
    Fixed(Key::MSG_DRIVE_REGION_1, "Drive's region is 1.\r\n",
          "ドライブのリージョンコードは１です.\r\n"),
    Fixed(Key::MSG_DRIVE_REGION_2, "Drive's region is 2.\r\n",
          "ドライブのリージョンコードは２です.\r\n"),
    Fixed(Key::MSG_DRIVE_REGION_3, "Drive's region is 3.\r\n",
          "ドライブのリージョンコードは３です.\r\n"),
    Fixed(Key::MSG_DRIVE_REGION_4, "Drive's region is 4.\r\n",
          "ドライブのリージョンコードは４です.\r\n"),
    Fixed(Key::MSG_DRIVE_REGION_5, "Drive's region is 5.\r\n",
          "ドライブのリージョンコードは５です.\r\n"),
    Fixed(Key::MSG_DRIVE_REGION_6, "Drive's region is 6.\r\n",
          "ドライブのリージョンコードは６です.\r\n"),
    Fixed(Key::MSG_DRIVE_NO_REGION, "Drive has no region.\r\n",
          "ドライブのリージョンコードは未設定です.\r\n"),
    Fixed(Key::FMT_DRIVE_REGION_INVALID, "Invalid or Unknown region (%02xh).\r\n",
          "ドライブのリージョンコードは不正な値(%02xh)です.\r\n"),
    Fixed(Key::MSG_DISC_UNPROTECTED,
          "No copyright protrction disc.\r\n"
          "All region is allowed.\r\n",
          "このディスクにはコピープロテクトがありません.\r\n"
          "全ての地域での視聴が許可されています.\r\n"),
    Fixed(Key::MSG_DISC_ALLOWED_PREFIX, "This disc is allowed region", "このディスクは地域"),
    Fixed(Key::MSG_DISC_ALLOWED_SUFFIX, "", "での視聴が許可されています。"),
    Fixed(Key::MSG_DISC_UNKNOWN_PROTECTION,
          "This DVD has the unknown copyright protection type.\r\n",
          "このディスクは不明なコピープロテクト方式を持っています。\r\n"),
    Fixed(Key::MSG_CANCELED, "Operation is canceled.\r\n", "処理は中断されました。\r\n"),
    Fixed(Key::CAPTION_ATTENTION, "Attention", "注意"),
    Fixed(Key::FMT_NO_TRANSFER_BUFFER,
          "Varden cannot start: the memory for the drive's answers (%d bytes) could not be "
          "allocated.",
          "Varden を起動できません: ドライブの応答を受け取るメモリ（%d "
          "バイト）を確保できませんでした。"),
    OneForm(Key::FMT_CHECKING_DEVICE, "Now checking device No.%d"),
    OneForm(Key::CAPTION_ERROR, "Error"),
    OneForm(Key::FMT_VERSION, "Varden Version %d.%02d"),
};

constexpr std::string_view TableText(unsigned id) {
  for (const StringEntry& entry : kStringTable) {
    if (entry.id == id) return entry.text;
  }
  return {};
}

constexpr LabelRow Label(int control_id, unsigned string_id) {
  return {control_id, string_id, TableText(string_id)};
}

// The seventeen control labels of Japanese mode, in the order the main dialog applies them.
constexpr LabelRow kJapaneseLabels[] = {
    Label(IDC_DRIVE_REGION_GROUP, 29),
    Label(IDC_REGION1, 17),
    Label(IDC_REGION2, 18),
    Label(IDC_REGION3, 19),
    Label(IDC_REGION4, 20),
    Label(IDC_REGION5, 21),
    Label(IDC_REGION6, 22),
    Label(IDC_DISC_REGION_GROUP, 30),
    Label(IDC_DISC_REGION1, 23),
    Label(IDC_DISC_REGION2, 24),
    Label(IDC_DISC_REGION3, 25),
    Label(IDC_DISC_REGION4, 26),
    Label(IDC_DISC_REGION5, 27),
    Label(IDC_DISC_REGION6, 28),
    Label(IDC_SET_REGION, 174),
    Label(IDC_GET_REGION, 173),
    Label(IDC_EXIT, 175),
};

constexpr bool KeysInEnumOrder() {
  for (std::size_t i = 0; i < std::size(kKeys); ++i) {
    if (static_cast<std::size_t>(kKeys[i].key) != i) return false;
  }
  return static_cast<std::size_t>(Key::FMT_VERSION) + 1 == std::size(kKeys);
}
static_assert(KeysInEnumOrder(), "kKeys must list every key once, in the order of Key");

constexpr bool StringIdsUnique() {
  for (std::size_t i = 0; i < std::size(kStringTable); ++i) {
    for (std::size_t j = i + 1; j < std::size(kStringTable); ++j) {
      if (kStringTable[i].id == kStringTable[j].id) return false;
    }
  }
  return true;
}
static_assert(StringIdsUnique(), "a string id stands twice in the string table");

constexpr bool StringIdsPresent() {
  for (const KeyEntry& entry : kKeys) {
    if (entry.source != Source::kStringTable) continue;
    if (TableText(entry.ids.english).empty() || TableText(entry.ids.japanese).empty()) return false;
  }
  for (const LabelRow& row : kJapaneseLabels) {
    if (row.text.empty()) return false;
  }
  return true;
}
static_assert(StringIdsPresent(), "a key or label names a string id the table does not hold");

// The stored code page; 0 until the language is decided, which means English.
unsigned stored_code_page = 0;

const KeyEntry* EntryOf(Key key) {
  const auto index = static_cast<std::size_t>(key);
  return index < std::size(kKeys) ? &kKeys[index] : nullptr;
}

// The formats hold at most two integer conversions ("%d", "%02x"), so both integers are always
// passed: arguments beyond the format's conversions are ignored, and a key with fewer
// placeholders than its caller supplies can never read a missing argument.
std::string FormatInts(Key key, int a, int b) {
  const std::string format = Text(key);
  const int size = std::snprintf(nullptr, 0, format.c_str(), a, b);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  std::snprintf(out.data(), out.size() + 1, format.c_str(), a, b);
  return out;
}

}  // namespace

void DecideLanguage(unsigned code_page) {
  stored_code_page = code_page;
}

bool JapaneseMode() {
  return stored_code_page == kJapaneseCodePage;
}

void ResetLanguage() {
  stored_code_page = 0;
}

std::string Text(Key key) {
  const KeyEntry* entry = EntryOf(key);
  if (entry == nullptr) return {};
  const bool japanese = JapaneseMode();
  switch (entry->source) {
    case Source::kStringTable:
      return std::string(TableText(japanese ? entry->ids.japanese : entry->ids.english));
    case Source::kFixed:
      return std::string(japanese ? entry->japanese : entry->english);
    case Source::kOneForm:
      return std::string(entry->english);
  }
  return {};
}

std::string Format(Key key, int a) {
  return FormatInts(key, a, 0);
}

std::string Format(Key key, int a, int b) {
  return FormatInts(key, a, b);
}

std::span<const LabelRow> JapaneseLabels() {
  return kJapaneseLabels;
}

std::string RegionPiece(int region) {
  if (region < kFirstRegion || region > kLastRegion) return {};
  return std::string{' ', static_cast<char>('0' + region)};
}

}  // namespace varden::text
