// The Entire Read CSV reader on any bytes, answering its line questions from the input;
// whatever it takes, the page saves as a file that reads back without a question and
// with the same records (count and codes).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "entire_read/EntireReadModel.h"
#include "link/Link.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// Each record line without its value columns (x, y, z, R and the band).
std::vector<std::string> Codes(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find("\r\n", start);
        std::string line = text.substr(start, end - start);
        start = end == std::string::npos ? text.size() : end + 2;
        std::vector<std::string> fields;
        std::size_t f = 0;
        for (;;) {
            const auto comma = line.find(',', f);
            fields.push_back(line.substr(f, comma - f));
            if (comma == std::string::npos) break;
            f = comma + 1;
        }
        std::string codes;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i < 5 || (i >= 9 && i <= 11)) codes += fields[i] + ",";
        }
        lines.push_back(codes);
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessera;
    if (size == 0) return 0;
    link::Link& meterLink = link::TheLink();
    fuzz::InputPrompter prompter;
    prompter.answers = data[0];
    entire_read::EntireRead page(meterLink, prompter);
    const std::string in =
        fuzz::WriteScratch("in.CSV", std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    if (!page.ReadCsvFile(in)) return 0;
    const std::string saved = page.CsvText();

    fuzz::InputPrompter none;
    entire_read::EntireRead again(meterLink, none);
    FUZZ_CHECK(again.ReadCsvFile(fuzz::WriteScratch("saved.CSV", saved)));
    FUZZ_CHECK(none.asked == 0);
    FUZZ_CHECK(again.RecordCount() == page.RecordCount());
    FUZZ_CHECK(Codes(again.CsvText()) == Codes(saved));
    return 0;
}
