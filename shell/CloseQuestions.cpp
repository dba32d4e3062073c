#include "shell/CloseQuestions.h"

#include "shell/Texts.h"
#include "ui/Prompter.h"

namespace tessera::shell {

namespace {

// Yes saves and goes on only when a file was written; No discards; Cancel stays.
bool OfferSave(ui::Prompter& prompter, const UnsavedPage& page, const char* question) {
    if (!page || page.state() != 1) return true;
    switch (prompter.AskYesNoCancel(question)) {
        case ui::Answer::Yes:
            if (!page.save()) return false;
            page.setState(2);
            return true;
        case ui::Answer::No:
            return true;
        case ui::Answer::Cancel:
        default:
            return false;
    }
}

}  // namespace

bool RunCloseQuestions(ui::Prompter& prompter, const CloseHooks& hooks) {
    if (hooks.loggerRunning && hooks.loggerRunning()) {
        if (prompter.AskYesNo(kStopLoggerQuestion) != ui::Answer::Yes) return false;
        if (hooks.stopLogger) hooks.stopLogger();
    }
    if (!OfferSave(prompter, hooks.logger, kSaveLoggerQuestion)) return false;
    if (!OfferSave(prompter, hooks.entireRead, kSaveEntireReadQuestion)) return false;
    if (!OfferSave(prompter, hooks.settings, kSaveSettingsQuestion)) return false;
    return true;
}

}  // namespace tessera::shell
