#include "app/cli/questions.h"

#include <unistd.h>

#include <cctype>
#include <iostream>
#include <string>

#include "app/cli/cli_texts.h"

namespace varden::cli {
namespace {

// The answer as one lower-case word, blanks dropped.
std::string AnswerWord(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

bool StdinIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

}  // namespace

bool Questions::Confirm(std::string_view question) {
  talk_.EndLine();
  talk_.Write(question);
  talk_.Flush();
  std::string answer;
  const bool got = static_cast<bool>(std::getline(std::cin, answer));
  talk_.AnswerRead(got && StdinIsTerminal());
  const std::string word = AnswerWord(answer);
  return got && (word == "y" || word == "yes");
}

bool Questions::ConfirmCost(char drive, int region, bool state_read, const ChangeCost& cost) {
  talk_.EndLine();
  if (cost.before) {
    talk_.Line(std::string(Text(CliText::kCostBefore)) + std::to_string(*cost.before) +
               std::string(Text(CliText::kCostBetween)) + std::to_string(*cost.after) +
               std::string(Text(CliText::kCostAfter)));
  } else {
    talk_.Line(state_read ? Text(CliText::kCostNoRpc2) : Text(CliText::kCostUnknown));
  }
  const std::string region_text = std::to_string(region);
  if (!yes_ && !Confirm(std::string(Text(CliText::kAskSetBefore)) + drive + ":" +
                        std::string(Text(CliText::kAskSetBetween)) + region_text +
                        std::string(Text(CliText::kAskSetAfter)))) {
    return false;
  }
  if (cost.becomes_permanent) {
    talk_.Line(std::string(Text(CliText::kLastChangeBefore)) + region_text +
               std::string(Text(CliText::kLastChangeAfter)));
    if (!yes_ && !Confirm(std::string(Text(CliText::kAskPermanentBefore)) + region_text +
                          std::string(Text(CliText::kAskPermanentAfter)))) {
      return false;
    }
  }
  return true;
}

bool Questions::DiscPrompt(std::string_view prompt, std::string_view caption) {
  out_.Flush();
  talk_.EndLine();
  talk_.Write(std::string(caption) + ": ");
  talk_.Write(prompt);
  talk_.EndLine();
  if (!StdinIsTerminal()) {
    talk_.Line(Text(CliText::kDiscPromptNoTerminal));
    return false;
  }
  talk_.Write(Text(CliText::kDiscPromptChoice));
  talk_.Flush();
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    talk_.AnswerRead(false);
    return false;
  }
  talk_.AnswerRead(true);
  const std::string word = AnswerWord(answer);
  return !(word == "c" || word == "cancel");
}

}  // namespace varden::cli
