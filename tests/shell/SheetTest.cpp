// The main window: its tabs, its close handling with stand-in page states, the arrow-key
// routing to the logger cursor, and the Version page's logo.

#include <gtest/gtest.h>
#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "link/Link.h"
#include "link/Stores.h"
#include "logger/Journal.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "shell/CSheet.h"
#include "shell/CVersion.h"
#include "shell/KeyRouter.h"
#include "shell/Texts.h"
#include "tests/support/ScriptedPrompter.h"
#include "ui/IconButton.h"

using namespace tessera;
using tessera::testing::ScriptedPrompter;

namespace {

class SheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        link::loggerRunning = false;
        link::loggerPageShown = false;
        sheet = std::make_unique<shell::CSheet>(meterLink, prompter, clock);
        sheet->show();
        QApplication::setActiveWindow(sheet.get());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
    }
    void TearDown() override {
        sheet.reset();
        link::loggerPageShown = false;
    }
    int TabOf(QWidget* page) const { return sheet->Tabs()->indexOf(page); }

    link::Link meterLink{"DeviceChangeEvent-shell-test"};
    ScriptedPrompter prompter;
    platform::ManualClock clock;
    std::unique_ptr<shell::CSheet> sheet;
};

TEST_F(SheetTest, WindowTitleAndTabsInTheirOrder) {
    EXPECT_EQ(sheet->windowTitle(), "TAVIK TESSERA for QM8620");
    EXPECT_FALSE(sheet->windowIcon().isNull());
    EXPECT_TRUE(sheet->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(sheet->windowFlags() & Qt::WindowMaximizeButtonHint);
    QStringList expected;
    if (sheet->LoggerPage()) expected << "     Effective Value Logger     ";
    if (sheet->EntireReadPage()) expected << "     Entire Read     ";
    if (sheet->ConfigurationPage()) expected << "     Configuration     ";
    expected << "     Version     ";
    expected << "     Survey     ";  // the fifth, after the four
    QStringList tabs;
    for (int i = 0; i < sheet->Tabs()->count(); ++i) tabs << sheet->Tabs()->tabText(i);
    EXPECT_EQ(tabs, expected);
    EXPECT_EQ(sheet->Tabs()->widget(sheet->Tabs()->count() - 1), sheet->SurveyPage());
}

TEST_F(SheetTest, FreshPagesCloseWithoutAnyQuestion) {
    QSignalSpy closed(sheet.get(), &shell::CSheet::Closed);
    EXPECT_TRUE(sheet->close());
    EXPECT_TRUE(prompter.events.empty());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(sheet->IsClosed());
}

// A run a crash left unsaved comes back on the logger page at start; declining to save it
// when the window closes gives its journal up too.
TEST_F(SheetTest, UnsavedRunIsOfferedAtStartAndGoesWhenDeclinedOnClose) {
    ASSERT_NE(sheet->LoggerPage(), nullptr);
    logger::JournalHeader header;
    header.settings.mode = header.settings.axis = header.settings.unit = header.settings.slow = '0';
    header.start = {2012, 5, 3, 4, 9, 5, 7};
    const std::string journal = platform::StateDirectory() + "/run-20120503-090507.journal";
    std::ofstream(journal, std::ios::binary)
        << logger::JournalHeaderText(header) << logger::JournalSampleText({{0, 1e-6, 0, 0, 1e-6}, 0})
        << logger::JournalSampleText({{1, 2e-6, 0, 0, 2e-6}, 0});

    prompter.answers = {page::Answer::Yes};
    sheet->OfferRecovery();
    ASSERT_EQ(prompter.Questions().size(), 1u);
    EXPECT_EQ(prompter.Questions()[0].rfind("A logging run from 2012/05/03 09:05:07 (2 samples) was not saved.", 0),
              0u);
    EXPECT_EQ(sheet->Hooks().logger.state(), page::DataState::Unsaved);

    prompter.answers = {page::Answer::No};
    EXPECT_TRUE(sheet->close());
    EXPECT_EQ(prompter.Questions().back(), "Do you want to save the displayed data of \"Effective Value Logger\"?");
    EXPECT_FALSE(std::filesystem::exists(journal));
}

TEST_F(SheetTest, RefusedCloseKeepsTheWindowOpenWithItsState) {
    page::DataState entireState = page::DataState::Unsaved;
    sheet->Hooks().entireRead = {[&] { return entireState; }, [&](page::DataState s) { entireState = s; },
                                 [] { return false; }};
    QSignalSpy closed(sheet.get(), &shell::CSheet::Closed);

    prompter.answers = {page::Answer::Cancel};
    EXPECT_FALSE(sheet->close());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(closed.count(), 0);

    prompter.answers = {page::Answer::Yes};  // the save is cancelled in its file dialog
    EXPECT_FALSE(sheet->close());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(entireState, page::DataState::Unsaved);
    EXPECT_FALSE(sheet->IsClosed());

    prompter.answers = {page::Answer::No};
    EXPECT_TRUE(sheet->close());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(prompter.Questions().size(), 3u);
    for (const auto& q : prompter.Questions()) EXPECT_EQ(q, shell::kSaveEntireReadQuestion);
}

TEST_F(SheetTest, RunningLoggerIsAskedAboutFirst) {
    link::loggerRunning = true;
    int stops = 0;
    sheet->Hooks().stopLogger = [&] {
        ++stops;
        link::loggerRunning = false;
    };
    prompter.answers = {page::Answer::No};
    EXPECT_FALSE(sheet->close());
    EXPECT_EQ(stops, 0);
    EXPECT_TRUE(link::loggerRunning);
    prompter.answers = {page::Answer::Yes};
    EXPECT_TRUE(sheet->close());
    EXPECT_EQ(stops, 1);
    link::loggerRunning = false;
}

TEST_F(SheetTest, ArrowKeysMoveTheLoggerCursorOnlyWhileTheLoggerPageWasShownLast) {
    std::vector<int> moves;
    sheet->Hooks().moveLoggerCursor = [&](int step) { moves.push_back(step); };
    shell::KeyRouter router(sheet.get());
    QWidget* inside = sheet->Tabs()->currentWidget();

    link::loggerPageShown = true;
    QTest::keyClick(inside, Qt::Key_Left);
    QTest::keyClick(inside, Qt::Key_Right);
    QTest::keyClick(inside, Qt::Key_Up);
    EXPECT_EQ(moves, (std::vector<int>{-1, 1}));

    // A window of its own is not part of the main window: its keys go their way.
    QLineEdit outside;
    outside.setText("abc");
    outside.show();
    outside.setCursorPosition(3);
    QTest::keyClick(&outside, Qt::Key_Left);
    EXPECT_EQ(outside.cursorPosition(), 2);
    EXPECT_EQ(moves.size(), 2u);

    // Showing the Version page hands the arrows back to the controls.
    sheet->Tabs()->setCurrentWidget(sheet->Version());
    EXPECT_FALSE(link::loggerPageShown);
    QTest::keyClick(inside, Qt::Key_Left);
    EXPECT_EQ(moves.size(), 2u);

    // Once closed, nothing is routed any more.
    link::loggerPageShown = true;
    sheet->CloseWithoutQuestions();
    QTest::keyClick(inside, Qt::Key_Left);
    EXPECT_EQ(moves.size(), 2u);
}

TEST_F(SheetTest, PageShownLastDecidesTheArrowKeysAfterARefresh) {
    sheet->Tabs()->setCurrentWidget(sheet->LoggerPage());
    sheet->RefreshPages();
    EXPECT_TRUE(link::loggerPageShown);
    sheet->Tabs()->setCurrentWidget(sheet->ConfigurationPage());
    EXPECT_FALSE(link::loggerPageShown);
    sheet->RefreshPages();  // the logger page re-reads too, but it is not the one in front
    EXPECT_FALSE(link::loggerPageShown);
}

TEST_F(SheetTest, VersionLogoAlternatesOnceThePageWasShown) {
    shell::CVersion* version = sheet->Version();
    EXPECT_FALSE(version->Initialised());
    EXPECT_FALSE(version->LogoTimer().isActive());
    sheet->Tabs()->setCurrentWidget(version);
    ASSERT_TRUE(version->Initialised());
    EXPECT_EQ(version->ShownLogo(), 143);
    EXPECT_EQ(version->NextLogo(), 144);
    EXPECT_TRUE(version->LogoTimer().isActive());
    EXPECT_EQ(version->LogoTimer().interval(), 2000);
    const qint64 first = version->Logo()->Icon().cacheKey();

    // The picture keeps changing while another page is in front.
    sheet->Tabs()->setCurrentIndex(0);
    EXPECT_TRUE(version->LogoTimer().isActive());
    version->OnLogoTimer();
    EXPECT_EQ(version->ShownLogo(), 144);
    EXPECT_NE(version->Logo()->Icon().cacheKey(), first);
    version->OnLogoTimer();
    EXPECT_EQ(version->ShownLogo(), 143);
    version->OnLogoTimer();
    EXPECT_EQ(version->ShownLogo(), 144);

    // Showing it again does not start over.
    sheet->Tabs()->setCurrentWidget(version);
    EXPECT_EQ(version->ShownLogo(), 144);
    EXPECT_TRUE(version->Logo()->Flat());
    EXPECT_FALSE(version->Logo()->FlatBorder());
}

}  // namespace
