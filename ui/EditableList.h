#pragma once
// A report list whose cells can be edited in place: read-only columns, drop-down columns
// (InPlaceCombo, choices supplied by the parent through ChoicesRequested) and text
// columns (InPlaceEdit, limited to allowed characters). Every edit ends with Edited().

#include <QStringList>
#include <QTableWidget>
#include <array>
#include <set>

namespace tessera::ui {

class EditableList : public QTableWidget {
    Q_OBJECT
public:
    explicit EditableList(QWidget* parent = nullptr);
    ~EditableList() override;

    // Appends a column (index as given), with its title, alignment and width in pixels.
    void InsertColumn(int index, const QString& title, Qt::Alignment alignment, int width);
    void SetReadOnlyColumn(int column, bool on);
    void SetDropDownColumn(int column, bool on);
    // Allowed characters of one column (0..99), or of all when column is -1.
    void SetAllowedCharacters(int column, const QString& characters);
    void SetDropDownScrollBar(bool on);

    // Cell text helpers used by the pages (row and column as in the table).
    void SetCellText(int row, int column, const QString& text);
    QString CellText(int row, int column) const;

signals:
    // Before a drop-down edit opens (WM_LIST_CHOICES): fill `choices`.
    void ChoicesRequested(int row, int column, QStringList* choices);
    // After an edit has ended and the cell holds its new text (WM_LIST_EDITED);
    // a cancelled edit reports the cell's starting text.
    void Edited(int row, int column, const QString& text);

    // ... the implementation's private members follow (ui work).
private:
    class Impl;
    Impl* impl_ = nullptr;
};

}  // namespace tessera::ui
