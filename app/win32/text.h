#pragma once
// Text between the program's UTF-8 and the UTF-16 that the Win32 calls
// take.

#include <string>
#include <string_view>

namespace app::win32 {

// Bytes that are not UTF-8 become U+FFFD, so a line is always shown.
std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace app::win32
