// tessera: the desktop companion of the QM8620 magnetic field meter.

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "TesseraVersion.h"
#include "link/Link.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "shell/Application.h"
#include "shell/CSheet.h"
#include "shell/Texts.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"
#include "ui/QtPrompter.h"

namespace {

struct Options {
    QCommandLineOption screenshot{QStringLiteral("screenshot"),
                                  QStringLiteral("Write every page as a PNG into <dir>, then quit."),
                                  QStringLiteral("dir")};
    QCommandLineOption transport{QStringLiteral("transport"), QStringLiteral("Use the transport library at <path>."),
                                 QStringLiteral("path")};
    QCommandLineOption accuracy{QStringLiteral("accuracy"), QStringLiteral("Read the accuracy table from <file>."),
                                QStringLiteral("file")};
    QCommandLineOption meter{QStringLiteral("meter"),
                             QStringLiteral("Use the meter with the serial number <serial> (as TESSERA_METER does)."),
                             QStringLiteral("serial")};
};

void Declare(QCommandLineParser& parser, const Options& options) {
    parser.setApplicationDescription(QStringLiteral("The desktop companion of the QM8620 magnetic field meter."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(options.screenshot);
    parser.addOption(options.transport);
    parser.addOption(options.accuracy);
    parser.addOption(options.meter);
}

// Whether the words before "--" ask for `names`.
bool Asked(int argc, char** argv, std::initializer_list<const char*> names) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        for (const char* name : names)
            if (std::strcmp(argv[i], name) == 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // Answered before the window system is touched, so they work without a display too.
    if (Asked(argc, argv, {"--version", "-v"})) {
        std::printf("tessera %s\n", TESSERA_VERSION);
        return 0;
    }
    const Options options;
    if (Asked(argc, argv, {"--help", "-h", "-?", "--help-all"})) {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("tessera"));
        QCommandLineParser parser;
        Declare(parser, options);
        parser.process(core);  // shows the help and ends the program
        return 0;
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
    Declare(parser, options);
    parser.process(app);

    tessera::shell::ProgramOptions program;
    program.screenshotDirectory = parser.value(options.screenshot).toStdString();
    program.startup.transportPath = parser.value(options.transport).toStdString();
    program.startup.accuracyPath = parser.value(options.accuracy).toStdString();

    // Before the link exists: its exchange lock and the transport's search follow the choice.
    if (parser.isSet(options.meter)) tessera::platform::ChooseMeter(parser.value(options.meter).toStdString());

    tessera::ui::QtPrompter prompter;
    tessera::link::Link& link = tessera::link::TheLink();
    return tessera::shell::RunProgram(link, prompter, tessera::platform::DefaultClock(), program);
}
