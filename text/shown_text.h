// Text that came from outside the program (a file, the command line, a drive) made safe to
// show on a terminal or in a one-line message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace varden::text {

// Control characters (C0, DEL and C1, the last written in UTF-8 as C2 80 to C2 9F) are shown
// as codes (\u001B, \u009B) and bytes that are no UTF-8 character as \xFF, so nothing shown
// moves the cursor, starts an escape sequence or breaks a line. Text longer than `max_bytes`
// is cut at a character boundary and ends in "...".
std::string ShownText(std::string_view text, std::size_t max_bytes = std::string_view::npos);

}  // namespace varden::text
