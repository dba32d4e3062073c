// The Prompter: real message boxes carry the program's title and map their buttons to
// answers; a print choice comes back as data and sets a printer up again exactly; the
// scripted one answers from its queues and records what it was shown.

#include <gtest/gtest.h>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

#include "tests/support/ScriptedPrompter.h"
#include "ui/QtPrompter.h"

using namespace tessera::ui;
using tessera::page::Answer;
using tessera::page::Question;
using tessera::page::Topic;
using tessera::testing::ScriptedPrompter;

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
    EXPECT_EQ(prompter.AskYesNoCancel({Topic::SaveShownData, "Do you want to save the current settings?"}),
              Answer::Cancel);
    EXPECT_EQ(presser.title, "TAVIK TESSERA for QM8620");
    EXPECT_EQ(presser.text, "Do you want to save the current settings?");
    EXPECT_EQ(presser.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);

    presser.Arm(QMessageBox::No);
    EXPECT_EQ(prompter.AskYesNoCancel({Topic::Overwrite, "q"}), Answer::No);
    presser.Arm(QMessageBox::Yes);
    EXPECT_EQ(prompter.AskYesNo({Topic::Overwrite, "q"}), Answer::Yes);
    EXPECT_EQ(presser.buttons, QMessageBox::Yes | QMessageBox::No);
    // Closing a Yes/No box without a button is a No, never a Yes.
    presser.Arm(QMessageBox::Escape);
    EXPECT_EQ(prompter.AskYesNo({Topic::Overwrite, "q"}), Answer::No);
    presser.Arm(QMessageBox::Escape);
    EXPECT_EQ(prompter.AskYesNoCancel({Topic::Overwrite, "q"}), Answer::Cancel);
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

// The program keeps nothing between runs: Qt's file dialog records where it was in the
// settings every Qt program of the user shares, and must leave them as it found them.
TEST(QtPrompter, FileDialogsLeaveQtsSharedSettingsAsTheyWere) {
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    QtPrompter prompter;
    auto choose = [&] {
        std::function<void()> pick = [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return QTimer::singleShot(0, pick);
            dialog->setDirectory(config.path());
            dialog->selectFile(config.filePath(QStringLiteral("run.CSV")));
            static_cast<QDialog*>(dialog)->accept();  // as the Save button does
        };
        QTimer::singleShot(0, pick);
        return prompter.ChooseSaveFile({"CSV File(*.CSV)", "*.CSV"});
    };

    EXPECT_EQ(choose(), config.filePath(QStringLiteral("run.CSV")).toStdString());
    EXPECT_TRUE(QDir(config.path()).isEmpty()) << "a settings file was left behind";

    QString file;
    {
        QSettings other(QSettings::UserScope, QStringLiteral("QtProject"));
        other.setValue(QStringLiteral("FileDialog/history"), QStringList{QStringLiteral("file:///elsewhere")});
        other.setValue(QStringLiteral("Other/kept"), 1);
        file = other.fileName();
    }
    QFile before(file);
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray bytes = before.readAll();
    before.close();
    choose();
    QFile after(file);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), bytes) << "another program's settings were changed";

    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

TEST(PrintChoice, SetsThePrinterUpAsChosenAndReadsBackTheSame) {
    tessera::page::PrintChoice chosen;
    chosen.outputFile = "/tmp/out.pdf";
    chosen.landscape = true;
    chosen.paperWidthMm = 215.9;  // US Letter
    chosen.paperHeightMm = 279.4;
    chosen.fromPage = 2;
    chosen.toPage = 3;
    chosen.copies = 2;
    chosen.collate = false;
    chosen.colour = false;
    const auto printer = MakePrinter(chosen, "ERPrint");
    EXPECT_EQ(printer->docName(), "ERPrint");
    EXPECT_EQ(printer->outputFormat(), QPrinter::PdfFormat);
    EXPECT_EQ(printer->pageLayout().pageSize().id(), QPageSize::Letter);

    const tessera::page::PrintChoice back = ChoiceOf(*printer);
    EXPECT_EQ(back.outputFile, chosen.outputFile);
    EXPECT_TRUE(back.landscape);
    EXPECT_NEAR(back.paperWidthMm, chosen.paperWidthMm, 0.5);
    EXPECT_NEAR(back.paperHeightMm, chosen.paperHeightMm, 0.5);
    EXPECT_EQ(back.fromPage, 2);
    EXPECT_EQ(back.toPage, 3);
    EXPECT_FALSE(back.collate);
    EXPECT_FALSE(back.colour);

    // Nothing chosen beyond the defaults: portrait, every page.
    const auto plain = ChoiceOf(*MakePrinter({}, "Draw graph"));
    EXPECT_FALSE(plain.landscape);
    EXPECT_EQ(plain.fromPage, 0);
}

TEST(ScriptedPrompter, AnswersFromItsQueuesAndRecordsEverything) {
    ScriptedPrompter p;
    p.answers = {Answer::Yes, Answer::Cancel};
    p.files = {"/tmp/a.CSV"};
    EXPECT_EQ(p.AskYesNoCancel({Topic::SaveShownData, "first?"}), Answer::Yes);
    EXPECT_EQ(p.AskYesNo({Topic::Overwrite, "second?"}), Answer::No);  // a Yes/No box cannot answer Cancel
    EXPECT_EQ(p.AskYesNo({Topic::Overwrite, "third?"}), Answer::No);   // empty queue
    EXPECT_EQ(p.AskYesNoCancel({Topic::SaveShownData, "fourth?"}), Answer::Cancel);
    p.Inform("done.");
    const tessera::page::FileFilter csv{"CSV File(*.CSV)", "*.CSV"};
    EXPECT_EQ(p.ChooseSaveFile(csv), "/tmp/a.CSV");
    EXPECT_EQ(p.ChooseOpenFile(csv), "");
    EXPECT_FALSE(p.ChoosePrinter({"Draw graph", true, 1, 1}));
    p.printPdfs = {"/tmp/out.pdf"};
    const auto choice = p.ChoosePrinter({"Draw graph", true, 1, 1});
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->outputFile, "/tmp/out.pdf");
    EXPECT_TRUE(choice->landscape);

    EXPECT_EQ(p.Questions(), (std::vector<std::string>{"first?", "second?", "third?", "fourth?"}));
    EXPECT_EQ(p.Messages(), (std::vector<std::string>{"done."}));
    ASSERT_EQ(p.events.size(), 9u);
    EXPECT_EQ(p.events[5].kind, ScriptedPrompter::Event::SaveFile);
    EXPECT_EQ(p.events[5].text, "CSV File(*.CSV)");
    EXPECT_EQ(p.events[1].topic, Topic::Overwrite);
}

}  // namespace
