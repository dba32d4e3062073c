#pragma once
// The two in-place editors of EditableList. Each list keeps one of each, created on first
// use; the editor's window is shown only while an edit is open. Both end their edit when
// they lose the keyboard focus, whatever the reason, and report back to their list.

#include <QComboBox>
#include <QLineEdit>

namespace tessera::ui {

class EditableList;

class InPlaceCombo : public QComboBox {
public:
    explicit InPlaceCombo(EditableList* list);
    void Open(int row, int column, const QStringList& choices, const QString& startingText, const QRect& rect,
              bool verticalScrollBar);

    int row = -1;
    int column = -1;
    bool cancelled = false;
    QString startingText;
    QStringList choices;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    EditableList* list_;
};

class InPlaceEdit : public QLineEdit {
public:
    explicit InPlaceEdit(EditableList* list);
    void Open(int row, int column, const QString& allowed, const QString& startingText, const QRect& rect);

    int row = -1;
    int column = -1;
    bool cancelled = false;
    QString startingText;
    QString allowedCharacters;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    EditableList* list_;
};

}  // namespace tessera::ui
