#include "shell/CloseQuestions.h"

#include "page/Prompter.h"
#include "shell/Texts.h"

namespace tessera::shell {

namespace {

// Yes saves and goes on only when a file was written; No discards; Cancel stays.
bool OfferSave(page::Prompter& prompter, const UnsavedPage& unsaved, const char* question) {
    if (!unsaved || unsaved.state() != page::DataState::Unsaved) return true;
    switch (prompter.AskYesNoCancel({page::Topic::SaveShownData, question})) {
        case page::Answer::Yes:
            if (!unsaved.save()) return false;
            unsaved.setState(page::DataState::Saved);
            return true;
        case page::Answer::No: return true;
        case page::Answer::Cancel:
        default: return false;
    }
}

}  // namespace

bool RunCloseQuestions(page::Prompter& prompter, const CloseHooks& hooks) {
    if (hooks.loggerRunning && hooks.loggerRunning()) {
        if (prompter.AskYesNo({page::Topic::StopLogging, kStopLoggerQuestion}) != page::Answer::Yes) return false;
        if (hooks.stopLogger) hooks.stopLogger();
    }
    if (!OfferSave(prompter, hooks.logger, kSaveLoggerQuestion)) return false;
    if (!OfferSave(prompter, hooks.entireRead, kSaveEntireReadQuestion)) return false;
    if (!OfferSave(prompter, hooks.settings, kSaveSettingsQuestion)) return false;
    return true;
}

}  // namespace tessera::shell
