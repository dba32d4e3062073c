#include "ui/EditableList.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <map>

#include "ui/InPlaceEditors.h"

namespace tessera::ui {

namespace {
constexpr int kAllowedColumns = 100;
constexpr int kNarrowestEditableColumn = 10;  // pixels
}  // namespace

class EditableList::Impl {
public:
    enum class Editor { None, Combo, Text };

    std::set<int> readOnly;
    std::set<int> dropDown;
    std::array<QString, kAllowedColumns> allowed{};
    std::map<int, Qt::Alignment> alignments;
    int insertedColumns = 0;
    bool dropDownScrollBar = false;
    bool labelEditing = true;

    InPlaceCombo* combo = nullptr;
    InPlaceEdit* edit = nullptr;
    Editor open = Editor::None;
    bool finishing = false;
    bool destroying = false;
};

EditableList::EditableList(QWidget* parent) : QTableWidget(parent), impl_(new Impl) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    // Columns take the widths the pages ask for, however narrow.
    horizontalHeader()->setMinimumSectionSize(0);
    setWordWrap(false);
    // The list decides about focus on a click itself: a click outside every cell must not
    // take the focus, so the framework's click-to-focus is left out.
    setFocusPolicy(Qt::TabFocus);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    // Rows tall enough for an in-place drop-down to sit exactly on a cell.
    QComboBox probe;
    probe.setFont(font());
    verticalHeader()->setDefaultSectionSize(std::max(fontMetrics().height() + 6, probe.sizeHint().height()));
}

EditableList::~EditableList() {
    impl_->destroying = true;
    delete impl_->combo;
    delete impl_->edit;
    delete impl_;
    impl_ = nullptr;
}

void EditableList::InsertColumn(int index, const QString& title, Qt::Alignment alignment, int width) {
    if (index < 0 || index > columnCount()) index = columnCount();
    insertColumn(index);
    auto* header = new QTableWidgetItem(title);
    header->setTextAlignment(alignment | Qt::AlignVCenter);
    setHorizontalHeaderItem(index, header);
    setColumnWidth(index, width);
    impl_->alignments[index] = alignment;
    ++impl_->insertedColumns;
}

void EditableList::SetReadOnlyColumn(int column, bool on) {
    if (on) impl_->readOnly.insert(column);
    else impl_->readOnly.erase(column);
}

void EditableList::SetDropDownColumn(int column, bool on) {
    if (on) impl_->dropDown.insert(column);
    else impl_->dropDown.erase(column);
}

void EditableList::SetAllowedCharacters(int column, const QString& characters) {
    if (column == -1) {
        impl_->allowed.fill(characters);
    } else if (column >= 0 && column < kAllowedColumns) {
        impl_->allowed[static_cast<std::size_t>(column)] = characters;
    }
}

void EditableList::SetDropDownScrollBar(bool on) { impl_->dropDownScrollBar = on; }
void EditableList::SetLabelEditing(bool on) { impl_->labelEditing = on; }
bool EditableList::LabelEditing() const { return impl_->labelEditing; }
bool EditableList::IsReadOnlyColumn(int column) const { return impl_->readOnly.count(column) != 0; }
bool EditableList::IsDropDownColumn(int column) const { return impl_->dropDown.count(column) != 0; }

QString EditableList::AllowedCharacters(int column) const {
    if (column < 0 || column >= kAllowedColumns) return {};
    return impl_->allowed[static_cast<std::size_t>(column)];
}

void EditableList::SetCellText(int row, int column, const QString& text) {
    if (row < 0 || column < 0 || column >= columnCount()) return;
    if (row >= rowCount()) setRowCount(row + 1);
    QTableWidgetItem* cell = item(row, column);
    if (!cell) {
        cell = new QTableWidgetItem;
        cell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        const auto a = impl_->alignments.find(column);
        cell->setTextAlignment((a == impl_->alignments.end() ? Qt::AlignLeft : a->second) | Qt::AlignVCenter);
        setItem(row, column, cell);
    }
    cell->setText(text);
}

QString EditableList::CellText(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

QPair<int, int> EditableList::CellAt(const QPoint& p) const {
    const int row = rowAt(p.y());
    if (row < 0) return {-1, -1};
    // Columns cover their left edge up to left + width, both ends included; the first
    // one that covers x wins.
    int left = columnViewportPosition(0);
    for (int c = 0; c < columnCount(); ++c) {
        if (isColumnHidden(c)) continue;
        const int width = columnWidth(c);
        if (p.x() >= left && p.x() <= left + width) return {row, c};
        left += width;
    }
    return {-1, -1};
}

bool EditableList::EditorOpen() const { return impl_->open != Impl::Editor::None; }

QPair<int, int> EditableList::EditedCell() const {
    switch (impl_->open) {
        case Impl::Editor::Combo: return {impl_->combo->row, impl_->combo->column};
        case Impl::Editor::Text: return {impl_->edit->row, impl_->edit->column};
        default: return {-1, -1};
    }
}

QComboBox* EditableList::ComboEditor() const { return impl_->combo; }
QLineEdit* EditableList::TextEditor() const { return impl_->edit; }

void EditableList::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() != Qt::LeftButton) {
        if (CellAt(p).first >= 0) setFocus(Qt::MouseFocusReason);
        QTableWidget::mousePressEvent(event);
        return;
    }
    if (CellAt(p).first < 0) {
        event->accept();  // outside every cell: nothing at all happens
        return;
    }
    setFocus(Qt::MouseFocusReason);
    QTableWidget::mousePressEvent(event);
    StartEditAt(p, event->modifiers(), false);
}

