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

}  // namespace

bool Questions::Confirm(const std::string& question) {
  talk_.EndLine();
  talk_.Write(question);
  talk_.Flush();
  const std::optional<std::string> word = AnswerWord();
  talk_.AnswerRead(word && StdinIsTerminal());
  return word && (*word == "y" || *word == "yes");
}

bool Questions::ConfirmCost(char drive, int region, bool state_read, const ChangeCost& cost) {
  talk_.EndLine();
  if (cost.before) {
    talk_.Line(Text(kCost, {std::to_string(*cost.before), std::to_string(*cost.after)}));
  } else {
    talk_.Line(Text(state_read ? kCostNoRpc2 : kCostUnknown));
  }
  const std::string number = std::to_string(region);
  if (!yes_ && !Confirm(Text(kAskSet, {std::string(1, drive) + ":", number}))) return false;
  if (!cost.becomes_permanent) return true;
  talk_.Line(Text(kLastChange, {number}));
  return yes_ || Confirm(Text(kAskPermanent, {number}));
}

bool Questions::DiscPrompt(std::string_view prompt, std::string_view caption) {
  out_.Flush();
  talk_.EndLine();
  talk_.Write(std::string(caption) + ": ");
  talk_.Write(prompt);
  talk_.EndLine();
  if (!StdinIsTerminal()) {
    talk_.Line(Text(kDiscPromptNoTerminal));
    return false;
  }
  talk_.Write(Text(kDiscPromptChoice));
  talk_.Flush();
  const std::optional<std::string> word = AnswerWord();
  talk_.AnswerRead(word.has_value());
  return word && *word != "c" && *word != "cancel";
}

}  // namespace varden::cli
