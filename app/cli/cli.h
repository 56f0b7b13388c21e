// The parts of varden-cli: the command line, the terminal it talks to, and the commands.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

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
  std::optional<int> before;
  std::optional<int> after;
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

}  // namespace varden::cli
