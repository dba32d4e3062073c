// EditableList: which clicks and pointer moves open which in-place editor, and how every
// edit ends (Enter, Escape, focus loss, scroll) with the cell's text and Edited().

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "ui/EditableList.h"

using tessera::ui::EditableList;

namespace {

constexpr int kItem = 0;     // read-only
constexpr int kSetting = 1;  // drop-down
constexpr int kNumber = 2;   // text, digits and point only
constexpr int kNarrow = 3;   // editable but 9 pixels wide
constexpr int kTen = 4;      // editable, exactly 10 pixels wide

class EditableListTest : public ::testing::Test {
protected:
    void SetUp() override {
        page.resize(640, 300);
        auto* layout = new QVBoxLayout(&page);
        other = new QLineEdit(&page);
        list = new EditableList(&page);
        layout->addWidget(other);
        layout->addWidget(list);
        list->InsertColumn(kItem, "Item", Qt::AlignLeft, 200);
        list->InsertColumn(kSetting, "New Setting", Qt::AlignLeft, 200);
        list->InsertColumn(kNumber, "Value", Qt::AlignRight, 100);
        list->InsertColumn(kNarrow, "n", Qt::AlignLeft, 9);
        list->InsertColumn(kTen, "t", Qt::AlignLeft, 10);
        list->SetReadOnlyColumn(kItem, true);
        list->SetDropDownColumn(kSetting, true);
        list->SetAllowedCharacters(kNumber, "0123456789.");
        const char* items[] = {"Measurement Mode", "Axis", "Unit"};
        const char* settings[] = {"Magnetic Flux Density(10Hz-2kHz)", "R", "T"};
        for (int r = 0; r < 3; ++r) {
            list->SetCellText(r, kItem, items[r]);
            list->SetCellText(r, kSetting, settings[r]);
            list->SetCellText(r, kNumber, "1.5");
            list->SetCellText(r, kNarrow, "a");
            list->SetCellText(r, kTen, "b");
        }
        QObject::connect(list, &EditableList::ChoicesRequested, [this](int row, int column, QStringList* out) {
            requests.append({row, column});
            if (row == 0) {
                *out << "Magnetic Flux Density(10Hz-400kHz)"
                     << "Magnetic Flux Density(10Hz-2kHz)"
                     << "Magnetic Flux Density(2kHz-400kHz)"
                     << "Exposure Level(General Public)"
                     << "Exposure Level(Occupational)";
            } else if (row == 1) {
                *out << "x"
                     << "y"
                     << "z"
                     << "R";
            } else {
                *out << "T"
                     << "G"
                     << "A/m";
            }
        });
        edited = std::make_unique<QSignalSpy>(list, &EditableList::Edited);
        page.show();
        QApplication::setActiveWindow(&page);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    }

    QPoint CellCenter(int row, int column) const {
        return list->visualRect(list->model()->index(row, column)).center();
    }
    void Click(int row, int column, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, CellCenter(row, column));
    }
    bool ComboShown() const { return list->ComboEditor() && list->ComboEditor()->isVisible(); }
    bool TextShown() const { return list->TextEditor() && list->TextEditor()->isVisible(); }

    QWidget page;
    QLineEdit* other = nullptr;
    EditableList* list = nullptr;
    QList<QPair<int, int>> requests;
    std::unique_ptr<QSignalSpy> edited;
};

TEST_F(EditableListTest, ClickBelowLastRowChangesNeitherSelectionNorFocus) {
    list->setCurrentCell(1, kItem);
    other->setFocus();
    ASSERT_TRUE(other->hasFocus());
    const QPoint below(CellCenter(2, kSetting).x(), list->rowViewportPosition(2) + list->rowHeight(2) + 20);
    ASSERT_LT(below.y(), list->viewport()->height());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, below);
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_TRUE(other->hasFocus());
    EXPECT_FALSE(list->EditorOpen());
    // Right of the last column is outside every cell as well.
    const int right = list->columnViewportPosition(kTen) + list->columnWidth(kTen) + 30;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(right, CellCenter(0, 0).y()));
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_TRUE(other->hasFocus());
}

TEST_F(EditableListTest, ShiftOrCtrlClickSelectsButOpensNoEditor) {
    list->setCurrentCell(0, kItem);
    Click(0, kSetting, Qt::ShiftModifier);
    EXPECT_FALSE(list->EditorOpen());
    Click(2, kNumber, Qt::ControlModifier);
    EXPECT_FALSE(list->EditorOpen());
    EXPECT_TRUE(requests.isEmpty());
    Click(2, kSetting, Qt::ShiftModifier);
    EXPECT_EQ(list->currentRow(), 2);
    EXPECT_FALSE(list->EditorOpen());
}

