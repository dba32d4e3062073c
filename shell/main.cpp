// tessera: the desktop companion of the QM8620 magnetic field meter.

#include <QApplication>
#include <QCommandLineParser>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "TesseraVersion.h"
#include "link/Link.h"
#include "platform/Clock.h"
#include "shell/Application.h"
#include "shell/CSheet.h"
#include "shell/Texts.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"
#include "ui/QtPrompter.h"

int main(int argc, char** argv) {
    // Answered before the window system is touched, so it works without a display too.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::printf("tessera %s\n", TESSERA_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--") == 0) break;
    }
    QApplication app(argc, argv);
    // Qt adopts the user's locale for the C library too; a decimal comma there would split
    // CSV fields and misread meter replies, so numbers stay in the "C" notation.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("tessera"));
    QApplication::setApplicationVersion(QStringLiteral(TESSERA_VERSION));
    // The desktop entry's name: lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.tavik.tessera"));
    QApplication::setApplicationDisplayName(QString::fromUtf8(tessera::shell::kWindowTitle));
    QApplication::setWindowIcon(tessera::ui::ResourceIcon(tessera::ui::kProgramIcon));
    tessera::ui::InstallFontSubstitutes();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The desktop companion of the QM8620 magnetic field meter."));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Write every page as a PNG into <dir>, then quit."),
                                  QStringLiteral("dir"));
    QCommandLineOption transport(QStringLiteral("transport"), QStringLiteral("Use the transport library at <path>."),
                                 QStringLiteral("path"));
    QCommandLineOption accuracy(QStringLiteral("accuracy"), QStringLiteral("Read the accuracy table from <file>."),
                                QStringLiteral("file"));
    parser.addOption(screenshot);
    parser.addOption(transport);
    parser.addOption(accuracy);
    parser.process(app);

    tessera::shell::ProgramOptions options;
    options.screenshotDirectory = parser.value(screenshot).toStdString();
    options.startup.transportPath = parser.value(transport).toStdString();
    options.startup.accuracyPath = parser.value(accuracy).toStdString();

    tessera::ui::QtPrompter prompter;
    tessera::link::Link& link = tessera::link::TheLink();
    return tessera::shell::RunProgram(link, prompter, tessera::platform::DefaultClock(), options);
}
