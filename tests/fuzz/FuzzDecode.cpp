// Meter replies and the two significant-digit routines: any bytes decode without undefined
// behaviour, and what the rounding routines give is always a plain decimal number.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "link/Decode.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

bool PlainDecimal(const std::string& text) {
    if (text.empty()) return false;
    int points = 0;
    for (char c : text) {
        if (c == '.') ++points;
        else if (c < '0' || c > '9') return false;
    }
    return points <= 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessera;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const link::ReplyFields fields = link::SplitReply(text);
    for (const auto& f : fields) FUZZ_CHECK(f.find(',') == std::string::npos && f.find('\r') == std::string::npos);
    settings::MeterSettings record{};
    link::DecodeReply(text, record, true);
    link::DecodeReply(text, record, false);

    // The rounding of a reply's value texts with the digits the program uses and others.
    const int digits = size > 0 ? 1 + data[0] % 8 : 4;
    for (const auto& f : fields) FUZZ_CHECK(PlainDecimal(link::RoundNumberText(f, digits)));
    FUZZ_CHECK(PlainDecimal(link::RoundNumberText(text, 4)));

    // FormatSignificant on any double the input spells, bit for bit.
    if (size >= 9) {
        double x = 0;
        std::memcpy(&x, data + 1, sizeof x);
        FUZZ_CHECK(PlainDecimal(link::FormatSignificant(x, digits)));
    }
    FUZZ_CHECK(PlainDecimal(link::FormatSignificant(link::ReadLeadingNumber(text), digits)));
    (void)link::ReadLeadingInteger(text);
    return 0;
}
