#include "ui/QtPrompter.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QSettings>
#include <QVariantMap>

#include "TesseraVersion.h"

namespace tessera::ui {

namespace {

QString Title() { return QString::fromUtf8(MessageTitle()); }

page::Answer ToAnswer(QMessageBox::StandardButton b) {
    switch (b) {
        case QMessageBox::Yes: return page::Answer::Yes;
        case QMessageBox::No: return page::Answer::No;
        default: return page::Answer::Cancel;
    }
}

// The pages name their filters in full, "8620 Setting File(*.SET)" with "*.SET", and that
// text is what the dialog shows. Qt's own dialog matches the pattern without regard to
// case, so hand-named "*.set" files stay visible. A bare description gets its pattern.
QString DialogFilter(const page::FileFilter& filter) {
    const QString label = QString::fromStdString(filter.description).trimmed();
    const QString pattern = QString::fromStdString(filter.pattern).trimmed();
    const QString wanted = pattern.isEmpty() ? QStringLiteral("*") : pattern;
    if (label.endsWith(QLatin1Char('(') + wanted + QLatin1Char(')'))) return label;
    if (label.isEmpty()) return wanted + QStringLiteral(" (") + wanted + QLatin1Char(')');
    return label + QStringLiteral(" (") + wanted + QLatin1Char(')');
}

// Qt's file dialog (also the one the print dialog opens for a file) records the folders it
// visited in the "QtProject" settings that every Qt program of the user shares
// (~/.config/QtProject.conf, the registry on Windows), each time it closes; nothing turns
// that off. The program keeps nothing between runs: while one of these lives, a dialog may
// run, and what it recorded is put back as it was (a settings file only it made goes).
class QtDialogSettingsKept {
public:
    QtDialogSettingsKept() : existed_(QFileInfo::exists(QSettings(kScope, kOrganization).fileName())) {
        before_ = Recorded();
    }
    ~QtDialogSettingsKept() {
        if (Recorded() == before_) return;
        QString file;
        {
            QSettings settings(kScope, kOrganization);
            settings.beginGroup(kGroup);
            settings.remove(QString());
            for (auto it = before_.cbegin(); it != before_.cend(); ++it) settings.setValue(it.key(), it.value());
            settings.endGroup();
            settings.sync();
            if (!existed_ && settings.allKeys().isEmpty()) file = settings.fileName();
        }
        if (!file.isEmpty()) QFile::remove(file);
    }
    QtDialogSettingsKept(const QtDialogSettingsKept&) = delete;
    QtDialogSettingsKept& operator=(const QtDialogSettingsKept&) = delete;

private:
    static constexpr QSettings::Scope kScope = QSettings::UserScope;
    static inline const QString kOrganization = QStringLiteral("QtProject");
    static inline const QString kGroup = QStringLiteral("FileDialog");

    static QVariantMap Recorded() {
        QSettings settings(kScope, kOrganization);
        settings.beginGroup(kGroup);
        QVariantMap values;
        for (const QString& key : settings.allKeys()) values.insert(key, settings.value(key));
        return values;
    }

