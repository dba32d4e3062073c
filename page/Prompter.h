#pragma once
// Every question, message, file dialog and printer choice of a page goes through a Prompter.
// The page models know only this interface, and it holds no toolkit type: behind it stand the
// window's dialogs (ui::QtPrompter), the terminal of tessera-cli and the scripted answers of
// the tests (tests/support/ScriptedPrompter.h).

#include <optional>
#include <string>

namespace tessera::page {

enum class Answer { Yes, No, Cancel };

// What a question asks. A caller that answers without a person (tessera-cli) decides by the
// topic, never by the wording, so a reworded question cannot change what a script does.
enum class Topic {
    SaveShownData,  // shown data or edited settings would be lost: Yes saves them first
    Overwrite,      // the chosen file exists: Yes replaces it
    SkipBadLine,    // a line of a file cannot be read: Yes skips it and reads on, No stops
    ConfirmMeter,   // clear the meter's memory, configure it or initialise it
    StopLogging,    // the window closes while a logging run holds the meter
    RecoverRun,     // a logging run that a crash left unsaved: Yes shows it, No discards it,
                    // Cancel keeps it for the next start
};

struct Question {
    Topic topic;
    std::string text;  // exactly as the person reads it
    // The file the question is about, when it is about one (the file an overwrite really
    // replaces, a symbolic link followed); shown beside the text.
    std::string file = {};
};

struct FileFilter {
    std::string description;  // "8620 Setting File(*.SET)"
    std::string pattern;      // "*.SET"
};

// What a page wants printed, as the print dialog is to offer it.
struct PrintRequest {
    std::string documentName;  // "ERPrint", "Draw graph"
    bool landscape = false;
    int fromPage = 0, toPage = 0;  // a page range set beforehand; 0: none
};

// The printer and settings the person chose. The view sets its printer up from this.
struct PrintChoice {
    enum class Duplex { None, LongSide, ShortSide, Auto };

    std::string printerName;  // empty: the system's default printer
    std::string outputFile;   // not empty: print into this PDF file instead
    bool landscape = false;
    double paperWidthMm = 0, paperHeightMm = 0;  // 0: the printer's own paper
    int fromPage = 0, toPage = 0;                // 0: every page
    int copies = 1;
    bool collate = true;
    bool colour = true;
    Duplex duplex = Duplex::None;
};

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual Answer AskYesNo(const Question& question) = 0;        // Yes or No
    virtual Answer AskYesNoCancel(const Question& question) = 0;  // Yes, No or Cancel
    virtual void Inform(const std::string& message) = 0;          // OK only
    // Empty: the person cancelled.
    virtual std::string ChooseOpenFile(const FileFilter& filter) = 0;
    virtual std::string ChooseSaveFile(const FileFilter& filter) = 0;
    // Nothing: the person cancelled.
    virtual std::optional<PrintChoice> ChoosePrinter(const PrintRequest& request) = 0;
};

}  // namespace tessera::page
