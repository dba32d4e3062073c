#pragma once
// What a page's shown data are to the person: nothing shown, shown and never saved, or saved
// (or read from a file). The two data pages keep one each, and the questions that guard data
// (the pages' own, the window's close questions, the offer to recover a crashed run) read
// them. The Configuration page's modified mark takes the same three steps: clean, changed
// and not saved, saved from a question.

#include <cstdint>

namespace tessera::page {

enum class DataState : std::uint8_t {
    None,     // nothing shown (a clean mark)
    Unsaved,  // data shown that would be lost
    Saved,    // saved, or read from a file
};

}  // namespace tessera::page