void EditableList::mouseMoveEvent(QMouseEvent* event) {
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus != this && !isAncestorOf(focus) && focus->window() == window()) setFocus(Qt::MouseFocusReason);
    const QPoint p = event->position().toPoint();
    if (CellAt(p).first < 0) {
        event->accept();
        return;
    }
    QTableWidget::mouseMoveEvent(event);
    StartEditAt(p, event->modifiers(), true);
}

bool EditableList::StartEditAt(const QPoint& point, Qt::KeyboardModifiers modifiers, bool /*moved*/) {
    const auto [row, column] = CellAt(point);
    if (row < 0) return false;
    if (modifiers & (Qt::ShiftModifier | Qt::ControlModifier)) return true;
    if (row >= rowCount() || row != currentRow() || !impl_->labelEditing) return true;
    // Pointing again at the cell being edited keeps that edit as it is.
    if (EditorOpen() && EditedCell() == qMakePair(row, column)) return true;
    if (IsDropDownColumn(column)) {
        OpenCombo(row, column, CellText(row, column));
    } else if (!IsReadOnlyColumn(column)) {
        OpenTextEdit(row, column, CellText(row, column));
    }
    return true;
}

bool EditableList::PlaceEditor(int row, int column, QRect& rect) {
    if (row < 0 || row >= rowCount()) return false;
    if (column < 0 || column >= columnCount()) return false;
    if (columnWidth(column) < kNarrowestEditableColumn || isColumnHidden(column)) return false;
    // Bring the row and the column into view (scrolls only when needed).
    scrollTo(model()->index(row, column), QAbstractItemView::EnsureVisible);
    rect = QRect(columnViewportPosition(column), rowViewportPosition(row), columnWidth(column), rowHeight(row));
    return true;
}

void EditableList::OpenCombo(int row, int column, const QString& /*text*/) {
    // A different cell's edit ends first, so its text lands in its own cell.
    EndEdit();
    QStringList choices;
    emit ChoicesRequested(row, column, &choices);
    QRect rect;
    if (!PlaceEditor(row, column, rect)) return;
    // The cell may have changed while the previous edit ended or the choices were filled.
    const QString text = CellText(row, column);
    if (!impl_->combo) impl_->combo = new InPlaceCombo(this);
    impl_->open = Impl::Editor::Combo;
    impl_->combo->Open(row, column, choices, text, rect, impl_->dropDownScrollBar);
    for (int i = 0; i < choices.size(); ++i) {
        if (choices[i].startsWith(text, Qt::CaseInsensitive)) {
            impl_->combo->setCurrentIndex(i);
            break;
        }
    }
}

void EditableList::OpenTextEdit(int row, int column, const QString& /*text*/) {
    EndEdit();
    QRect rect;
    if (!PlaceEditor(row, column, rect)) return;
    const QString text = CellText(row, column);
    if (!impl_->edit) impl_->edit = new InPlaceEdit(this);
    impl_->open = Impl::Editor::Text;
    impl_->edit->Open(row, column, AllowedCharacters(column), text, rect);
}

void EditableList::EndEdit() {
    if (!EditorOpen()) return;
    const bool combo = impl_->open == Impl::Editor::Combo;
    QWidget* editor = combo ? static_cast<QWidget*>(impl_->combo) : impl_->edit;
    if (editor->hasFocus()) setFocus(Qt::OtherFocusReason);  // the focus loss ends the edit
    FinishEdit(combo);                                       // ... or this does, once
}

void EditableList::FinishEdit(bool fromCombo) {
    if (!impl_ || impl_->destroying || impl_->finishing) return;
    const auto expected = fromCombo ? Impl::Editor::Combo : Impl::Editor::Text;
    if (impl_->open != expected) return;
    impl_->finishing = true;
    impl_->open = Impl::Editor::None;
    int row = 0, column = 0;
    QString text;
    if (fromCombo) {
        InPlaceCombo* c = impl_->combo;
        row = c->row;
        column = c->column;
        // A drop-down left without any choice selected changes nothing.
        text = (c->cancelled || c->currentIndex() < 0) ? c->startingText : c->currentText();
        c->hide();
    } else {
        InPlaceEdit* e = impl_->edit;
        row = e->row;
        column = e->column;
        text = e->cancelled ? e->startingText : e->text();
        e->hide();
    }
    SetCellText(row, column, text);
    impl_->finishing = false;
    emit Edited(row, column, text);
}

void EditableList::scrollContentsBy(int dx, int dy) {
    // A scroll ends an open edit with the editor's text before the cells move.
    if (EditorOpen()) EndEdit();
    QTableWidget::scrollContentsBy(dx, dy);
}

}  // namespace tessera::ui
