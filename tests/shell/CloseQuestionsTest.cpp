// The questions before the main window closes: their order and exact texts, and that any
// refusal or failed save keeps the window open with the page states as they were.

#include <gtest/gtest.h>

#include "shell/CloseQuestions.h"
#include "shell/Texts.h"
#include "tests/support/ScriptedPrompter.h"

using namespace tessera;
using page::Answer;
using page::DataState;
using tessera::testing::ScriptedPrompter;

namespace {

// Stand-ins for the three pages and the logger run.
struct Pages {
    bool running = false;
    int stops = 0;
    DataState loggerState = DataState::None, entireState = DataState::None, mark = DataState::None;
    bool loggerSaves = true, entireSaves = true, settingsSave = true;
    int loggerSaveCalls = 0, entireSaveCalls = 0, settingsSaveCalls = 0;

    shell::CloseHooks Hooks() {
        shell::CloseHooks h;
        h.loggerRunning = [this] { return running; };
        h.stopLogger = [this] {
            ++stops;
            running = false;
            loggerState = DataState::Unsaved;  // a stopped run leaves its samples unsaved
        };
        h.logger = {[this] { return loggerState; }, [this](DataState s) { loggerState = s; },
                    [this] {
                        ++loggerSaveCalls;
                        return loggerSaves;
                    }};
        h.entireRead = {[this] { return entireState; }, [this](DataState s) { entireState = s; },
                        [this] {
                            ++entireSaveCalls;
                            return entireSaves;
                        }};
        h.settings = {[this] { return mark; }, [this](DataState s) { mark = s; },
                      [this] {
                          ++settingsSaveCalls;
                          return settingsSave;
                      }};
        return h;
    }
};

TEST(CloseQuestions, NothingUnsavedAsksNothing) {
    Pages pages;
    pages.loggerState = DataState::Saved;  // saved or read from a file
    pages.entireState = DataState::None;
    pages.mark = DataState::Saved;
    ScriptedPrompter prompter;
    EXPECT_TRUE(shell::RunCloseQuestions(prompter, pages.Hooks()));
    EXPECT_TRUE(prompter.events.empty());
    // Pages that are not part of the window are skipped.
    EXPECT_TRUE(shell::RunCloseQuestions(prompter, shell::CloseHooks{}));
    EXPECT_TRUE(prompter.events.empty());
}

TEST(CloseQuestions, RunningLoggerNoKeepsEverythingRunning) {
    Pages pages;
    pages.running = true;
    pages.entireState = DataState::Unsaved;
    ScriptedPrompter prompter;
    prompter.answers = {Answer::No};
    EXPECT_FALSE(shell::RunCloseQuestions(prompter, pages.Hooks()));
    EXPECT_TRUE(pages.running);
    EXPECT_EQ(pages.stops, 0);
    EXPECT_EQ(
        prompter.Questions(),
        (std::vector<std::string>{"The QM8620 is busy with \"Effective Value Logger\". \n\nDo you want to stop it?"}));
    EXPECT_EQ(prompter.events[0].kind, ScriptedPrompter::Event::YesNo);
}

TEST(CloseQuestions, StoppedRunIsOfferedForSavingAndEveryQuestionComesInOrder) {
    Pages pages;
    pages.running = true;
    pages.entireState = DataState::Unsaved;
    pages.mark = DataState::Unsaved;
    ScriptedPrompter prompter;
    prompter.answers = {Answer::Yes, Answer::No, Answer::No, Answer::No};
    EXPECT_TRUE(shell::RunCloseQuestions(prompter, pages.Hooks()));
    EXPECT_EQ(pages.stops, 1);
    EXPECT_EQ(
        prompter.Questions(),
        (std::vector<std::string>{"The QM8620 is busy with \"Effective Value Logger\". \n\nDo you want to stop it?",
                                  "Do you want to save the displayed data of \"Effective Value Logger\"?",
                                  "Do you want to save the displayed data of \"Entire Read\"?",
                                  "Do you want to save the current settings?"}));
    for (std::size_t i = 1; i < prompter.events.size(); ++i)
        EXPECT_EQ(prompter.events[i].kind, ScriptedPrompter::Event::YesNoCancel);
    // No discards: nothing saved, states untouched.
    EXPECT_EQ(pages.loggerSaveCalls + pages.entireSaveCalls + pages.settingsSaveCalls, 0);
    EXPECT_EQ(pages.loggerState, DataState::Unsaved);
}

TEST(CloseQuestions, YesWithACancelledSaveKeepsTheWindowOpenAndTheStateAtOne) {
    Pages pages;
    pages.loggerState = DataState::Unsaved;
    pages.entireState = DataState::Unsaved;
    pages.loggerSaves = false;  // the file dialog was cancelled
    ScriptedPrompter prompter;
    prompter.answers = {Answer::Yes};
    EXPECT_FALSE(shell::RunCloseQuestions(prompter, pages.Hooks()));
    EXPECT_EQ(pages.loggerSaveCalls, 1);
    EXPECT_EQ(pages.loggerState, DataState::Unsaved);
    EXPECT_EQ(prompter.Questions().size(), 1u);  // Entire Read not asked yet
}

TEST(CloseQuestions, YesWithASaveMarksTheDataSavedAndGoesOn) {
    Pages pages;
    pages.loggerState = DataState::Unsaved;
    pages.entireState = DataState::Unsaved;
    pages.mark = DataState::Unsaved;
    ScriptedPrompter prompter;
    prompter.answers = {Answer::Yes, Answer::Yes, Answer::Yes};
    EXPECT_TRUE(shell::RunCloseQuestions(prompter, pages.Hooks()));
    EXPECT_EQ(pages.loggerState, DataState::Saved);
    EXPECT_EQ(pages.entireState, DataState::Saved);
    EXPECT_EQ(pages.mark, DataState::Saved);
    EXPECT_EQ(pages.loggerSaveCalls + pages.entireSaveCalls + pages.settingsSaveCalls, 3);
}

TEST(CloseQuestions, CancelAtAnyPageKeepsTheWindowOpen) {
    for (int at = 0; at < 3; ++at) {
        Pages pages;
        pages.loggerState = pages.entireState = pages.mark = DataState::Unsaved;
        ScriptedPrompter prompter;
        for (int i = 0; i < at; ++i) prompter.answers.push_back(Answer::No);
        prompter.answers.push_back(Answer::Cancel);
        EXPECT_FALSE(shell::RunCloseQuestions(prompter, pages.Hooks())) << at;
        EXPECT_EQ(prompter.Questions().size(), static_cast<std::size_t>(at + 1));
        EXPECT_EQ(pages.loggerState, DataState::Unsaved);
        EXPECT_EQ(pages.entireState, DataState::Unsaved);
        EXPECT_EQ(pages.mark, DataState::Unsaved);
    }
    // A failed settings save stays open too.
    Pages pages;
    pages.mark = DataState::Unsaved;
    pages.settingsSave = false;
    ScriptedPrompter prompter;
    prompter.answers = {Answer::Yes};
    EXPECT_FALSE(shell::RunCloseQuestions(prompter, pages.Hooks()));
    EXPECT_EQ(pages.mark, DataState::Unsaved);
}

}  // namespace
