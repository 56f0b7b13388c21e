#include "app/cli/cli_texts.h"

#include <array>
#include <cstddef>

#include "text/catalogue.h"

namespace varden::cli {
namespace {

struct Row {
  CliText key;
  std::string_view english;
  std::string_view japanese;
};

constexpr Row kRows[] = {
    {CliText::kDriveLabel, "Drive: ", "ドライブ: "},
    {CliText::kRegionLabel, "Region: ", "リージョン: "},
    {CliText::kRegionNone, "none", "未設定"},
    {CliText::kRegionInvalid, "invalid", "不正な値"},
    {CliText::kStateNotRead, "unknown (the drive's state could not be read)",
     "不明（ドライブの状態を読み取れませんでした）"},
    {CliText::kChangesUnknown, "Changes left: unknown", "残りの変更回数: 不明"},
    {CliText::kOfferedLabel, "Regions offered for a change: ", "変更先として選べるリージョン: "},
    {CliText::kNoRegions, "none", "なし"},
    {CliText::kDiscPermitsLabel, "Disc permits regions: ", "ディスクが許可するリージョン: "},
    {CliText::kDiscUnprotected, " (no copy protection)", "（コピープロテクトなし）"},
    {CliText::kDiscNotRead,
     "Disc: permitted regions not known (no disc, or the drive could not read it)",
     "ディスク: 許可されたリージョンは不明です（ディスクがないか、読み取れませんでした）"},
    {CliText::kDiscUnknownType, "Disc: permitted regions not known (unknown copy protection type ",
     "ディスク: 許可されたリージョンは不明です（不明なコピープロテクト方式 "},
    {CliText::kDiscUnknownTypeEnd, "h)", "h）"},
    {CliText::kCostBefore, "Changes left: ", "残りの変更回数: 現在 "},
    {CliText::kCostBetween, " now, ", " 回、この変更の後 "},
    {CliText::kCostAfter, " after this change.", " 回。"},
    {CliText::kCostNoRpc2,
     "This drive does not follow RPC Phase II: the change count does not apply.",
     "このドライブはRPC Phase IIに従っていないため、変更回数は関係しません。"},
    {CliText::kCostUnknown, "The drive's change count could not be read.",
     "ドライブの変更回数を読み取れませんでした。"},
    {CliText::kAskSetBefore, "Set drive ", "ドライブ "},
    {CliText::kAskSetBetween, " to region ", " のリージョンを "},
    {CliText::kAskSetAfter, "? [y/N] ", " に設定しますか? [y/N] "},
    {CliText::kLastChangeBefore, "This is the last change: afterwards the drive keeps region ",
     "これが最後の変更です。この後ドライブのリージョンは "},
    {CliText::kLastChangeAfter, " for good and can never be changed again.",
     " に固定され、二度と変更できません。"},
    {CliText::kAskPermanentBefore, "Make region ", "リージョン "},
    {CliText::kAskPermanentAfter, " permanent? [y/N] ", " に固定しますか? [y/N] "},
    {CliText::kNotConfirmed, "Not confirmed: nothing was sent to the drive.",
     "確認されなかったため、ドライブには何も送っていません。"},
    {CliText::kRefusedBefore, "Region ", "リージョン "},
    {CliText::kRefusedBetween, " is not offered for this drive (offered: ",
     " はこのドライブでは選べません（選べるリージョン: "},
    {CliText::kRefusedAfter, "): nothing was sent to the drive.",
     "）。ドライブには何も送っていません。"},
    {CliText::kRefusedStateUnread,
     " is not offered for this drive: none is, because the drive's region state could not be "
     "read (see the log). Nothing was sent to the drive; check the drive and its connection, "
     "then try again.",
     " はこのドライブでは選べません。ドライブのリージョンの状態を読み取れなかったため、"
     "選べるリージョンがありません（ログを参照）。ドライブには何も送っていません。"
     "ドライブと接続を確認してから、もう一度試してください。"},
    {CliText::kDiscPromptChoice, "OK (Enter) or Cancel (c)? ", "OK なら Enter、キャンセルなら c: "},
    {CliText::kDiscPromptNoTerminal, "No terminal to answer on: Cancel.",
     "応答できる端末がないため、キャンセルします。"},
};

constexpr bool RowsInEnumOrder() {
  for (std::size_t i = 0; i < std::size(kRows); ++i) {
    if (static_cast<std::size_t>(kRows[i].key) != i) return false;
  }
  return static_cast<std::size_t>(CliText::kDiscPromptNoTerminal) + 1 == std::size(kRows);
}
static_assert(RowsInEnumOrder(), "kRows must list every text once, in the order of CliText");

}  // namespace

std::string AllTexts() {
  std::string all;
  for (const Row& row : kRows) all += Text(row.key);
  return all;
}

std::string_view Text(CliText key) {
  const Row& row = kRows[static_cast<std::size_t>(key)];
  return text::JapaneseMode() ? row.japanese : row.english;
}

}  // namespace varden::cli
