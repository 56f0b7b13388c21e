#include "text/shown_text.h"

#include <cstdio>

namespace varden::text {
namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kC1Lead = 0xC2;       // U+0080 to U+00BF start with this byte
constexpr unsigned char kAfterC1Tail = 0xA0;  // C2 80 to C2 9F are the C1 controls
constexpr unsigned char kContinuationMask = 0xC0;
constexpr unsigned char kContinuation = 0x80;

// The length of the well-formed UTF-8 character that starts at `i`, or 0.
std::size_t CharacterLength(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = lead < 0x80           ? 1
                       : (lead >> 5) == 0x6  ? 2
                       : (lead >> 4) == 0xE  ? 3
                       : (lead >> 3) == 0x1E ? 4
                                             : 0;
  if (length > text.size() - i) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & kContinuationMask) != kContinuation) return 0;
  }
  return length;
}

}  // namespace

std::string ShownText(std::string_view text, std::size_t max_bytes) {
  std::string shown;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = CharacterLength(text, i);
    const bool c1 =
        length == 2 && lead == kC1Lead && static_cast<unsigned char>(text[i + 1]) < kAfterC1Tail;
    std::string piece;
    if (length == 0 || lead < kFirstPrintable || lead == kDelete || c1) {
      const unsigned code = c1 ? static_cast<unsigned char>(text[i + 1]) : lead;
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, length == 0 ? "\\x%02X" : "\\u%04X", code);
      piece = escaped;
      length = length == 0 ? 1 : length;
    } else {
      piece.assign(text.substr(i, length));
    }
    if (shown.size() + piece.size() > max_bytes) return shown + "...";
    shown += piece;
    i += length;
  }
  return shown;
}

}  // namespace varden::text
