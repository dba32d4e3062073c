#pragma once
// Every question, message box and file dialog of the program goes through a Prompter.
// The Qt implementation shows real dialogs titled "TAVIK TESSERA for QM8620"; tests use
// ScriptedPrompter, which answers from a script and records every text it was shown.

#include <deque>
#include <string>
#include <vector>

class QWidget;
class QPrinter;

namespace tessera::ui {

inline constexpr const char* kMessageTitle = "TAVIK TESSERA for QM8620";

enum class Answer { Yes, No, Cancel };

struct FileFilter {
    std::string description;  // "8620 Setting File(*.SET)"
    std::string pattern;      // "*.SET"
};

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual Answer AskYesNo(const std::string& question) = 0;        // Yes or No
    virtual Answer AskYesNoCancel(const std::string& question) = 0;  // Yes, No or Cancel
    virtual void Inform(const std::string& message) = 0;             // OK only
    // Empty string: the user cancelled.
    virtual std::string ChooseOpenFile(const FileFilter& filter) = 0;
    virtual std::string ChooseSaveFile(const FileFilter& filter) = 0;
    // Lets the user choose and set up a printer; false when cancelled.
    virtual bool ChoosePrinter(QPrinter& printer) = 0;
};

// The real dialogs. `parent` owns them (may be null).
class QtPrompter final : public Prompter {
public:
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    Answer AskYesNo(const std::string& question) override;
    Answer AskYesNoCancel(const std::string& question) override;
    void Inform(const std::string& message) override;
    std::string ChooseOpenFile(const FileFilter& filter) override;
    std::string ChooseSaveFile(const FileFilter& filter) override;
    bool ChoosePrinter(QPrinter& printer) override;

private:
    QWidget* parent_;
};

// Answers from queues; an empty queue answers No / Cancel / "" / false. Records everything.
class ScriptedPrompter final : public Prompter {
public:
    struct Event {
        enum Kind { YesNo, YesNoCancel, Info, OpenFile, SaveFile, Printer } kind;
        std::string text;  // question or message; filter description for file dialogs
    };

    Answer AskYesNo(const std::string& question) override;
    Answer AskYesNoCancel(const std::string& question) override;
    void Inform(const std::string& message) override;
    std::string ChooseOpenFile(const FileFilter& filter) override;
    std::string ChooseSaveFile(const FileFilter& filter) override;
    bool ChoosePrinter(QPrinter& printer) override;

    std::deque<Answer> answers;          // for both kinds of question
    std::deque<std::string> files;       // for both file dialogs
    std::deque<std::string> printPdfs;   // ChoosePrinter sets PDF output to the next path
    std::vector<Event> events;

    // Texts shown by Inform, in order.
    std::vector<std::string> Messages() const;
    // Texts asked as questions, in order.
    std::vector<std::string> Questions() const;
};

}  // namespace tessera::ui
