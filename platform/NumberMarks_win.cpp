#include <windows.h>

#include "platform/NumberMarks.h"
#include "platform/Text_win.h"

namespace tessera::platform {

namespace {

std::string Setting(LCTYPE what) {
    wchar_t text[16] = {};
    const int n = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, what, text, 16);
    if (n <= 1) return {};
    return win::Narrow(std::wstring_view(text, static_cast<std::size_t>(n - 1)));
}

}  // namespace

NumberMarks UserNumberMarks() {
    NumberMarks marks;
    if (std::string decimal = Setting(LOCALE_SDECIMAL); !decimal.empty()) marks.decimal = decimal;
    // The list separator is what a spreadsheet here splits a CSV line at.
    if (std::string list = Setting(LOCALE_SLIST); !list.empty()) marks.separator = list;
    else if (marks.decimal == ",") marks.separator = ";";
    if (marks.separator == marks.decimal) marks.separator = marks.decimal == "," ? ";" : ",";
    return marks;
}

}  // namespace tessera::platform
