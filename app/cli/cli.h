// The parts of varden-cli: the command line, the terminal it talks to, the commands, and the
// program's own texts.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "text/catalogue.h"

namespace varden::cli {

using Json = nlohmann::json;

inline constexpr int kExitOk = 0;
inline constexpr int kExitDriveFailed = 1;  // the drive operation failed; the log says why
inline constexpr int kExitUsage = 2;        // bad usage; nothing was sent to a drive

enum class Command { kList, kReport, kSet, kHelp, kVersion };

struct Options {
  Command command = Command::kHelp;
  std::string_view name;  // the command as written, once recognised: "list", "report", "set"
  bool json = false;
  bool yes = false;
  bool emulated = false;             // --emulated given
  std::filesystem::path state_file;  // empty: the demo's default state file
  std::optional<char> drive;         // upper case; nothing means the first drive found
  int region = 0;                    // set only: 1 to 6
};

// Reads one command with its operands, and the options before or after it ("--" ends them),
// checking only their form. Answers the mistake, in one line that says what to do; `options`
// still tells whether --json was given and the command when one was recognised.
std::optional<std::string> ParseCommandLine(int argc, char** argv, Options& options);
std::string UsageText();

// Text for the terminal: the log's "\r\n" line ends become "\n", and the writer remembers
// whether it stands at the start of a line, so that a prompt or a summary never runs on into a
// log text that has no line end.
class Console {
 public:
  explicit Console(std::ostream& out) : out_(out) {}

  void Write(std::string_view text);  // in the terminal's character set
  void EndLine();                     // unless the writer stands at the start of a line
  void Line(std::string_view text);   // EndLine, the text, "\n"
  void Flush() { out_.flush(); }
  // Writes `question` and reads the answer on standard input as one lower-case word, blanks
  // dropped; nothing at the end of input.
  std::optional<std::string> Ask(std::string_view question);

 private:
  std::ostream& out_;
  bool at_line_start_ = true;
  bool pending_cr_ = false;  // a "\r" whose next character has not been seen yet
};

// "varden-cli: " and the message, made safe for the terminal, on standard error.
void ErrorLine(Console& err, const std::string& message);

// Converts the program's UTF-8 texts to the character set of the environment's locale (EUC-JP,
// Shift_JIS) when that set can hold `sample`; false, and nothing converted, when it cannot or no
// converter can be had. ForTerminal: the text in that set, '?' for a character it cannot hold.
bool UseLocaleCharset(std::string_view sample);
std::string ForTerminal(std::string_view utf8);

// What a change of region spends: the user changes left before and after it (nothing when the
// drive's count is not known or does not apply), and whether it spends the last one.
struct ChangeCost {
  std::optional<int> before, after;
  bool becomes_permanent = false;
};

// The questions, on `talk`. The cost of setting `drive` to `region`, asked unless `yes` (--yes)
// answers, and again when the change leaves none; `state_read`: whether the state is known.
bool ConfirmCost(Console& talk, bool yes, char drive, int region, bool state_read,
                 const ChangeCost& cost);
// The disc prompt, OK or Cancel, after standard output `out` is flushed. Without a terminal
// nobody can insert a disc and answer, so it is Cancel.
bool AskDisc(Console& out, Console& talk, std::string_view prompt, std::string_view caption);

// Runs the command of `options` on the drives they name; answers the exit status.
int RunCommand(const Options& options);

// The end of a line: under --json, `doc` on standard output with the fields every document has
// ("command", "ok", "exit_status", "error"), UTF-8 whatever the locale. Answers `status`.
int End(const Options& options, Json doc, int status,
        const std::optional<std::string>& error = std::nullopt);
// A line that failed: the message on standard error, then End.
int Refuse(Console& err, const Options& options, int status, const std::string& message,
           const Json& doc = Json::object());

// The command line's own texts, in English and Japanese: the summary lines that tell the state
// the dialog would show, and the questions of the region change. They follow the catalogue's
// language, decided once at start. "{}" stands where a value goes.
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

// The text in the catalogue's language, each "{}" replaced by the next of `values`.
inline std::string Text(const CliText& pair, std::initializer_list<std::string_view> values = {}) {
  std::string out(text::JapaneseMode() ? pair.japanese : pair.english);
  std::size_t at = 0;
  for (const std::string_view value : values) {
    at = out.find("{}", at);
    out.replace(at, 2, value);
    at += value.size();
  }
  return out;
}

// Every text in the current language, one after the other: what the terminal must be able to
// show.
inline std::string AllTexts() {
  const auto joined = [](const auto&... texts) { return (Text(texts) + ...); };
  return joined(kDriveLabel, kRegionLabel, kRegionNone, kRegionInvalid, kStateNotRead,
                kChangesUnknown, kOfferedLabel, kNoRegions, kDiscPermitsLabel, kDiscUnprotected,
                kDiscNotRead, kDiscUnknownType, kCost, kCostNoRpc2, kCostUnknown, kAskSet,
                kLastChange, kAskPermanent, kNotConfirmed, kRefused, kRefusedStateUnread,
                kDiscPromptChoice, kDiscPromptNoTerminal);
}

}  // namespace varden::cli
