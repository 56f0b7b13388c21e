#include "app/cli/console.h"

namespace varden::cli {
namespace {

constexpr char kCarriageReturn = '\r';
constexpr char kLineFeed = '\n';
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;

}  // namespace

void Console::Write(std::string_view text) {
  for (const char c : text) {
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

void Console::Flush() {
  out_.flush();
}

void Console::AnswerRead(bool echoed) {
  if (echoed) {
    at_line_start_ = true;
  } else {
    EndLine();
  }
}

std::string TerminalLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == kCarriageReturn && i + 1 < text.size() && text[i + 1] == kLineFeed) continue;
    out += text[i];
  }
  return out;
}

std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < kFirstPrintable || byte == kDelete) c = '?';
  }
  return out;
}

}  // namespace varden::cli
