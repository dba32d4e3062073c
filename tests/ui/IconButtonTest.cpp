// IconButton's looks, read back from its pixels: the black frame of a focused or default
// raised button, the bare flat logo, the pressed offset and the disabled look.

#include <gtest/gtest.h>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include "ui/IconButton.h"
#include "ui/Icons.h"

using tessera::ui::IconButton;

namespace {

class IconButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&page);
        other = new QLineEdit(&page);
        print = new IconButton("Print", &page);
        print->SetFlat(false);
        print->SetIcon(tessera::ui::ResourceIcon(tessera::ui::kPrintIcon));
        print->setFixedSize(120, 40);
        logo = new IconButton(&page);
        logo->SetFlatBorder(false);
        logo->SetIcon(tessera::ui::ResourceIcon(tessera::ui::kLogoIconFirst));
        logo->setIconSize(QSize(48, 48));
        logo->setFixedSize(64, 64);
        layout->addWidget(other);
        layout->addWidget(print);
        layout->addWidget(logo);
        page.show();
        QApplication::setActiveWindow(&page);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
        // The pointer starts away from the buttons, whatever an earlier test left behind.
        QTest::mouseMove(other, QPoint(3, 3));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(logo, &leave);
        ASSERT_FALSE(logo->Hover());
    }

    static QImage Shot(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // Pixels and palette colours compared as 8-bit RGB.
    static QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFFu; }
    static QRgb Rgb(const QColor& c) { return c.rgb() & 0xFFFFFFu; }
    static QRgb Role(QWidget* w, QPalette::ColorRole role) { return Rgb(w->palette().color(role)); }
    static bool HasColor(const QImage& img, const QColor& c, QRect area = {}) {
        if (area.isNull()) area = img.rect();
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (At(img, x, y) == Rgb(c)) return true;
        return false;
    }

    QWidget page;
    QLineEdit* other = nullptr;
    IconButton* print = nullptr;
    IconButton* logo = nullptr;
};

TEST_F(IconButtonTest, IconsOfThePagesAreBuiltIn) {
    for (int id : {132, 140, 141, 142, 143, 144}) {
        const QIcon icon = tessera::ui::ResourceIcon(id);
        ASSERT_FALSE(icon.isNull()) << id;
        EXPECT_FALSE(icon.pixmap(32, 32).isNull()) << id;
    }
    EXPECT_TRUE(tessera::ui::ResourceIcon(150).isNull());
    EXPECT_EQ(tessera::ui::IconPath(140), ":/icons/140.svg");
}

TEST_F(IconButtonTest, RaisedButtonHasBlackFrameOnlyWhileFocusedOrDefault) {
    other->setFocus();
    QImage img = Shot(print);
    EXPECT_NE(At(img, 0, 20), Rgb(Qt::black));
    // Raised edge: highlight on the left, dark shadow on the right.
    EXPECT_EQ(At(img, 0, 20), Role(print, QPalette::Light));
    EXPECT_EQ(At(img, 119, 20), Role(print, QPalette::Shadow));

    print->setFocus();
    img = Shot(print);
    EXPECT_EQ(At(img, 0, 20), Rgb(Qt::black));
    EXPECT_EQ(At(img, 60, 0), Rgb(Qt::black));
    EXPECT_EQ(At(img, 119, 39), Rgb(Qt::black));

    other->setFocus();
    print->setDefault(true);
    img = Shot(print);
    EXPECT_EQ(At(img, 0, 20), Rgb(Qt::black));
    print->setDefault(false);
    img = Shot(print);
    EXPECT_NE(At(img, 0, 20), Rgb(Qt::black));
}

TEST_F(IconButtonTest, FlatLogoShowsNoBorderOnHoverPressOrFocus) {
    const QImage plain = Shot(logo);
    QTest::mouseMove(logo, QPoint(32, 32));
    EXPECT_TRUE(logo->Hover());
    const QImage hovered = Shot(logo);
    logo->setDown(true);
    logo->setFocus();
    const QImage pressed = Shot(logo);
    logo->setDown(false);
    // Edges and the place of a focus rectangle look exactly as when idle.
    for (const QImage* img : {&hovered, &pressed}) {
        for (const QPoint pt : {QPoint(0, 0), QPoint(0, 32), QPoint(63, 32), QPoint(32, 63), QPoint(3, 32)})
            EXPECT_EQ(At(*img, pt.x(), pt.y()), At(plain, pt.x(), pt.y())) << pt.x() << "," << pt.y();
    }
    EXPECT_EQ(hovered, plain);
    // The icon itself moves by the pressed offset.
    EXPECT_NE(hovered, pressed);
}

TEST_F(IconButtonTest, FlatButtonWithBorderShowsItOnlyWhileHovered) {
    logo->SetFlatBorder(true);
    const QImage plain = Shot(logo);
    QTest::mouseMove(logo, QPoint(32, 32));
    QImage img = Shot(logo);
    EXPECT_EQ(At(img, 0, 32), Role(logo, QPalette::Light));
    EXPECT_EQ(At(img, 63, 32), Role(logo, QPalette::Dark));
    logo->setDown(true);
    img = Shot(logo);
    EXPECT_EQ(At(img, 0, 32), Role(logo, QPalette::Dark));  // sunken
    logo->setDown(false);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(logo, &leave);
    EXPECT_FALSE(logo->Hover());
    EXPECT_EQ(At(Shot(logo), 0, 32), At(plain, 0, 32));
}

TEST_F(IconButtonTest, DisabledButtonEmbossesIconAndDrawsCaptionInTwoColours) {
    const QPalette pal = print->palette();
    QImage enabled = Shot(print);
    print->setFocus();
    print->setEnabled(false);
    EXPECT_FALSE(print->hasFocus());  // the focus moves on
    QImage disabled = Shot(print);
    // Caption: no pixel in the normal text colour, but both the highlight and the shadow copy.
    const QRect captionArea(40, 8, 75, 24);
    EXPECT_TRUE(HasColor(enabled, pal.color(QPalette::ButtonText), captionArea));
    EXPECT_FALSE(HasColor(disabled, pal.color(QPalette::ButtonText), captionArea));
    EXPECT_TRUE(HasColor(disabled, pal.color(QPalette::Dark), captionArea));
    // Icon: the area differs from the enabled drawing.
    const QRect iconArea(4, 8, 24, 24);
    EXPECT_NE(enabled.copy(iconArea), disabled.copy(iconArea));
}

}  // namespace
