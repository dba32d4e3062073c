#pragma once
// The window's Prompter: real message boxes titled with the program's title, Qt's file
// dialogs and the print dialog. A print choice comes back as data (page::PrintChoice);
// MakePrinter turns it into the printer a view prints on.

#include <memory>

#include "page/Prompter.h"

class QWidget;
class QPrinter;

namespace tessera::ui {

// The program's title on every message box.
const char* MessageTitle();

class QtPrompter final : public page::Prompter {
public:
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    page::Answer AskYesNo(const page::Question& question) override;
    page::Answer AskYesNoCancel(const page::Question& question) override;
    void Inform(const std::string& message) override;
    std::string ChooseOpenFile(const page::FileFilter& filter) override;
    std::string ChooseSaveFile(const page::FileFilter& filter) override;
    std::optional<page::PrintChoice> ChoosePrinter(const page::PrintRequest& request) override;

private:
    QWidget* parent_;
};

// A printer (high resolution) set up as chosen, named after the document.
std::unique_ptr<QPrinter> MakePrinter(const page::PrintChoice& choice, const std::string& documentName);
// What a printer is set up to do, as a print choice.
page::PrintChoice ChoiceOf(const QPrinter& printer);

}  // namespace tessera::ui
