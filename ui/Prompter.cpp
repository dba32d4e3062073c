#include "ui/Prompter.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace tessera::ui {

namespace {

QString Title() { return QString::fromUtf8(kMessageTitle); }

Answer ToAnswer(QMessageBox::StandardButton b) {
    switch (b) {
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        default: return Answer::Cancel;
    }
}

// The pages name their filters in full, "8620 Setting File(*.SET)" with "*.SET", and that
// text is what the dialog shows. Qt's own dialog matches the pattern without regard to
// case, so hand-named "*.set" files stay visible. A bare description gets its pattern.
QString DialogFilter(const FileFilter& filter) {
    const QString label = QString::fromStdString(filter.description).trimmed();
    const QString pattern = QString::fromStdString(filter.pattern).trimmed();
    const QString wanted = pattern.isEmpty() ? QStringLiteral("*") : pattern;
    if (label.endsWith(QLatin1Char('(') + wanted + QLatin1Char(')'))) return label;
    if (label.isEmpty()) return wanted + QStringLiteral(" (") + wanted + QLatin1Char(')');
    return label + QStringLiteral(" (") + wanted + QLatin1Char(')');
}

Answer Ask(QWidget* parent, const std::string& question, QMessageBox::StandardButtons buttons) {
    QMessageBox box(QMessageBox::Question, Title(), QString::fromStdString(question), buttons, parent);
    box.setDefaultButton(QMessageBox::Yes);
    if (buttons & QMessageBox::Cancel) box.setEscapeButton(QMessageBox::Cancel);
    else box.setEscapeButton(QMessageBox::No);
    return ToAnswer(static_cast<QMessageBox::StandardButton>(box.exec()));
}

}  // namespace

Answer QtPrompter::AskYesNo(const std::string& question) {
    const Answer a = Ask(parent_, question, QMessageBox::Yes | QMessageBox::No);
    return a == Answer::Yes ? Answer::Yes : Answer::No;
}

Answer QtPrompter::AskYesNoCancel(const std::string& question) {
    return Ask(parent_, question, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

void QtPrompter::Inform(const std::string& message) {
    QMessageBox box(QMessageBox::Information, Title(), QString::fromStdString(message), QMessageBox::Ok,
                    parent_);
    box.exec();
}

std::string QtPrompter::ChooseOpenFile(const FileFilter& filter) {
    return QFileDialog::getOpenFileName(parent_, QString(), QString(), DialogFilter(filter)).toStdString();
}

std::string QtPrompter::ChooseSaveFile(const FileFilter& filter) {
    // The pages append their extension to the chosen name and then ask about overwriting
    // the file they will really write; the dialog must not ask first (about another name).
    return QFileDialog::getSaveFileName(parent_, QString(), QString(), DialogFilter(filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite)
        .toStdString();
}

bool QtPrompter::ChoosePrinter(QPrinter& printer) {
    QPrintDialog dialog(&printer, parent_);
    return dialog.exec() == QDialog::Accepted;
}

// ---- ScriptedPrompter ----

Answer ScriptedPrompter::AskYesNo(const std::string& question) {
    events.push_back({Event::YesNo, question});
    if (answers.empty()) return Answer::No;
    const Answer a = answers.front();
    answers.pop_front();
    // A Yes/No box has no Cancel; a scripted Cancel reads as its escape answer, No.
    return a == Answer::Cancel ? Answer::No : a;
}

Answer ScriptedPrompter::AskYesNoCancel(const std::string& question) {
    events.push_back({Event::YesNoCancel, question});
    if (answers.empty()) return Answer::Cancel;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
}

void ScriptedPrompter::Inform(const std::string& message) { events.push_back({Event::Info, message}); }

std::string ScriptedPrompter::ChooseOpenFile(const FileFilter& filter) {
    events.push_back({Event::OpenFile, filter.description});
    if (files.empty()) return {};
    std::string f = files.front();
    files.pop_front();
    return f;
}

std::string ScriptedPrompter::ChooseSaveFile(const FileFilter& filter) {
    events.push_back({Event::SaveFile, filter.description});
    if (files.empty()) return {};
    std::string f = files.front();
    files.pop_front();
    return f;
}

bool ScriptedPrompter::ChoosePrinter(QPrinter& printer) {
    events.push_back({Event::Printer, std::string()});
    if (printPdfs.empty()) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(printPdfs.front()));
    printPdfs.pop_front();
    return true;
}

std::vector<std::string> ScriptedPrompter::Messages() const {
    std::vector<std::string> out;
    for (const auto& e : events)
        if (e.kind == Event::Info) out.push_back(e.text);
    return out;
}

std::vector<std::string> ScriptedPrompter::Questions() const {
    std::vector<std::string> out;
    for (const auto& e : events)
        if (e.kind == Event::YesNo || e.kind == Event::YesNoCancel) out.push_back(e.text);
    return out;
}

}  // namespace tessera::ui
