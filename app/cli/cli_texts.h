// The command line's own texts, in English and Japanese: the summary lines that tell the
// state the dialog would show, and the questions of the region change. They follow the
// catalogue's language, decided once at start. "{}" stands where a value goes.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "text/catalogue.h"

namespace varden::cli {

struct CliText {
  std::string_view english;
  std::string_view japanese;
};

inline constexpr CliText kDriveLabel{"Drive: ", "ドライブ: "};
inline constexpr CliText kRegionLabel{"Region: ", "リージョン: "};
inline constexpr CliText kRegionNone{"none", "未設定"};
inline constexpr CliText kRegionInvalid{"invalid ({}h)", "不正な値 ({}h)"};
inline constexpr CliText kStateNotRead{"unknown (the drive's state could not be read)",
                                       "不明（ドライブの状態を読み取れませんでした）"};
inline constexpr CliText kChangesUnknown{"Changes left: unknown", "残りの変更回数: 不明"};
inline constexpr CliText kOfferedLabel{"Regions offered for a change: ",
                                       "変更先として選べるリージョン: "};
inline constexpr CliText kNoRegions{"none", "なし"};
inline constexpr CliText kDiscPermitsLabel{"Disc permits regions: ",
                                           "ディスクが許可するリージョン: "};
inline constexpr CliText kDiscUnprotected{" (no copy protection)", "（コピープロテクトなし）"};
inline constexpr CliText kDiscNotRead{
    "Disc: permitted regions not known (no disc, or the drive could not read it)",
    "ディスク: 許可されたリージョンは不明です（ディスクがないか、読み取れませんでした）"};
inline constexpr CliText kDiscUnknownType{
    "Disc: permitted regions not known (unknown copy protection type {}h)",
    "ディスク: 許可されたリージョンは不明です（不明なコピープロテクト方式 {}h）"};
inline constexpr CliText kCost{"Changes left: {} now, {} after this change.",
                               "残りの変更回数: 現在 {} 回、この変更の後 {} 回。"};
inline constexpr CliText kCostNoRpc2{
    "This drive does not follow RPC Phase II: the change count does not apply.",
    "このドライブはRPC Phase IIに従っていないため、変更回数は関係しません。"};
inline constexpr CliText kCostUnknown{"The drive's change count could not be read.",
                                      "ドライブの変更回数を読み取れませんでした。"};
inline constexpr CliText kAskSet{"Set drive {} to region {}? [y/N] ",
                                 "ドライブ {} のリージョンを {} に設定しますか? [y/N] "};
inline constexpr CliText kLastChange{
    "This is the last change: afterwards the drive keeps region {} for good and can never be "
    "changed again.",
    "これが最後の変更です。この後ドライブのリージョンは {} に固定され、二度と変更できません。"};
inline constexpr CliText kAskPermanent{"Make region {} permanent? [y/N] ",
                                       "リージョン {} に固定しますか? [y/N] "};
inline constexpr CliText kNotConfirmed{"Not confirmed: nothing was sent to the drive.",
                                       "確認されなかったため、ドライブには何も送っていません。"};
inline constexpr CliText kRefused{
    "Region {} is not offered for this drive (offered: {}): nothing was sent to the drive.",
    "リージョン {} はこのドライブでは選べません（選べるリージョン: {}）。"
    "ドライブには何も送っていません。"};
inline constexpr CliText kRefusedStateUnread{
    "Region {} is not offered for this drive: none is, because the drive's region state could "
    "not be read (see the log). Nothing was sent to the drive; check the drive and its "
    "connection, then try again.",
    "リージョン {} はこのドライブでは選べません。ドライブのリージョンの状態を読み取れなかったため、"
    "選べるリージョンがありません（ログを参照）。ドライブには何も送っていません。"
    "ドライブと接続を確認してから、もう一度試してください。"};
inline constexpr CliText kDiscPromptChoice{"OK (Enter) or Cancel (c)? ",
                                           "OK なら Enter、キャンセルなら c: "};
inline constexpr CliText kDiscPromptNoTerminal{"No terminal to answer on: Cancel.",
                                               "応答できる端末がないため、キャンセルします。"};

inline std::string_view Text(const CliText& pair) {
  return text::JapaneseMode() ? pair.japanese : pair.english;
}

// Every text in the current language, one after the other: what the terminal must be able to
// show.
inline std::string AllTexts() {
  const auto joined = [](const auto&... texts) { return (std::string(Text(texts)) + ...); };
  return joined(kDriveLabel, kRegionLabel, kRegionNone, kRegionInvalid, kStateNotRead,
                kChangesUnknown, kOfferedLabel, kNoRegions, kDiscPermitsLabel, kDiscUnprotected,
                kDiscNotRead, kDiscUnknownType, kCost, kCostNoRpc2, kCostUnknown, kAskSet,
                kLastChange, kAskPermanent, kNotConfirmed, kRefused, kRefusedStateUnread,
                kDiscPromptChoice, kDiscPromptNoTerminal);
}

// The text with each "{}" replaced by the next of `values`.
inline std::string Text(const CliText& pair, std::initializer_list<std::string_view> values) {
  std::string out(Text(pair));
  std::size_t at = 0;
  for (const std::string_view value : values) {
    at = out.find("{}", at);
    out.replace(at, 2, value);
    at += value.size();
  }
  return out;
}

}  // namespace varden::cli
