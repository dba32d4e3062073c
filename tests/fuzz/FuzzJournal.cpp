// The logging journal reader on any bytes: a journal it takes writes back to the same run
// (its damaged lines filled, every slot in its place, its gaps kept), and the logger page
// shows that run, whatever settings it carries. With a first byte of 1
// the input's lines get their CRCs here, so the fuzzer reaches past the CRC check.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "logger/Journal.h"
#include "logger/LoggerModel.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

std::uint32_t Crc32(std::string_view bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return c ^ 0xFFFFFFFFu;
}

std::string SealLines(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        char crc[16];
        std::snprintf(crc, sizeof crc, " *%08x\n", static_cast<unsigned>(Crc32(line)));
        out.append(line).append(crc);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return out;
}

bool SameRun(const tessera::logger::JournalContents& a, const tessera::logger::JournalContents& b) {
    const auto &s = a.header.settings, &t = b.header.settings;
    if (s.mode != t.mode || s.axis != t.axis || s.unit != t.unit || s.range != t.range || s.value1 != t.value1 ||
        s.value2 != t.value2 || s.value3 != t.value3 || s.output != t.output || s.sensor != t.sensor ||
        s.autoPowerOff != t.autoPowerOff || s.beep != t.beep || s.spare != t.spare || s.slow != t.slow ||
        s.memMode != t.memMode || !(a.header.start == b.header.start) || a.header.periodIndex != b.header.periodIndex ||
        a.header.method != b.header.method || a.samples.size() != b.samples.size() || a.gaps != b.gaps) {
        return false;
    }
    for (std::size_t i = 0; i < a.samples.size(); ++i) {
        const auto &p = a.samples[i], &q = b.samples[i];
        if (p.sample.index != q.sample.index || p.sample.x != q.sample.x || p.sample.y != q.sample.y ||
            p.sample.z != q.sample.z || p.sample.R != q.sample.R || p.scaleIndex != q.scaleIndex) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessera;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string sealed;
    if (!text.empty() && text[0] == '\x01') {
        sealed = SealLines(text.substr(1));
        text = sealed;
    }
    const auto run = logger::ParseJournal(text);
    if (!run) return 0;

    std::string written = logger::JournalHeaderText(run->header);
    for (const auto& s : run->samples) written += logger::JournalSampleText(s);
    for (const auto& g : run->gaps) written += logger::JournalGapText(g);
    const auto back = logger::ParseJournal(written);
    FUZZ_CHECK(back && !back->tailCut && back->skippedLines == 0 && SameRun(*run, *back));
    // A damaged line only ever costs slots that were filled, never the samples after it.
    FUZZ_CHECK(run->skippedLines <= static_cast<int>(run->samples.size()));
    for (std::size_t i = 0; i < run->samples.size(); ++i)
        FUZZ_CHECK(run->samples[i].sample.index == static_cast<std::int32_t>(i));

    const auto samples = logger::RecoveredSamples(*run);
    FUZZ_CHECK(static_cast<int>(samples.size()) == logger::LastValidSlot(*run) + 1);
    (void)logger::RecoveredLogHeader(*run);

    link::AbsentMeter meter;
    fuzz::InputPrompter prompter;
    platform::ManualClock clock;
    logger::LoggerModel page(meter, prompter, clock);
    if (page.ShowRecoveredRun(*run)) {
        FUZZ_CHECK(page.DataState() == page::DataState::Unsaved && page.SampleCount() == logger::LastValidSlot(*run));
        for (int slot : page.VisibleSegments()) (void)page.DisplaySample(slot);
        page.MoveCursor(1);
        page.ScrollLeft();
        (void)page.ReadoutText();
    }
    return 0;
}
