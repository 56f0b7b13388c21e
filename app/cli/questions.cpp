#include "app/cli/questions.h"

#include <unistd.h>

#include <cctype>
#include <iostream>
#include <string>

#include "app/cli/cli_texts.h"

namespace varden::cli {
namespace {

// Reads the answer as one lower-case word, blanks dropped; nothing at the end of input.
std::optional<std::string> AnswerWord() {
  std::string answer, word;
  if (!std::getline(std::cin, answer)) return std::nullopt;
  for (const char c : answer) {
    if (!std::isspace(static_cast<unsigned char>(c))) {
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return word;
}

bool StdinIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

// Asks a yes/no question; only "y" or "yes" is yes, and the end of input is no.
bool Confirm(Console& talk, const std::string& question) {
  talk.EndLine();
  talk.Write(question);
  talk.Flush();
  const std::optional<std::string> word = AnswerWord();
  talk.AnswerRead(word && StdinIsTerminal());
  return word && (*word == "y" || *word == "yes");
}

}  // namespace

bool ConfirmCost(Console& talk, bool yes, char drive, int region, bool state_read,
                 const ChangeCost& cost) {
  talk.EndLine();
  if (cost.before) {
    talk.Line(Text(kCost, {std::to_string(*cost.before), std::to_string(*cost.after)}));
  } else {
    talk.Line(Text(state_read ? kCostNoRpc2 : kCostUnknown));
  }
  const std::string number = std::to_string(region);
  if (!yes && !Confirm(talk, Text(kAskSet, {std::string(1, drive) + ":", number}))) return false;
  if (!cost.becomes_permanent) return true;
  talk.Line(Text(kLastChange, {number}));
  return yes || Confirm(talk, Text(kAskPermanent, {number}));
}

bool AskDisc(Console& out, Console& talk, std::string_view prompt, std::string_view caption) {
  out.Flush();
  talk.EndLine();
  talk.Write(std::string(caption) + ": ");
  talk.Write(prompt);
  talk.EndLine();
  if (!StdinIsTerminal()) {
    talk.Line(Text(kDiscPromptNoTerminal));
    return false;
  }
  talk.Write(Text(kDiscPromptChoice));
  talk.Flush();
  const std::optional<std::string> word = AnswerWord();
  talk.AnswerRead(word.has_value());
  return word && *word != "c" && *word != "cancel";
}

}  // namespace varden::cli
