#pragma once
// How the person at the computer writes numbers in a list: the decimal mark and the
// separator between fields that their spreadsheet expects when it opens a CSV file ("," and
// ";" under de_DE). Read from the user's locale settings each time it is asked, without
// touching the C library's global locale, which the program's readers rely on being "C".

#include <string>

namespace tessera::platform {

struct NumberMarks {
    std::string decimal = ".";    // UTF-8
    std::string separator = ",";  // UTF-8
};

// On Unix the locale the environment names for numbers (LC_ALL, LC_NUMERIC, LANG), its
// decimal mark, and ";" as separator where the decimal mark is a comma; on Windows the
// user's regional settings (decimal symbol and list separator). "." and "," when nothing says.
NumberMarks UserNumberMarks();

}  // namespace tessera::platform
