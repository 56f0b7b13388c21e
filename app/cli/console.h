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

  // Writes the text with its "\r\n" pairs as "\n".
  void Write(std::string_view text);
  // Ends the current line unless the writer stands at the start of one.
  void EndLine();
  // EndLine, the text, "\n".
  void Line(std::string_view text);
  void Flush();
  // The user has answered a question on standard input: when the terminal echoed the answer
  // its Enter ended the line; otherwise (answers from a pipe) the line is ended here.
  void AnswerRead(bool echoed);

 private:
  std::ostream& out_;
  bool at_line_start_ = true;
  bool pending_cr_ = false;  // a "\r" whose next character has not been seen yet
};

// The text with "\r\n" pairs as "\n".
std::string TerminalLineEnds(std::string_view text);

// The text with every control character (below 20h, and 7Fh) as '?', so that bytes a drive
// reports cannot steer the terminal.
std::string Printable(std::string_view text);

}  // namespace varden::cli
