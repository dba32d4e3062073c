#pragma once
// Page layouts are given in dialog units of the page font: x units are a quarter of the
// average character width, y units an eighth of the character height.

#include <QFont>
#include <QFontMetrics>
#include <QRect>

namespace tessera::shell {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics fm(font);
        const QString sample = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        baseX_ = std::max(1.0, (fm.horizontalAdvance(sample) / 26.0 + 1.0) / 2.0);
        baseY_ = std::max(1, fm.height());
    }
    int X(int units) const { return static_cast<int>(units * baseX_ / 4.0 + 0.5); }
    int Y(int units) const { return (units * baseY_ + 4) / 8; }
    QRect Rect(int x, int y, int w, int h) const { return {X(x), Y(y), X(w), Y(h)}; }
    QSize Size(int w, int h) const { return {X(w), Y(h)}; }

private:
    double baseX_ = 1.0;
    int baseY_ = 1;
};

}  // namespace tessera::shell
