// The logger CSV reader on any bytes, answering its data-error questions from the input;
// whatever it shows, CSV Save writes a file that reads back without a question and saves
// again the same, byte for byte but for R: reading recomputes R from x, y and z, and a
// value of five or more integer digits is written with its fifth digit cut to 0, so R of
// such a sample may move by one step between saves.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "logger/LoggerModel.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

std::string SaveShown(tessera::logger::LoggerModel& model, tessera::fuzz::InputPrompter& prompter,
                      const std::string& name) {
    prompter.saveAs = tessera::fuzz::ScratchPath(name);
    std::error_code ec;
    std::filesystem::remove(prompter.saveAs, ec);
    FUZZ_CHECK(model.SaveCsv());
    return tessera::fuzz::ReadScratch(prompter.saveAs);
}

// The file without the R column of its data lines.
std::string WithoutR(const std::string& file) {
    std::string out;
    std::size_t start = 0;
    for (int line = 1; start < file.size(); ++line) {
        const auto end = file.find("\r\n", start);
        std::string text = file.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line > 11) text.resize(text.rfind(','));
        out += text + "\n";
        start = end == std::string::npos ? file.size() : end + 2;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessera;
    if (size == 0) return 0;
    // Made once: each model clears the 32000-slot store when made, and File Read clears it again.
    static link::AbsentMeter meter;
    static platform::ManualClock clock;
    static fuzz::InputPrompter prompter, none;
    static logger::LoggerModel page(meter, prompter, clock), again(meter, none, clock);
    prompter.answers = data[0];
    prompter.asked = none.asked = 0;
    const std::string in =
        fuzz::WriteScratch("in.CSV", std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    if (!page.ReadFile(in)) return 0;
    const std::string saved = SaveShown(page, prompter, "saved.CSV");

    FUZZ_CHECK(again.ReadFile(fuzz::ScratchPath("saved.CSV")));
    FUZZ_CHECK(none.asked == 0);
    FUZZ_CHECK(again.SampleCount() == page.SampleCount());
    FUZZ_CHECK(WithoutR(SaveShown(again, none, "again.CSV")) == WithoutR(saved));
    return 0;
}
