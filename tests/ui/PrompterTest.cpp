// The Prompter: real message boxes carry the program's title and map their buttons to
// answers; the scripted one answers from its queues and records what it was shown.

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

#include "ui/Prompter.h"

using namespace tessera::ui;

namespace {

// Presses `button` on the next message box that opens and records its title and text.
struct BoxPresser {
    QString title, text;
    QMessageBox::StandardButtons buttons;
    void Arm(QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [this, button] { Press(button); });
    }
    void Press(QMessageBox::StandardButton button) {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {  // not up yet: look again on the next turn of the loop
            QTimer::singleShot(0, [this, button] { Press(button); });
            return;
        }
        title = box->windowTitle();
        text = box->text();
        buttons = box->standardButtons();
        if (button == QMessageBox::Escape) box->reject();  // as the Escape key does
        else box->button(button)->click();
    }
};

TEST(QtPrompter, QuestionsCarryTheTitleAndAnswerWhatWasPressed) {
    QtPrompter prompter;
    BoxPresser presser;
    presser.Arm(QMessageBox::Cancel);
    EXPECT_EQ(prompter.AskYesNoCancel("Do you want to save the current settings?"), Answer::Cancel);
    EXPECT_EQ(presser.title, "TAVIK TESSERA for QM8620");
    EXPECT_EQ(presser.text, "Do you want to save the current settings?");
    EXPECT_EQ(presser.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);

    presser.Arm(QMessageBox::No);
    EXPECT_EQ(prompter.AskYesNoCancel("q"), Answer::No);
    presser.Arm(QMessageBox::Yes);
    EXPECT_EQ(prompter.AskYesNo("q"), Answer::Yes);
    EXPECT_EQ(presser.buttons, QMessageBox::Yes | QMessageBox::No);
    // Closing a Yes/No box without a button is a No, never a Yes.
    presser.Arm(QMessageBox::Escape);
    EXPECT_EQ(prompter.AskYesNo("q"), Answer::No);
    presser.Arm(QMessageBox::Escape);
    EXPECT_EQ(prompter.AskYesNoCancel("q"), Answer::Cancel);
}

TEST(QtPrompter, InformationHasOnlyAnOkButton) {
    QtPrompter prompter;
    BoxPresser presser;
    presser.Arm(QMessageBox::Ok);
    prompter.Inform("No data was found in the QM8620.");
    EXPECT_EQ(presser.title, "TAVIK TESSERA for QM8620");
    EXPECT_EQ(presser.text, "No data was found in the QM8620.");
    EXPECT_EQ(presser.buttons, QMessageBox::Ok);
}

TEST(QtPrompter, TheSaveDialogLeavesTheOverwriteQuestionToTheProgram) {
    // The pages ask "Would you like to overwrite ...?" themselves, after adding their
    // extension; the dialog asking first would put the question twice (or for a name that
    // is not the one written).
    QtPrompter prompter;
    bool seen = false, asksItself = true;
    QString filter;
    std::function<void()> look = [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(0, look);
            return;
        }
        seen = true;
        asksItself = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        filter = dialog->nameFilters().join(";;");
        dialog->reject();
    };
    QTimer::singleShot(0, look);
    EXPECT_EQ(prompter.ChooseSaveFile({"8620 Setting File(*.SET)", "*.SET"}), "");
    ASSERT_TRUE(seen);
    EXPECT_FALSE(asksItself);
    EXPECT_TRUE(filter.contains("*.SET")) << filter.toStdString();
}

TEST(ScriptedPrompter, AnswersFromItsQueuesAndRecordsEverything) {
    ScriptedPrompter p;
    p.answers = {Answer::Yes, Answer::Cancel};
    p.files = {"/tmp/a.CSV"};
    EXPECT_EQ(p.AskYesNoCancel("first?"), Answer::Yes);
    EXPECT_EQ(p.AskYesNo("second?"), Answer::No);  // a Yes/No box cannot answer Cancel
    EXPECT_EQ(p.AskYesNo("third?"), Answer::No);   // empty queue
    EXPECT_EQ(p.AskYesNoCancel("fourth?"), Answer::Cancel);
    p.Inform("done.");
    const FileFilter csv{"CSV File(*.CSV)", "*.CSV"};
    EXPECT_EQ(p.ChooseSaveFile(csv), "/tmp/a.CSV");
    EXPECT_EQ(p.ChooseOpenFile(csv), "");
    QPrinter printer;
    EXPECT_FALSE(p.ChoosePrinter(printer));
    p.printPdfs = {"/tmp/out.pdf"};
    EXPECT_TRUE(p.ChoosePrinter(printer));
    EXPECT_EQ(printer.outputFormat(), QPrinter::PdfFormat);
    EXPECT_EQ(printer.outputFileName(), "/tmp/out.pdf");

    EXPECT_EQ(p.Questions(), (std::vector<std::string>{"first?", "second?", "third?", "fourth?"}));
    EXPECT_EQ(p.Messages(), (std::vector<std::string>{"done."}));
    ASSERT_EQ(p.events.size(), 9u);
    EXPECT_EQ(p.events[5].kind, ScriptedPrompter::Event::SaveFile);
    EXPECT_EQ(p.events[5].text, "CSV File(*.CSV)");
}

}  // namespace
