// Renders one SVG icon into a square PNG (or ICO) of a given size. The icons are drawn once, as SVG;
// wherever a PNG is needed (the hicolor theme sizes, the Windows build, whose Qt has no SVG
// module) this host tool makes it at build time, so no bitmap copy is ever kept by hand.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: tessera-svg2png IN.svg OUT.png SIZE\n");
        return 2;
    }
    const int size = std::atoi(argv[3]);
    if (size < 1 || size > 4096) {
        std::fprintf(stderr, "tessera-svg2png: SIZE must be 1 to 4096, not %s\n", argv[3]);
        return 2;
    }
    // A build machine may have no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "tessera-svg2png: cannot read %s as SVG\n", argv[1]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    painter.end();
    // PNG, or a Windows icon when the output is named ".ico" (the program file's icon).
    const QString out = QString::fromLocal8Bit(argv[2]);
    if (!image.save(out, out.endsWith(QLatin1String(".ico"), Qt::CaseInsensitive) ? "ICO" : "PNG")) {
        std::fprintf(stderr, "tessera-svg2png: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
