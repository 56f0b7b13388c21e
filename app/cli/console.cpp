#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <clocale>
#include <iostream>
#include <utility>

#include "app/cli/cli.h"
#include "text/linux/locale_code_page.h"
#include "text/shown_text.h"

namespace varden::cli {
namespace {

constexpr const char* kUtf8 = "UTF-8";
constexpr char kUnknownCharacter = '?';
constexpr int kLongestSequence = 4;  // bytes of one UTF-8 character
// Room for the converted text: no set takes more than four bytes for one UTF-8 byte (UTF-32),
// and a little more for a byte order mark and the converter's shift sequences.
constexpr std::size_t kGrowth = 4;
constexpr std::size_t kSpare = 16;
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// The converter from UTF-8 to the terminal's set; kNoConverter while no conversion is needed.
iconv_t g_converter = kNoConverter;

// "EUC-JP", "eucJP", "utf8" and "UTF-8" alike: upper case, without dashes and underscores.
std::string Folded(std::string name) {
  std::erase_if(name, [](char c) { return c == '-' || c == '_'; });
  std::ranges::transform(name, name.begin(), [](unsigned char c) { return std::toupper(c); });
  return name;
}

// The text converted with g_converter. A character the set cannot hold, or bytes that are not
// UTF-8 (a drive's own), become '?': the whole sequence its lead byte starts, as its leading
// one bits count it (one byte for a stray one); `whole` then turns false.
std::string Converted(std::string_view utf8, bool& whole) {
  std::string input(utf8), out(input.size() * kGrowth + kSpare, '\0');
  char *in = input.data(), *to = out.data();
  std::size_t in_left = input.size(), to_left = out.size();
  iconv(g_converter, nullptr, nullptr, nullptr, nullptr);
  while (iconv(g_converter, &in, &in_left, &to, &to_left) == static_cast<std::size_t>(-1)) {
    whole = false;
    *to++ = kUnknownCharacter;
    --to_left;
    const int lead_ones = std::countl_one(static_cast<unsigned char>(*in));
    const auto skip = std::min<std::size_t>(std::clamp(lead_ones, 1, kLongestSequence), in_left);
    in += skip;
    in_left -= skip;
  }
  out.resize(static_cast<std::size_t>(to - out.data()));
  return out;
}

// Asks a yes/no question; only "y" or "yes" is yes, and the end of input is no.
bool Confirm(Console& talk, const std::string& question) {
  talk.EndLine();
  const std::optional<std::string> word = talk.Ask(question);
  return word && (*word == "y" || *word == "yes");
}

}  // namespace

void Console::Write(std::string_view text) {
  for (const char c : ForTerminal(text)) {
    if (pending_cr_) {
      pending_cr_ = false;
      if (c != '\n') out_.put('\r');
    }
    if (c == '\r') {
      pending_cr_ = true;
      continue;
    }
    out_.put(c);
    at_line_start_ = c == '\n';
  }
}

void Console::EndLine() {
  if (pending_cr_) {
    pending_cr_ = false;
    out_.put('\r');
    at_line_start_ = false;
  }
  if (!at_line_start_) Write("\n");
}

void Console::Line(std::string_view text) {
  EndLine();
  Write(text);
  Write("\n");
}

std::optional<std::string> Console::Ask(std::string_view question) {
  Write(question);
  Flush();
  std::string answer, word;
  const bool read = static_cast<bool>(std::getline(std::cin, answer));
  for (const char c : answer) {
    if (!std::isspace(static_cast<unsigned char>(c))) {
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  // A terminal that echoed an answer ended the line with its Enter; a pipe, or no answer, did not.
  if (read && isatty(STDIN_FILENO) == 1) {
    at_line_start_ = true;
  } else {
    EndLine();
  }
  return read ? std::optional(word) : std::nullopt;
}

void ErrorLine(Console& err, const std::string& message) {
  err.Line(text::ShownText("varden-cli: " + message));
}

bool UseLocaleCharset(std::string_view sample) {
  // The character set of the locale the environment names for characters; for a locale that is
  // not installed, the part of its name after the dot ("ja_JP.eucJP"), or UTF-8.
  std::string charset = text::EnvironmentLocaleName("LC_CTYPE");
  const char* current = std::setlocale(LC_CTYPE, nullptr);
  const std::string previous = current != nullptr ? current : "C";
  if (std::setlocale(LC_CTYPE, "") != nullptr) {
    charset = nl_langinfo(CODESET);
    std::setlocale(LC_CTYPE, previous.c_str());
  } else {
    const std::size_t dot = charset.find('.');
    charset = dot == std::string::npos ? kUtf8
                                       : charset.substr(dot + 1, charset.find('@', dot) - dot - 1);
  }
  if (Folded(charset) == Folded(kUtf8)) return true;
  g_converter = iconv_open(charset.c_str(), kUtf8);
  bool whole = g_converter != kNoConverter;
  if (whole) Converted(sample, whole);
  if (!whole && g_converter != kNoConverter) iconv_close(std::exchange(g_converter, kNoConverter));
  return whole;
}

std::string ForTerminal(std::string_view utf8) {
  bool whole = true;
  return g_converter == kNoConverter ? std::string(utf8) : Converted(utf8, whole);
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
  if (isatty(STDIN_FILENO) != 1) {
    talk.Line(Text(kDiscPromptNoTerminal));
    return false;
  }
  const std::optional<std::string> word = talk.Ask(Text(kDiscPromptChoice));
  return word && *word != "c" && *word != "cancel";
}

}  // namespace varden::cli