TEST_F(EditableListTest, ClickOnRowNotYetFocusedFocusesItAndOpensTheDropDown) {
    list->setCurrentCell(0, kItem);
    other->setFocus();
    Click(1, kSetting);
    EXPECT_EQ(list->currentRow(), 1);
    ASSERT_TRUE(ComboShown());
    EXPECT_EQ(list->EditedCell(), qMakePair(1, kSetting));
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0], qMakePair(1, kSetting));
    EXPECT_EQ(list->ComboEditor()->count(), 4);
    EXPECT_EQ(list->ComboEditor()->currentText(), "R");
    EXPECT_TRUE(list->ComboEditor()->hasFocus());
    // The editor sits on the cell.
    EXPECT_EQ(list->ComboEditor()->geometry().topLeft(), list->visualRect(list->model()->index(1, kSetting)).topLeft());
}

TEST_F(EditableListTest, DropDownSelectsFirstChoiceBeginningWithCellTextIgnoringCase) {
    list->SetCellText(0, kSetting, "magnetic flux density(10hz-2");
    list->setCurrentCell(0, kItem);
    Click(0, kSetting);
    ASSERT_TRUE(ComboShown());
    EXPECT_EQ(list->ComboEditor()->currentIndex(), 1);
}

TEST_F(EditableListTest, EnterCommitsTheChosenEntry) {
    list->setCurrentCell(2, kItem);
    Click(2, kSetting);
    ASSERT_TRUE(ComboShown());
    list->ComboEditor()->setCurrentIndex(2);
    QTest::keyClick(list->ComboEditor(), Qt::Key_Return);
    EXPECT_FALSE(list->EditorOpen());
    EXPECT_FALSE(list->ComboEditor()->isVisible());
    EXPECT_EQ(list->CellText(2, kSetting), "A/m");
    ASSERT_EQ(edited->count(), 1);
    EXPECT_EQ(edited->at(0).at(0).toInt(), 2);
    EXPECT_EQ(edited->at(0).at(1).toInt(), kSetting);
    EXPECT_EQ(edited->at(0).at(2).toString(), "A/m");
    EXPECT_TRUE(list->hasFocus());
}

TEST_F(EditableListTest, EscapeRestoresStartingTextAndStillReportsTheEdit) {
    list->setCurrentCell(2, kItem);
    Click(2, kSetting);
    ASSERT_TRUE(ComboShown());
    list->ComboEditor()->setCurrentIndex(1);
    QTest::keyClick(list->ComboEditor(), Qt::Key_Escape);
    EXPECT_FALSE(list->EditorOpen());
    EXPECT_EQ(list->CellText(2, kSetting), "T");
    ASSERT_EQ(edited->count(), 1);
    EXPECT_EQ(edited->at(0).at(2).toString(), "T");

    // The same for the text editor.
    Click(2, kNumber);
    ASSERT_TRUE(TextShown());
    QTest::keyClicks(list->TextEditor(), "99");
    QTest::keyClick(list->TextEditor(), Qt::Key_Escape);
    EXPECT_EQ(list->CellText(2, kNumber), "1.5");
    ASSERT_EQ(edited->count(), 2);
    EXPECT_EQ(edited->at(1).at(2).toString(), "1.5");
}

TEST_F(EditableListTest, TextEditorDropsCharactersTheColumnDoesNotAllow) {
    list->setCurrentCell(0, kItem);
    Click(0, kNumber);
    ASSERT_TRUE(TextShown());
    EXPECT_EQ(list->TextEditor()->text(), "1.5");
    EXPECT_EQ(list->TextEditor()->selectedText(), "1.5");  // typing replaces the whole text
    QTest::keyClicks(list->TextEditor(), "1a2.b3");
    EXPECT_EQ(list->TextEditor()->text(), "12.3");
    QTest::keyClick(list->TextEditor(), Qt::Key_Backspace);  // always passes
    EXPECT_EQ(list->TextEditor()->text(), "12.");
    QTest::keyClick(list->TextEditor(), Qt::Key_Enter);
    EXPECT_EQ(list->CellText(0, kNumber), "12.");
    ASSERT_EQ(edited->count(), 1);
    EXPECT_EQ(edited->at(0).at(2).toString(), "12.");

    // A column without allowed characters takes everything.
    Click(0, kTen);
    ASSERT_TRUE(TextShown());
    QTest::keyClicks(list->TextEditor(), "x/%");
    QTest::keyClick(list->TextEditor(), Qt::Key_Return);
    EXPECT_EQ(list->CellText(0, kTen), "x/%");
}

TEST_F(EditableListTest, AllowedCharactersForAllColumnsAndOutOfRangeColumnIgnored) {
    list->SetAllowedCharacters(-1, "01");
    EXPECT_EQ(list->AllowedCharacters(0), "01");
    EXPECT_EQ(list->AllowedCharacters(99), "01");
    list->SetAllowedCharacters(100, "x");
    list->SetAllowedCharacters(7, "7");
    EXPECT_EQ(list->AllowedCharacters(7), "7");
    EXPECT_EQ(list->AllowedCharacters(100), "");
}

