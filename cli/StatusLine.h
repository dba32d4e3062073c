#pragma once
// One line on the terminal that a long command keeps up to date on standard error: the samples
// a logging run has taken, the records a download has read, the files a command has gone
// through. It is redrawn in place (a carriage return, the text, spaces over what is left of a
// longer line before it), at most a few times a second, and taken away before anything else
// reaches standard output or standard error, so that it never mixes with the lines of messages.
// Off a terminal (a file, a pipe, a service manager's log) nothing of it is written.
//
//   StatusLine status;                          // on standard error, if that is a terminal
//   status.Show("12 records read");             // as often as the work goes on
//   std::cerr << "A message.\n";                // the line goes first, and comes back at the next Show
//   status.Show(ProgressText(0.42, 12, "files"));  // "42 % of 12 files"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "platform/Clock.h"

namespace tessera::cli {

class StatusLine {
public:
    // On this process's standard error when it is a terminal; otherwise it does nothing.
    StatusLine();
    // On `err`, whose present buffer is the terminal, `columns` wide (0: 80), redrawn by
    // `clock`'s pace. Whatever goes to `out` or `err` while it lives clears the line first.
    StatusLine(std::ostream& out, std::ostream& err, int columns, platform::Clock& clock);
    ~StatusLine();  // the line goes, the streams are as they were
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    // The text to show now (cut to the terminal's width). Drawn unless the last drawing is
    // younger than kRedrawMs (also when a message took the line away meanwhile), or a
    // message has begun a line that it has not ended (a question waiting for its answer);
    // a later Show brings it up to date.
    void Show(const std::string& text);
    // Takes the line away; the next Show draws it again.
    void Clear();
    bool Active() const { return terminal_ != nullptr; }

    static constexpr std::uint32_t kRedrawMs = 250;

private:
    class ClearingBuffer;
    void Install(std::ostream& out, std::ostream& err);

    std::streambuf* terminal_ = nullptr;
    platform::Clock* clock_ = nullptr;
    std::size_t width_ = 79;
    std::size_t drawn_ = 0;  // characters of the line on the terminal now
    bool shown_ = false;
    std::string text_;  // what is drawn
    std::uint32_t drawnAt_ = 0;
    bool everDrawn_ = false;
    std::ostream* out_ = nullptr;
    std::ostream* err_ = nullptr;
    std::unique_ptr<ClearingBuffer> outBuffer_, errBuffer_;
};

// "42 % of 12 files": how far work on `count` things has come (`done` 0..1).
std::string ProgressText(double done, long long count, const std::string& things);

}  // namespace tessera::cli
