#pragma once
// The logger's CSV workflow: CSV Save with its dialog, the refusal of an Entire Read file and
// the overwrite question; File Read's dialog; and reading a logger file into the sample store
// with its header checks and the question about each unreadable data line. What a file read
// means for the page's controls is the page model's.

#include <optional>
#include <string>

#include "logger/LogData.h"
#include "logger/LoggerCsv.h"
#include "page/Prompter.h"

namespace tessera::logger {

class LogFiles {
public:
    LogFiles(page::Prompter& prompter, LogData& data);

    // CSV Save of the shown samples: true when a file was written; they count as saved then.
    bool Save();
    // The shown samples were written (by Save, or as a part of a long survey): they count as
    // saved, and their journal goes.
    void MarkSaved();
    // File Read's dialog: the chosen file, or empty (cancelled, or not found and said so).
    std::string ChooseFileToRead();

    // What a file read brought, beside the samples now in the store.
    struct Read {
        PeriodChoice period;
        int method = 0;
        char unit = 0;      // of the file's record
        int rangeCode = 0;  // of the file's record
    };
    // Reads a logger file into the store: nothing (after the message) when its header is
    // refused, and then nothing shown has changed. Otherwise the file's samples are the shown
    // data, saved (state 2); data.sampleCount is the last slot holding one, and with no
    // sample at all the store is empty.
    std::optional<Read> ReadFile(const std::string& path);

private:
    page::Prompter& prompter_;
    LogData& data_;
};

}  // namespace tessera::logger
