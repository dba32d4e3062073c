#pragma once
// A push button that draws its own face: an icon beside (or instead of) its caption,
// a flat look with an optional hover border, or the classic raised 3-D look with a black
// frame while it is focused or the default button.

#include <QIcon>
#include <QPushButton>

namespace tessera::ui {

class IconButton : public QPushButton {
    Q_OBJECT
public:
    explicit IconButton(QWidget* parent = nullptr);
    explicit IconButton(const QString& caption, QWidget* parent = nullptr);

    // The button keeps the icon; a null icon shows none.
    void SetIcon(const QIcon& icon);
    QIcon Icon() const { return icon_; }
    void SetFlat(bool on, bool repaint = true);
    bool Flat() const { return flat_; }
    void SetFlatBorder(bool on, bool repaint = true);
    bool FlatBorder() const { return flatBorder_; }
    bool Hover() const { return hover_; }

    void SetPressedOffset(const QPoint& offset) { pressedOffset_ = offset; }
    QPoint PressedOffset() const { return pressedOffset_; }
    void SetIconMargin(int pixels) { iconMargin_ = pixels; }
    int IconMargin() const { return iconMargin_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Init();
    void ClearHover();

    QIcon icon_;
    bool flat_ = true;
    bool flatBorder_ = true;
    bool hover_ = false;
    QPoint pressedOffset_{1, 1};
    int iconMargin_ = 3;
};

}  // namespace tessera::ui
