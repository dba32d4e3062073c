#pragma once
// UTF-8 <-> UTF-16 for the Windows side of the platform layer: the rest of the system keeps
// paths and names in UTF-8 std::string, the wide Windows calls take UTF-16.

#include <string>
#include <string_view>

namespace tessera::platform::win {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace tessera::platform::win
