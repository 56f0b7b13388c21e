// Text for the terminal: the log's "\r\n" line ends become "\n", and the writer remembers
// whether it stands at the start of a line, so that a prompt or a summary never runs on
// into a log text that has no line end.
#pragma once

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

}  // namespace varden::cli
