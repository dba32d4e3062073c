#include "ui/InPlaceEditors.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>

#include "ui/EditableList.h"

namespace tessera::ui {

namespace {

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// Clipboard and correction keys pass the character filter whatever the column allows.
bool AlwaysAllowed(QChar c) {
    const ushort u = c.unicode();
    return u == 3 || u == 8 || u == 22 || u == 24;
}

}  // namespace

// ---- InPlaceCombo ----

InPlaceCombo::InPlaceCombo(EditableList* list) : QComboBox(list->viewport()), list_(list) {
    setObjectName(QStringLiteral("InPlaceCombo"));
    setEditable(false);  // a drop-down list: choosing only, no typing
    setFocusPolicy(Qt::StrongFocus);
    view()->installEventFilter(this);
    hide();
}

void InPlaceCombo::Open(int r, int c, const QStringList& list, const QString& text, const QRect& rect,
                        bool verticalScrollBar) {
    row = r;
    column = c;
    cancelled = false;
    startingText = text;
    choices = list;
    clear();
    addItems(choices);
    setCurrentIndex(-1);
    // Room for every choice in the dropped list (the vocabulary's lists are short).
    setMaxVisibleItems(std::max<int>(static_cast<int>(choices.size()), 1));
    view()->setVerticalScrollBarPolicy(verticalScrollBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
    if (parentWidget()) setFont(list_->parentWidget() ? list_->parentWidget()->font() : list_->font());
    setGeometry(rect);
    show();
    raise();
    setFocus(Qt::OtherFocusReason);
}

void InPlaceCombo::keyPressEvent(QKeyEvent* event) {
    if (IsEnter(event->key()) || event->key() == Qt::Key_Escape) {
        if (event->key() == Qt::Key_Escape) cancelled = true;
        event->accept();
        list_->setFocus(Qt::OtherFocusReason);
        list_->FinishEdit(true);
        return;
    }
    QComboBox::keyPressEvent(event);
}

bool InPlaceCombo::eventFilter(QObject* watched, QEvent* event) {
    // Escape inside the dropped list cancels the whole edit, not just the drop-down.
    if (watched == view() && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && isVisible()) {
        cancelled = true;
        hidePopup();
        list_->setFocus(Qt::OtherFocusReason);
        list_->FinishEdit(true);
        return true;
    }
    return QComboBox::eventFilter(watched, event);
}

void InPlaceCombo::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    // Opening the drop-down hands the focus to its popup; the edit goes on.
    if (event->reason() == Qt::PopupFocusReason) return;
    list_->FinishEdit(true);
}

// ---- InPlaceEdit ----

InPlaceEdit::InPlaceEdit(EditableList* list) : QLineEdit(list->viewport()), list_(list) {
    setObjectName(QStringLiteral("InPlaceEdit"));
    setFrame(true);
    hide();
}

void InPlaceEdit::Open(int r, int c, const QString& allowed, const QString& text, const QRect& rect) {
    row = r;
    column = c;
    cancelled = false;
    startingText = text;
    allowedCharacters = allowed;
    setFont(list_->parentWidget() ? list_->parentWidget()->font() : list_->font());
    setGeometry(rect);
    setText(text);
    show();
    raise();
    selectAll();
    setFocus(Qt::OtherFocusReason);
}

void InPlaceEdit::keyPressEvent(QKeyEvent* event) {
    if (IsEnter(event->key()) || event->key() == Qt::Key_Escape) {
        if (event->key() == Qt::Key_Escape) cancelled = true;
        event->accept();
        list_->setFocus(Qt::OtherFocusReason);
        list_->FinishEdit(false);
        return;
    }
    const QString typed = event->text();
    if (!allowedCharacters.isEmpty() && !typed.isEmpty()) {
        for (const QChar ch : typed) {
            if (!AlwaysAllowed(ch) && !allowedCharacters.contains(ch)) {
                QApplication::beep();
                event->accept();
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}

void InPlaceEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (event->reason() == Qt::PopupFocusReason) return;  // its own context menu
    list_->FinishEdit(false);
}

}  // namespace tessera::ui
