#pragma once
// The questions asked before the main window closes, in their fixed order. Each page is
// reached through a few callbacks, so the sequence runs the same against the real pages
// and against stand-ins; a page without callbacks is skipped.

#include <functional>

#include "page/DataState.h"

namespace tessera::page {
class Prompter;
}

namespace tessera::shell {

// A page whose shown data could be lost: its state and its save, which answers true only
// when a file was written.
struct UnsavedPage {
    std::function<page::DataState()> state;
    std::function<void(page::DataState)> setState;
    std::function<bool()> save;
    explicit operator bool() const { return state && setState && save; }
};

struct CloseHooks {
    std::function<bool()> loggerRunning;
    std::function<void()> stopLogger;
    UnsavedPage logger;      // data state of the logger page
    UnsavedPage entireRead;  // data state of the Entire Read page
    UnsavedPage settings;    // modified mark of the Configuration page
};

// True when the window may close; false as soon as any answer keeps it open.
bool RunCloseQuestions(page::Prompter& prompter, const CloseHooks& hooks);

}  // namespace tessera::shell
