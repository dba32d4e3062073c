#pragma once
// A report list whose cells can be edited in place: read-only columns, drop-down columns
// (InPlaceCombo, choices supplied by the parent through ChoicesRequested) and text
// columns (InPlaceEdit, limited to allowed characters). Every edit ends with Edited().

#include <QStringList>
#include <QTableWidget>
#include <array>
#include <set>

class QComboBox;
class QLineEdit;

namespace tessera::ui {

class InPlaceCombo;
class InPlaceEdit;

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

    // Whether a click may open an editor at all (the list's label-editing style; on by default).
    void SetLabelEditing(bool on);
    bool LabelEditing() const;
    bool IsReadOnlyColumn(int column) const;
    bool IsDropDownColumn(int column) const;
    QString AllowedCharacters(int column) const;

    // The cell under a point of the viewport: row and column, or {-1, -1} for none.
    QPair<int, int> CellAt(const QPoint& viewportPoint) const;

    // Ends an open edit as a focus loss would (the editor's text goes into the cell).
    void EndEdit();
    bool EditorOpen() const;
    // The cell of the open editor, {-1, -1} when none is open.
    QPair<int, int> EditedCell() const;
    // The editors, null until first used; their windows show only while an edit is open.
    QComboBox* ComboEditor() const;
    QLineEdit* TextEditor() const;

signals:
    // Before a drop-down edit opens (WM_LIST_CHOICES): fill `choices`.
    void ChoicesRequested(int row, int column, QStringList* choices);
    // After an edit has ended and the cell holds its new text (WM_LIST_EDITED);
    // a cancelled edit reports the cell's starting text.
    void Edited(int row, int column, const QString& text);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    friend class InPlaceCombo;
    friend class InPlaceEdit;
    // Runs the steps that follow a press or move at `point`; false when no cell is there.
    bool StartEditAt(const QPoint& point, Qt::KeyboardModifiers modifiers, bool moved);
    bool PlaceEditor(int row, int column, QRect& rect);
    void OpenCombo(int row, int column, const QString& text);
    void OpenTextEdit(int row, int column, const QString& text);
    // Called by an editor whose edit ends (focus loss, Enter, Escape).
    void FinishEdit(bool fromCombo);

    class Impl;
    Impl* impl_ = nullptr;
};

}  // namespace tessera::ui