    bool existed_;
    QVariantMap before_;
};

// The question's text as the box's message; the file it is about, if any, beneath it.
page::Answer Ask(QWidget* parent, const page::Question& question, QMessageBox::StandardButtons buttons) {
    QMessageBox box(QMessageBox::Question, Title(), QString::fromStdString(question.text), buttons, parent);
    if (!question.file.empty()) box.setInformativeText(QString::fromStdString(question.file));
    box.setDefaultButton(QMessageBox::Yes);
    if (buttons & QMessageBox::Cancel) box.setEscapeButton(QMessageBox::Cancel);
    else box.setEscapeButton(QMessageBox::No);
    return ToAnswer(static_cast<QMessageBox::StandardButton>(box.exec()));
}

QPrinter::DuplexMode ToDuplex(page::PrintChoice::Duplex d) {
    switch (d) {
        case page::PrintChoice::Duplex::LongSide: return QPrinter::DuplexLongSide;
        case page::PrintChoice::Duplex::ShortSide: return QPrinter::DuplexShortSide;
        case page::PrintChoice::Duplex::Auto: return QPrinter::DuplexAuto;
        case page::PrintChoice::Duplex::None: break;
    }
    return QPrinter::DuplexNone;
}

page::PrintChoice::Duplex FromDuplex(QPrinter::DuplexMode d) {
    switch (d) {
        case QPrinter::DuplexLongSide: return page::PrintChoice::Duplex::LongSide;
        case QPrinter::DuplexShortSide: return page::PrintChoice::Duplex::ShortSide;
        case QPrinter::DuplexAuto: return page::PrintChoice::Duplex::Auto;
        case QPrinter::DuplexNone: break;
    }
    return page::PrintChoice::Duplex::None;
}

}  // namespace

const char* MessageTitle() { return TESSERA_PRODUCT_TITLE; }

page::Answer QtPrompter::AskYesNo(const page::Question& question) {
    const page::Answer a = Ask(parent_, question, QMessageBox::Yes | QMessageBox::No);
    return a == page::Answer::Yes ? page::Answer::Yes : page::Answer::No;
}

page::Answer QtPrompter::AskYesNoCancel(const page::Question& question) {
    return Ask(parent_, question, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

void QtPrompter::Inform(const std::string& message) {
    QMessageBox box(QMessageBox::Information, Title(), QString::fromStdString(message), QMessageBox::Ok, parent_);
    box.exec();
}

std::string QtPrompter::ChooseOpenFile(const page::FileFilter& filter) {
    const QtDialogSettingsKept kept;
    return QFileDialog::getOpenFileName(parent_, QString(), QString(), DialogFilter(filter)).toStdString();
}

std::string QtPrompter::ChooseSaveFile(const page::FileFilter& filter) {
    // The pages append their extension to the chosen name and then ask about overwriting
    // the file they will really write; the dialog must not ask first (about another name).
    const QtDialogSettingsKept kept;
    return QFileDialog::getSaveFileName(parent_, QString(), QString(), DialogFilter(filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite)
        .toStdString();
}

std::optional<page::PrintChoice> QtPrompter::ChoosePrinter(const page::PrintRequest& request) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromStdString(request.documentName));
    printer.setPageOrientation(request.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    if (request.fromPage > 0) printer.setFromTo(request.fromPage, request.toPage);
    const QtDialogSettingsKept kept;  // printing to a file opens a file dialog
    QPrintDialog dialog(&printer, parent_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return ChoiceOf(printer);
}

std::unique_ptr<QPrinter> MakePrinter(const page::PrintChoice& choice, const std::string& documentName) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(QString::fromStdString(documentName));
    if (!choice.outputFile.empty()) {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QString::fromStdString(choice.outputFile));
    } else if (!choice.printerName.empty()) {
        printer->setPrinterName(QString::fromStdString(choice.printerName));
    }
    if (choice.paperWidthMm > 0 && choice.paperHeightMm > 0)
        printer->setPageSize(QPageSize(QSizeF(choice.paperWidthMm, choice.paperHeightMm), QPageSize::Millimeter));
    printer->setPageOrientation(choice.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    if (choice.fromPage > 0) {
        printer->setPrintRange(QPrinter::PageRange);
        printer->setFromTo(choice.fromPage, choice.toPage);
    }
    printer->setCopyCount(choice.copies);
    printer->setCollateCopies(choice.collate);
    printer->setColorMode(choice.colour ? QPrinter::Color : QPrinter::GrayScale);
    printer->setDuplex(ToDuplex(choice.duplex));
    return printer;
}

page::PrintChoice ChoiceOf(const QPrinter& printer) {
    page::PrintChoice c;
    if (printer.outputFormat() == QPrinter::PdfFormat) c.outputFile = printer.outputFileName().toStdString();
    else c.printerName = printer.printerName().toStdString();
    c.landscape = printer.pageLayout().orientation() == QPageLayout::Landscape;
    const QSizeF paper = printer.pageLayout().pageSize().size(QPageSize::Millimeter);
    c.paperWidthMm = paper.width();
    c.paperHeightMm = paper.height();
    if (printer.printRange() == QPrinter::PageRange || printer.fromPage() > 0) {
        c.fromPage = printer.fromPage();
        c.toPage = printer.toPage();
    }
    c.copies = printer.copyCount();
    c.collate = printer.collateCopies();
    c.colour = printer.colorMode() == QPrinter::Color;
    c.duplex = FromDuplex(printer.duplex());
    return c;
}

}  // namespace tessera::ui
