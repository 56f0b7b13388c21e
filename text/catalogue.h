// The message catalogue: every text Varden shows, by key, in English and Japanese (UTF-8).
// One language holds for the whole run, decided once from the code page the platform hands
// in (932 means Japanese); every lookup tests the mode anew.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace varden::text {

enum class Key {
  // String-table messages: an English and a Japanese string id each.
  MSG_NO_VALID_ITEM,
  MSG_DEVICE_OPEN_FAILED,
  MSG_NO_RPC2,
  MSG_GET_DRIVE_REGION_FAILED,
  MSG_GET_DISC_REGION_FAILED,
  MSG_REGION_PERMANENT,
  MSG_INSERT_DISC,
  MSG_TOC_READING,
  MSG_UNKNOWN_ERROR,
  MSG_SET_REGION_OK,
  MSG_SET_REGION_FAILED,
  MSG_NO_REGION_SELECTED,
  MSG_HELP_NOT_FOUND,
  MENU_ABOUT,
  MENU_HELP,
  // Fixed texts, one English and one Japanese each.
  FMT_CHANGES_LEFT,
  MSG_DRIVE_REGION_1,
  MSG_DRIVE_REGION_2,
  MSG_DRIVE_REGION_3,
  MSG_DRIVE_REGION_4,
  MSG_DRIVE_REGION_5,
  MSG_DRIVE_REGION_6,
  MSG_DRIVE_NO_REGION,
  FMT_DRIVE_REGION_INVALID,
  MSG_DISC_UNPROTECTED,
  MSG_DISC_ALLOWED_PREFIX,
  MSG_DISC_ALLOWED_SUFFIX,
  MSG_DISC_UNKNOWN_PROTECTION,
  MSG_CANCELED,
  CAPTION_ATTENTION,
  FMT_NO_TRANSFER_BUFFER,
  // One form in both languages.
  FMT_CHECKING_DEVICE,
  CAPTION_ERROR,
  FMT_VERSION,
};

inline constexpr unsigned kJapaneseCodePage = 932;

// Decides the language for the run from the platform's code page (Windows: GetOEMCP()).
// Until it is called the mode is English.
void DecideLanguage(unsigned code_page);
bool JapaneseMode();

// The key's text in the current language (MSG_, CAPTION_, MENU_ and unformatted FMT_ keys).
std::string Text(Key key);

// The key's text formatted by the printf conventions with the given integers.
std::string Format(Key key, int a);
std::string Format(Key key, int a, int b);

// One row of the Japanese label table: control id, string id, text.
struct LabelRow {
  int control_id;
  unsigned string_id;
  std::string_view text;
};
// The seventeen rows, in the order the main dialog applies them.
std::span<const LabelRow> JapaneseLabels();

// The piece of the permitted-regions line for region n: a space and the ASCII digit.
std::string RegionPiece(int region);

// Back to English with no decision made (for tests).
void ResetLanguage();

}  // namespace varden::text