TEST_F(EditableListTest, ReadOnlyAndTooNarrowColumnsNeverOpenAnEditor) {
    list->setCurrentCell(1, kItem);
    Click(1, kItem);
    EXPECT_FALSE(list->EditorOpen());
    ASSERT_EQ(list->columnWidth(kNarrow), 9);
    Click(1, kNarrow);
    EXPECT_FALSE(list->EditorOpen());
    // Ten pixels are enough.
    Click(1, kTen);
    EXPECT_TRUE(TextShown());
    // Without the label-editing style nothing opens either.
    list->EndEdit();
    list->SetLabelEditing(false);
    Click(1, kSetting);
    EXPECT_FALSE(list->EditorOpen());
}

TEST_F(EditableListTest, ClickElsewhereEndsTheEditWithTheEditorsText) {
    list->setCurrentCell(0, kItem);
    Click(0, kNumber);
    ASSERT_TRUE(TextShown());
    QTest::keyClicks(list->TextEditor(), "7.25");
    other->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(list->EditorOpen());
    EXPECT_EQ(list->CellText(0, kNumber), "7.25");
    ASSERT_EQ(edited->count(), 1);
    EXPECT_EQ(edited->at(0).at(2).toString(), "7.25");
}

TEST_F(EditableListTest, OpeningAnotherCellFirstEndsTheOpenEditInItsOwnCell) {
    list->setCurrentCell(0, kItem);
    Click(0, kSetting);
    ASSERT_TRUE(ComboShown());
    list->ComboEditor()->setCurrentIndex(3);
    Click(0, kNumber);
    EXPECT_TRUE(TextShown());
    EXPECT_EQ(list->CellText(0, kSetting), "Exposure Level(General Public)");
    EXPECT_EQ(list->CellText(0, kNumber), "1.5");
    ASSERT_EQ(edited->count(), 1);
    EXPECT_EQ(edited->at(0).at(1).toInt(), kSetting);
}

TEST_F(EditableListTest, DropDownWithoutAMatchingChoiceLeavesTheCellAsItWas) {
    list->SetCellText(1, kSetting, "");
    list->SetCellText(2, kSetting, "no such unit");
    list->setCurrentCell(2, kItem);
    Click(2, kSetting);
    ASSERT_TRUE(ComboShown());
    EXPECT_EQ(list->ComboEditor()->currentIndex(), -1);
    QTest::keyClick(list->ComboEditor(), Qt::Key_Return);
    EXPECT_EQ(list->CellText(2, kSetting), "no such unit");
    ASSERT_EQ(edited->count(), 1);
    EXPECT_EQ(edited->at(0).at(2).toString(), "no such unit");
}

TEST_F(EditableListTest, ScrollingEndsTheDropDownWithItsShownText) {
    for (int r = 3; r < 60; ++r) {
        list->SetCellText(r, kItem, QString("row %1").arg(r));
        list->SetCellText(r, kSetting, "T");
    }
    list->setCurrentCell(2, kItem);
    Click(2, kSetting);
    ASSERT_TRUE(ComboShown());
    list->ComboEditor()->setCurrentIndex(1);
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->value() + 5);
    EXPECT_FALSE(list->EditorOpen());
    EXPECT_EQ(list->CellText(2, kSetting), "G");
    ASSERT_EQ(edited->count(), 1);
    EXPECT_EQ(edited->at(0).at(2).toString(), "G");
}

TEST_F(EditableListTest, PointerMoveTakesFocusAndOpensEditorOnTheFocusedRow) {
    list->setCurrentCell(1, kItem);
    other->setFocus();
    QTest::mouseMove(list->viewport(), CellCenter(0, kItem));
    EXPECT_TRUE(list->hasFocus());
    EXPECT_FALSE(other->hasFocus());
    // Editable cells of row 0 open nothing: it is not the focused row.
    QTest::mouseMove(list->viewport(), CellCenter(0, kNumber));
    QTest::mouseMove(list->viewport(), CellCenter(0, kSetting));
    EXPECT_FALSE(list->EditorOpen());
    EXPECT_TRUE(requests.isEmpty());
    QTest::mouseMove(list->viewport(), CellCenter(1, kNumber));
    EXPECT_TRUE(TextShown());
    EXPECT_EQ(list->EditedCell(), qMakePair(1, kNumber));
}

TEST_F(EditableListTest, CellAtCountsBothColumnEdgesToTheLeftColumn) {
    const int y = CellCenter(0, 0).y();
    const int edge = list->columnViewportPosition(kItem) + list->columnWidth(kItem);
    EXPECT_EQ(list->CellAt(QPoint(edge, y)), qMakePair(0, kItem));
    EXPECT_EQ(list->CellAt(QPoint(edge + 1, y)), qMakePair(0, kSetting));
    const int end = list->columnViewportPosition(kTen) + list->columnWidth(kTen);
    EXPECT_EQ(list->CellAt(QPoint(end, y)), qMakePair(0, kTen));
    EXPECT_EQ(list->CellAt(QPoint(end + 1, y)), qMakePair(-1, -1));
}

}  // namespace
