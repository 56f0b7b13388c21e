// Text for the terminal: the log's "\r\n" line ends become "\n", and the writer remembers
// whether it stands at the start of a line, so that a prompt or a summary never runs on
// into a log text that has no line end. And the questions asked of a person there: the cost
// of a change of region, and the disc prompt of the change; asked on standard output, or on
// standard error under --json, and answered on standard input.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace varden::cli {

class Console {
 public:
  explicit Console(std::ostream& out) : out_(out) {}

  void Write(std::string_view text);  // in the terminal's character set
  void EndLine();                     // unless the writer stands at the start of a line
  void Line(std::string_view text);   // EndLine, the text, "\n"
  void Flush() { out_.flush(); }
  // The user has answered a question on standard input: when the terminal echoed the answer
  // its Enter ended the line; otherwise (answers from a pipe) the line is ended here.
  void AnswerRead(bool echoed);

 private:
  std::ostream& out_;
  bool at_line_start_ = true;
  bool pending_cr_ = false;  // a "\r" whose next character has not been seen yet
};

// "varden-cli: " and the message, made safe for the terminal, on standard error.
void ErrorLine(Console& err, const std::string& message);

// Converts the program's UTF-8 texts to the character set of the locale the environment names
// (EUC-JP, Shift_JIS) when that set can hold `sample`. False, and nothing converted, when it
// cannot or no converter can be had (a static program without its conversion modules).
bool UseLocaleCharset(std::string_view sample);

// The text in the terminal's character set; a character the set cannot hold becomes '?'.
std::string ForTerminal(std::string_view utf8);

// What a change of region spends: the user changes left before and after it (nothing when
// the drive's count is not known or does not apply), and whether it spends the last one.
struct ChangeCost {
  std::optional<int> before;
  std::optional<int> after;
  bool becomes_permanent = false;
};

// Tells on `talk` what setting `drive` to `region` costs and asks, unless `yes` (--yes)
// answers; a change that leaves none is asked about again. `state_read`: whether the drive's
// state is known at all.
bool ConfirmCost(Console& talk, bool yes, char drive, int region, bool state_read,
                 const ChangeCost& cost);

// The disc prompt, OK or Cancel, on `talk` after standard output `out` is flushed. Without a
// terminal nobody can insert a disc and answer, so it is Cancel.
bool AskDisc(Console& out, Console& talk, std::string_view prompt, std::string_view caption);

}  // namespace varden::cli
