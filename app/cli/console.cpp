#include "app/cli/console.h"

#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/cli/cli_texts.h"
#include "text/shown_text.h"

namespace varden::cli {
namespace {

constexpr const char* kUtf8 = "UTF-8";
constexpr char kCodesetMark = '.';
constexpr char kModifierMark = '@';
constexpr char kUnknownCharacter = '?';
constexpr char kCarriageReturn = '\r';
constexpr char kLineFeed = '\n';
constexpr int kLongestSequence = 4;  // bytes of one UTF-8 character
// Room for the converted text: no character grows beyond twice its UTF-8 length in the
// sets of a terminal, and a little more for the converter's shift sequences.
constexpr std::size_t kGrowth = 2;
constexpr std::size_t kSpare = 16;
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// The converter from UTF-8 to the terminal's set; kNoConverter while no conversion is needed.
iconv_t g_converter = kNoConverter;

// "EUC-JP", "eucJP", "utf8" and "UTF-8" alike: upper case, without dashes and underscores.
std::string Folded(std::string_view name) {
  std::string out;
  for (const char c : name) {
    if (c != '-' && c != '_') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

// The character set of the locale the environment names for characters; for a locale that is
// not installed, the part of its name after the dot ("ja_JP.eucJP"), or UTF-8.
std::string LocaleCharset() {
  const char* current = std::setlocale(LC_CTYPE, nullptr);
  const std::string previous = current != nullptr ? current : "C";
  if (std::setlocale(LC_CTYPE, "") != nullptr) {
    const std::string codeset = nl_langinfo(CODESET);
    std::setlocale(LC_CTYPE, previous.c_str());
    return codeset;
  }
  std::string_view name;
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') {
      name = value;
      break;
    }
  }
  const std::size_t dot = name.find(kCodesetMark);
  if (dot == std::string_view::npos) return kUtf8;
  name.remove_prefix(dot + 1);
  return std::string(name.substr(0, name.find(kModifierMark)));
}

// Converts with g_converter; answers whether every character was held.
bool Convert(std::string_view utf8, std::string& out) {
  bool whole = true;
  std::string input(utf8);
  char* in = input.data();
  std::size_t in_left = input.size();
  std::string buffer(input.size() * kGrowth + kSpare, '\0');
  iconv(g_converter, nullptr, nullptr, nullptr, nullptr);
  while (in_left > 0) {
    char* to = buffer.data();
    std::size_t to_left = buffer.size();
    const std::size_t done = iconv(g_converter, &in, &in_left, &to, &to_left);
    out.append(buffer.data(), buffer.size() - to_left);
    if (done != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // A character the set cannot hold, or bytes that are not UTF-8 (a drive's own bytes):
    // skip the whole sequence its lead byte starts, as its leading one bits count it (one
    // byte for a stray one).
    whole = false;
    out += kUnknownCharacter;
    const int lead_ones = std::countl_one(static_cast<unsigned char>(*in));
    const auto skip = std::min<std::size_t>(std::clamp(lead_ones, 1, kLongestSequence), in_left);
    in += skip;
    in_left -= skip;
  }
  return whole;
}

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

void Console::Write(std::string_view text) {
  for (const char c : ForTerminal(text)) {
    if (pending_cr_) {
      pending_cr_ = false;
      if (c != kLineFeed) out_.put(kCarriageReturn);
    }
    if (c == kCarriageReturn) {
      pending_cr_ = true;
      continue;
    }
    out_.put(c);
    at_line_start_ = c == kLineFeed;
  }
}

void Console::EndLine() {
  if (pending_cr_) {
    pending_cr_ = false;
    out_.put(kCarriageReturn);
    at_line_start_ = false;
  }
  if (!at_line_start_) Write("\n");
}

void Console::Line(std::string_view text) {
  EndLine();
  Write(text);
  Write("\n");
}

void Console::AnswerRead(bool echoed) {
  if (echoed) {
    at_line_start_ = true;
  } else {
    EndLine();
  }
}

void ErrorLine(Console& err, const std::string& message) {
  err.Line(text::ShownText("varden-cli: " + message));
}

bool UseLocaleCharset(std::string_view sample) {
  const std::string charset = LocaleCharset();
  if (Folded(charset) == Folded(kUtf8)) return true;
  g_converter = iconv_open(charset.c_str(), kUtf8);
  if (g_converter == kNoConverter) return false;
  std::string converted;
  if (Convert(sample, converted)) return true;
  iconv_close(g_converter);
  g_converter = kNoConverter;
  return false;
}

std::string ForTerminal(std::string_view utf8) {
  std::string out;
  if (g_converter == kNoConverter) return std::string(utf8);
  Convert(utf8, out);
  return out;
}

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
