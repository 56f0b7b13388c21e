// The catalogue's and the templates' UTF-8 texts as the wide (UTF-16) texts of the platform's
// wide functions, and back, so that a text reads right whatever the ANSI code page is.
#pragma once

#include <string>
#include <string_view>

namespace varden::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace varden::win32
