// The Configuration page as a person uses it: the table's drop-down lists applying the
// rules between settings, the meter buttons following the meter, and a configuration run
// from the button with the Current Setting column following.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <cstdlib>

#include "config/CSet8620.h"
#include "link/Link.h"
#include "link/Stores.h"
#include "settings/Vocabulary.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/VirtualMeter.h"
#include "ui/EditableList.h"

namespace tessera::config {
namespace {

using settings::kRowAxis;
using settings::kRowMode;
using settings::kRowOutput;
using settings::kRowRange;
using settings::kRowUnit;
using Strings = std::vector<std::string>;

class CSet8620Page : public ::testing::Test {
protected:
    void Open() {
        page = std::make_unique<CSet8620>(link, prompter);
        page->resize(800, 560);
        page->show();
        QApplication::setActiveWindow(page.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(page.get()));
    }
    ui::EditableList* Table() const { return page->Table(); }
    std::string Cell(int row, int column) const { return Table()->CellText(row, column).toStdString(); }
    Strings Column(int column) const {
        Strings out;
        for (int row = 0; row < settings::kRowCount; ++row) out.push_back(Cell(row, column));
        return out;
    }
    // Opens the drop-down of a New Setting cell as a click does and answers its entries.
    QStringList OpenDropDown(int row) {
        Table()->setCurrentCell(row, kColumnItem);
        const QPoint at = Table()->visualRect(Table()->model()->index(row, kColumnNew)).center();
        QTest::mouseClick(Table()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QComboBox* combo = Table()->ComboEditor();
        if (!combo || !combo->isVisible()) return {};
        QStringList items;
        for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
        return items;
    }
    // Picks an entry that the drop-down offers and confirms it with Enter.
    void Choose(int row, const QString& text) {
        const QStringList items = OpenDropDown(row);
        const int index = static_cast<int>(items.indexOf(text));
        ASSERT_GE(index, 0) << text.toStdString() << " not offered in row " << row << ": "
                            << items.join(" | ").toStdString();
        Table()->ComboEditor()->setCurrentIndex(index);
        QTest::keyClick(Table()->ComboEditor(), Qt::Key_Return);
        ASSERT_FALSE(Table()->EditorOpen());
    }

    link::Link link{"tessera-config-page-test"};
    testing::ScriptedPrompter prompter;
    std::unique_ptr<CSet8620> page;
};

TEST_F(CSet8620Page, WithoutAMeterShowsTheDefaultsWithTheMeterButtonsOff) {
    Open();
    EXPECT_EQ(page->ModifiedMark(), page::DataState::None);
    EXPECT_FALSE(page->ConfigureButton()->isEnabled());
    EXPECT_FALSE(page->InitializeButton()->isEnabled());
    EXPECT_TRUE(page->SaveButton()->isEnabled());
    EXPECT_TRUE(page->ReadButton()->isEnabled());
    EXPECT_EQ(Column(kColumnCurrent), Strings(9, ""));
    EXPECT_EQ(Column(kColumnNew),
              (Strings{"Magnetic Flux Density(10Hz-400kHz)", "R", "T", "AUTO", "OFF", "ON", "ON", "OFF", "OFF"}));
    EXPECT_EQ(Table()->horizontalHeaderItem(kColumnNew)->text(), "New Setting");
    link::loggerPageShown = true;
    page->Refresh();
    EXPECT_FALSE(link::loggerPageShown);
}

TEST_F(CSet8620Page, DropDownsOfferTheRuleChoicesAndApplyTheRules) {
    Open();
    // The text already shown changes nothing.
    Choose(kRowAxis, "R");
    Choose(kRowMode, "Magnetic Flux Density(10Hz-400kHz)");
    EXPECT_EQ(page->ModifiedMark(), page::DataState::None);

    // Exposure mode: unit follows, AUTO stays; an output then replaces AUTO by 20.00%.
    Choose(kRowMode, "Exposure Level(Occupational)");
    EXPECT_EQ(page->ModifiedMark(), page::DataState::Unsaved);
    EXPECT_EQ(Cell(kRowUnit, kColumnNew), "%");
    EXPECT_EQ(Cell(kRowRange, kColumnNew), "AUTO");
    EXPECT_EQ(OpenDropDown(kRowUnit), QStringList{"%"});
    QTest::keyClick(Table()->ComboEditor(), Qt::Key_Escape);
    Choose(kRowOutput, "Monitor (only for 8620)");
    EXPECT_EQ(Cell(kRowRange, kColumnNew), "20.00%");
    EXPECT_EQ(OpenDropDown(kRowRange), (QStringList{"20.00%", "200.0%", "2000% (only for 8620)"}));
    QTest::keyClick(Table()->ComboEditor(), Qt::Key_Escape);
    EXPECT_EQ(Cell(kRowRange, kColumnNew), "20.00%");

    // The top range follows the mode back to flux density as 2.000mT.
    Choose(kRowRange, "2000% (only for 8620)");
    Choose(kRowMode, "Magnetic Flux Density(10Hz-2kHz)");
    EXPECT_EQ(Cell(kRowUnit, kColumnNew), "T");
    EXPECT_EQ(Cell(kRowRange, kColumnNew), "2.000mT");
    EXPECT_EQ(Cell(kRowOutput, kColumnNew), "Monitor");
    EXPECT_EQ(OpenDropDown(kRowRange), (QStringList{"2.000uT", "20.00uT", "200.0uT", "2.000mT"}));
    QTest::keyClick(Table()->ComboEditor(), Qt::Key_Escape);

    // With the output off again AUTO is back on offer.
    Choose(kRowOutput, "OFF");
    EXPECT_EQ(OpenDropDown(kRowRange).value(0), "AUTO");
    QTest::keyClick(Table()->ComboEditor(), Qt::Key_Escape);
    EXPECT_EQ(page->ModifiedMark(), page::DataState::Unsaved);
}

TEST_F(CSet8620Page, NoModeNameIsCutOffInEitherSettingsColumn) {
    Open();
    const QFontMetrics fm(Table()->font());
    for (int column : {kColumnCurrent, kColumnNew}) {
        EXPECT_GE(Table()->columnWidth(column), 235);
        for (char mode = '0'; mode <= '4'; ++mode) {
            const QString text = QString::fromStdString(settings::ModeText(mode));
            // A cell keeps a few pixels of margin on either side of its text.
            EXPECT_LE(fm.horizontalAdvance(text) + 8, Table()->columnWidth(column)) << text.toStdString();
        }
    }
    // The drop-down on a cell has the room its longest entry asks for.
    OpenDropDown(kRowMode);
    QComboBox* combo = Table()->ComboEditor();
    ASSERT_TRUE(combo && combo->isVisible());
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    EXPECT_LE(combo->sizeHint().width(), combo->width());
    QTest::keyClick(combo, Qt::Key_Escape);
}

class CSet8620PageWithMeter : public CSet8620Page {
protected:
    void SetUp() override {
        ASSERT_TRUE(meter.Start()) << meter.LastError();
        ASSERT_TRUE(link.BindTransportPath(testing::VirtualMeter::BulklinkPath()));
        ASSERT_TRUE(link.OpenSession());
        ASSERT_EQ(link.RefreshSettings(), link::kStatusOk);
    }
    void TearDown() override { link.CloseSession(); }
    testing::VirtualMeter meter;
};

TEST_F(CSet8620PageWithMeter, ConfigureButtonWritesTheNewSettingAndTheCurrentColumnFollows) {
    Open();
    EXPECT_EQ(page->ModifiedMark(), page::DataState::Unsaved);
    EXPECT_TRUE(page->ConfigureButton()->isEnabled());
    EXPECT_EQ(Column(kColumnCurrent), Column(kColumnNew));

    Choose(kRowMode, "Exposure Level(General Public)");
    Choose(kRowOutput, "Resultant Effective Value");
    EXPECT_NE(Column(kColumnCurrent), Column(kColumnNew));

    QSignalSpy configured(page.get(), &CSet8620::Configured);
    prompter.answers = {page::Answer::Yes};
    page->ConfigureButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompter.Messages().empty(); }, 20000));
    EXPECT_EQ(prompter.Messages(), Strings{"The QM8620 has been configured with \"New Setting\"."});
    EXPECT_EQ(configured.count(), 1);
    EXPECT_EQ(Column(kColumnCurrent), Column(kColumnNew));
    EXPECT_EQ(Cell(kRowRange, kColumnCurrent), "20.00%");

    if (const char* dir = std::getenv("TESSERA_SCREENSHOT_DIR"))
        page->grab().save(QString(dir) + "/configuration-page.png");

    // The meter goes away: the next refresh turns the meter buttons off.
    ASSERT_TRUE(meter.Unplug());
    EXPECT_NE(link.RefreshSettings(), link::kStatusOk);
    page->Refresh();
    EXPECT_FALSE(page->ConfigureButton()->isEnabled());
    EXPECT_FALSE(page->InitializeButton()->isEnabled());
    EXPECT_EQ(Column(kColumnCurrent), Strings(9, ""));
}

}  // namespace
}  // namespace tessera::config
