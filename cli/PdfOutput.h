#pragma once
// PDF output of the print commands (only in builds with printing). Header only, so a build
// without Qt never compiles it.

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QPdfWriter>
#include <clocale>
#include <memory>
#include <string>
#include <string_view>

#include "TesseraVersion.h"
#include "platform/FileReplace.h"
#include "ui/Fonts.h"

namespace tessera::cli {

// Fonts and PDF output need a GUI application object; no window is ever shown. Null when
// one exists already.
inline std::unique_ptr<QGuiApplication> GuiApplicationForPrinting() {
    if (QCoreApplication::instance()) return nullptr;
        // Without a display on Linux the offscreen platform draws. On Windows the system's own
        // platform always can, and only it brings the system's fonts.
#if !defined(_WIN32)
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    static int argc = 1;
    static char name[] = "tessera-cli";
    static char* argv[] = {name, nullptr};
    auto app = std::make_unique<QGuiApplication>(argc, argv);
    // Qt adopts the user's locale for the C library; numbers in files stay in "C" notation.
    std::setlocale(LC_NUMERIC, "C");
    ui::InstallFontSubstitutes();
    return app;
}

// An A4 document titled `title`, made by the program.
inline void SetUpPdf(QPdfWriter& writer, const QString& title) {
    writer.setTitle(title);
    writer.setCreator(QStringLiteral(TESSERA_PRODUCT_TITLE));
    writer.setPageSize(QPageSize(QPageSize::A4));
}

// Draws a PDF titled `title` with `draw(writer)` (true when it drew) and saves it as `path`
// the way every file of the program is saved: an older file stays whole when the new one
// cannot be written, and the name reaches the system as given, never through a QString (a
// name that is not UTF-8 would come back as another name).
// `error`, when not null, receives why the file could not be written.
template <typename Draw>
bool WritePdf(const std::string& path, const QString& title, Draw&& draw, std::string* error = nullptr) {
    QByteArray pdf;
    bool drawn = false;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        SetUpPdf(writer, title);
        drawn = draw(writer);
    }  // the document is complete once the writer is gone
    return drawn && platform::ReplaceFileContents(
                        path, std::string_view(pdf.constData(), static_cast<std::size_t>(pdf.size())), error);
}

}  // namespace tessera::cli
