#pragma once
// A locale with a decimal comma for the C library's numbers while it lives, as a Qt program
// takes the user's locale on Unix: what the program writes and reads must not change.

#include <clocale>

namespace tessera::testing {

class CommaLocale {
public:
    CommaLocale() {
        // POSIX names first, then the Windows C runtime's.
        for (const char* name :
             {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "German_Germany.1252", "de-DE"})
            if (std::setlocale(LC_NUMERIC, name)) {
                active_ = *std::localeconv()->decimal_point == ',';
                break;
            }
    }
    ~CommaLocale() { std::setlocale(LC_NUMERIC, "C"); }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;
    // False when no such locale is installed (tools/bootstrap.sh generates de_DE.UTF-8).
    bool Active() const { return active_; }

private:
    bool active_ = false;
};

}  // namespace tessera::testing
