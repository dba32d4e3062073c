#include "cli/StatusLine.h"

#include <algorithm>
#include <iostream>
#include <streambuf>

#include "platform/Console.h"

namespace tessera::cli {

// Stands between a stream and its buffer: clears the status line before each write, hands
// the write on at once (so it reaches the terminal before the line is drawn again) and
// remembers whether the write ended its line.
class StatusLine::ClearingBuffer final : public std::streambuf {
public:
    ClearingBuffer(std::streambuf* target, StatusLine& line) : target_(target), line_(line) {}

    std::streambuf* Target() const { return target_; }
    bool MidLine() const { return midLine_; }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return sync() == 0 ? traits_type::not_eof(c) : c;
        const char ch = traits_type::to_char_type(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* text, std::streamsize n) override {
        if (n <= 0) return 0;
        line_.Clear();
        const std::streamsize written = target_->sputn(text, n);
        target_->pubsync();
        midLine_ = text[n - 1] != '\n';
        return written;
    }
    int sync() override { return target_->pubsync(); }

private:
    std::streambuf* target_;
    StatusLine& line_;
    bool midLine_ = false;
};

StatusLine::StatusLine() {
    if (!platform::StandardErrorIsTerminal()) return;
    clock_ = &platform::DefaultClock();
    const int columns = platform::StandardErrorColumns();
    if (columns > 1) width_ = static_cast<std::size_t>(columns - 1);  // the last column would wrap on some terminals
    Install(std::cout, std::cerr);
}

StatusLine::StatusLine(std::ostream& out, std::ostream& err, int columns, platform::Clock& clock) : clock_(&clock) {
    if (columns > 1) width_ = static_cast<std::size_t>(columns - 1);
    Install(out, err);
}

void StatusLine::Install(std::ostream& out, std::ostream& err) {
    terminal_ = err.rdbuf();
    out_ = &out;
    err_ = &err;
    outBuffer_ = std::make_unique<ClearingBuffer>(out.rdbuf(), *this);
    errBuffer_ = std::make_unique<ClearingBuffer>(terminal_, *this);
    out.rdbuf(outBuffer_.get());
    err.rdbuf(errBuffer_.get());
}

StatusLine::~StatusLine() {
    if (!terminal_) return;
    Clear();
    out_->rdbuf(outBuffer_->Target());
    err_->rdbuf(errBuffer_->Target());
}

namespace {

// At most `width` bytes of `text`, never ending inside a UTF-8 character (a file name may hold
// one): the line is then no wider than the terminal, whatever the characters' widths.
std::string Fitted(const std::string& text, std::size_t width) {
    if (text.size() <= width) return text;
    std::size_t end = width;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace

void StatusLine::Show(const std::string& text) {
    if (!terminal_ || outBuffer_->MidLine() || errBuffer_->MidLine()) return;
    const std::string fitted = Fitted(text, width_);
    const std::uint32_t now = clock_->Millis();
    if (everDrawn_ && now - drawnAt_ < kRedrawMs) return;
    if (shown_ && fitted == text_) return;
    std::string drawing = "\r" + fitted;
    if (drawn_ > fitted.size()) drawing.append(drawn_ - fitted.size(), ' ');
    terminal_->sputn(drawing.data(), static_cast<std::streamsize>(drawing.size()));
    terminal_->pubsync();
    text_ = fitted;
    drawn_ = fitted.size();
    drawnAt_ = now;
    everDrawn_ = shown_ = true;
}

void StatusLine::Clear() {
    if (!terminal_ || !shown_) return;
    const std::string blank = "\r" + std::string(drawn_, ' ') + "\r";
    terminal_->sputn(blank.data(), static_cast<std::streamsize>(blank.size()));
    terminal_->pubsync();
    shown_ = false;
    drawn_ = 0;
    text_.clear();
}

std::string ProgressText(double done, long long count, const std::string& things) {
    const int percent = static_cast<int>(std::clamp(done, 0.0, 1.0) * 100.0);  // 100 only when all is done
    return std::to_string(percent) + " % of " + std::to_string(count) + " " + things;
}

}  // namespace tessera::cli
