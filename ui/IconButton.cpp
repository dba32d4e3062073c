#include "ui/IconButton.h"

#include <QApplication>
#include <QEnterEvent>
#include <QPainter>

namespace tessera::ui {

IconButton::IconButton(QWidget* parent) : QPushButton(parent) { Init(); }

IconButton::IconButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) { Init(); }

void IconButton::Init() {
    setAttribute(Qt::WA_Hover, true);
    setIconSize(QSize(24, 24));
    // Clicking gives the button the focus, as a dialog button would take it.
    setFocusPolicy(Qt::StrongFocus);
}

void IconButton::SetIcon(const QIcon& icon) {
    icon_ = icon;
    update();
}

void IconButton::SetFlat(bool on, bool repaint) {
    flat_ = on;
    if (!on) hover_ = false;
    if (repaint) update();
}

void IconButton::SetFlatBorder(bool on, bool repaint) {
    flatBorder_ = on;
    if (repaint) update();
}

QSize IconButton::sizeHint() const {
    const QFontMetrics fm(font());
    const QString caption = text();
    int w = 12, h = 8;
    if (!icon_.isNull()) {
        w += iconSize().width() + (caption.isEmpty() ? 0 : 2 * iconMargin_);
        h = std::max(h, iconSize().height() + 8);
    }
    if (!caption.isEmpty()) {
        const QSize t = fm.size(Qt::TextShowMnemonic, caption);
        w += t.width() + 8;
        h = std::max(h, t.height() + 10);
    }
    return {w, h};
}

void IconButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    const bool pressed = isDown();
    const bool focused = hasFocus();
    const bool disabled = !isEnabled();
    const QColor face = pal.color(QPalette::Active, QPalette::Button);
    const QColor faceText = pal.color(QPalette::Active, QPalette::ButtonText);
    // The three colour states (pointer over or pressed, normal, focused) all follow the
    // system's button colours; they are kept apart so a look can differ per state.
    const QColor hoverBack = face, normalBack = face, focusBack = face;
    const QColor hoverText = faceText, normalText = faceText;
    const QColor highlight = pal.color(QPalette::Active, QPalette::Light);
    const QColor light3d = pal.color(QPalette::Active, QPalette::Midlight);
    const QColor shadow = pal.color(QPalette::Active, QPalette::Dark);
    const QColor darkShadow = pal.color(QPalette::Active, QPalette::Shadow);

    QRect r = rect();
    if (!flat_ && (focused || isDefault())) {
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }

    // A flat button's face is the page behind it (a button face on a dialog); the raised
    // button paints its own.
    if (!flat_) p.fillRect(r, (hover_ || pressed) ? hoverBack : (focused ? focusBack : normalBack));

    auto hline = [&p](int x1, int x2, int y, const QColor& c) {
        p.setPen(c);
        p.drawLine(x1, y, x2, y);
    };
    auto vline = [&p](int x, int y1, int y2, const QColor& c) {
        p.setPen(c);
        p.drawLine(x, y1, x, y2);
    };
    const int L = r.left(), T = r.top(), R = r.right(), B = r.bottom();
    if (!flat_) {
        if (!pressed) {
            hline(L, R - 1, T, highlight);
            vline(L, T, B - 1, highlight);
            hline(L + 1, R - 2, T + 1, light3d);
            vline(L + 1, T + 1, B - 2, light3d);
            hline(L, R, B, darkShadow);
            vline(R, T, B, darkShadow);
            hline(L + 1, R - 1, B - 1, shadow);
            vline(R - 1, T + 1, B - 1, shadow);
        } else {
            p.setPen(shadow);
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(0, 0, -1, -1));
        }
    } else if (flatBorder_ && (hover_ || pressed)) {
        const QColor topLeft = pressed ? shadow : highlight;
        const QColor bottomRight = pressed ? highlight : shadow;
        hline(L, R, T, topLeft);
        vline(L, T, B, topLeft);
        hline(L, R, B, bottomRight);
        vline(R, T, B, bottomRight);
    }

    const QPoint offset = pressed ? pressedOffset_ : QPoint(0, 0);
    const QString caption = text();
    QRect captionSpace = r;
    if (!icon_.isNull()) {
        const QSize size = iconSize().boundedTo(r.size());
        QPoint at;
        if (!caption.isEmpty()) {
            at = QPoint(r.left() + iconMargin_, r.top() + (r.height() - size.height()) / 2);
            captionSpace.setLeft(at.x() + size.width() + iconMargin_);
        } else {
            at = QPoint(r.left() + (r.width() - size.width()) / 2, r.top() + (r.height() - size.height()) / 2);
        }
        const QPixmap pm = icon_.pixmap(size, devicePixelRatio(), disabled ? QIcon::Disabled : QIcon::Normal);
        p.drawPixmap(QRect(at + offset, size), pm);
    }

    if (!caption.isEmpty()) {
        const int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
        const QRect space = captionSpace.translated(offset);
        p.setFont(font());
        if (disabled) {
            p.setPen(highlight);
            p.drawText(space.translated(1, 1), flags, caption);
            p.setPen(shadow);
            p.drawText(space, flags, caption);
        } else {
            p.setPen((hover_ || pressed) ? hoverText : normalText);
            p.drawText(space, flags, caption);
        }
    }

    if (focused && !flat_) {
        QPen dots(faceText, 1, Qt::DotLine);
        p.setPen(dots);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(3, 3, -4, -4));
    }
}

void IconButton::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    if (flat_ && !(QApplication::mouseButtons() & Qt::LeftButton)) {
        hover_ = true;
        update();
    }
}

void IconButton::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    ClearHover();
}

void IconButton::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    ClearHover();
}

void IconButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if ((event->type() == QEvent::ActivationChange && !isActiveWindow()) ||
        (event->type() == QEvent::EnabledChange && !isEnabled()))
        ClearHover();
    if (event->type() == QEvent::PaletteChange) update();
}

void IconButton::ClearHover() {
    if (!hover_) return;
    hover_ = false;
    update();
}

}  // namespace tessera::ui
