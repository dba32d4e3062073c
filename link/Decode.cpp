#include "link/Decode.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

namespace tessera::link {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Where a number's digits begin: after leading blanks and one optional sign.
std::size_t SkipBlanksAndSign(std::string_view text, bool& negative) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

char FirstChar(const std::string& field) { return field.empty() ? '\0' : field.front(); }

void AppendDigit(std::string& out, long long d) { out += static_cast<char>('0' + d); }

// The exponent after the first upper-case "E"; a text without one has none, and neither has
// one whose exponent lies beyond what a double can hold (no meter writes those): it could not
// locate a digit of any number, and its rounding unit would overflow.
bool ExponentOf(std::string_view text, long long* exponent) {
    const auto e = text.find('E');
    if (e == std::string_view::npos) return false;
    const std::string_view digits = text.substr(e + 1);
    // Read with a bound of its own, so a long run of digits cannot wrap around into range.
    std::size_t i = 0;
    while (i < digits.size() && (digits[i] == ' ' || digits[i] == '\t')) ++i;
    const bool negative = i < digits.size() && digits[i] == '-';
    if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) ++i;
    long long v = 0;
    for (; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i) {
        v = v * 10 + (digits[i] - '0');
        if (v > 400) return false;
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<double>::max_exponent10 || v < std::numeric_limits<double>::min_exponent10 - 20)
        return false;
    *exponent = v;
    return true;
}

// The decimal digits of a non-negative whole number held in a double that may exceed 64 bits.
std::string WholeDigits(double p) {
    if (p < 9.0e18) {
        const auto i = static_cast<long long>(p);
        return i > 0 ? std::to_string(i) : std::string();
    }
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.0f", std::trunc(p));
    return buf;
}

}  // namespace

std::string FormatFixed(double x, int decimals) {
    char buffer[512];  // room for any double in fixed notation
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, std::max(0, decimals));
    return std::string(buffer, r.ec == std::errc() ? r.ptr : buffer);
}

double ReadLeadingNumber(std::string_view text) {
    bool negative = false;
    const std::size_t i = SkipBlanksAndSign(text, negative);
    // Only plain decimal numbers count: the meter and the files write nothing else.
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    if (first == last || !((*first >= '0' && *first <= '9') || *first == '.')) return 0.0;
    double v = 0.0;
    const auto r = std::from_chars(first, last, v, std::chars_format::general);
    if (r.ec != std::errc()) return 0.0;
    if (!std::isfinite(v)) return 0.0;
    return negative ? -v : v;
}

long long ReadLeadingInteger(std::string_view text) {
    bool negative = false;
    std::size_t i = SkipBlanksAndSign(text, negative);
    unsigned long long v = 0;  // unsigned: overflow wraps instead of being undefined
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) v = v * 10u + static_cast<unsigned>(text[i] - '0');
    if (negative) v = 0u - v;
    return static_cast<long long>(v);
}

ReplyFields SplitReply(std::string_view reply) {
    ReplyFields fields;
    std::size_t current = 0;
    for (char c : reply) {
        if (c == '\0' || c == '\r') break;
        if (c == ',') {
            // Twenty fields are all a record can use; a longer line drops its tail.
            if (++current >= fields.size()) break;
            continue;
        }
        fields[current] += c;
    }
    return fields;
}

bool CompleteMeasurementReply(std::string_view reply) {
    // The line the splitter reads ends at the first carriage return (or zero byte); it must
    // be followed by the line feed and nothing else, and hold fields 0 to 12.
    const std::size_t end = reply.find_first_of(std::string_view("\r\0", 2));
    if (end == std::string_view::npos || reply[end] != '\r' || reply.substr(end) != "\r\n") return false;
    const std::string_view line = reply.substr(0, end);
    return std::count(line.begin(), line.end(), ',') >= 12;
}

void DecodeReply(std::string_view reply, settings::MeterSettings& record, bool rounding) {
    ReplyFields f = SplitReply(reply);
    if (rounding) {
        for (int i = 4; i <= 6; ++i) f[i] = RoundNumberText(f[i], 4);
    }
    record.mode = FirstChar(f[0]);
    record.axis = FirstChar(f[1]);
    // The exposure modes always measure in percent, whatever the unit field says.
    record.unit = settings::IsExposureMode(record.mode) ? '3' : FirstChar(f[2]);
    record.range = static_cast<std::uint8_t>(ReadLeadingInteger(f[3]));
    record.value1 = ReadLeadingNumber(f[4]);
    record.value2 = ReadLeadingNumber(f[5]);
    record.value3 = ReadLeadingNumber(f[6]);
    record.output = FirstChar(f[7]);
    record.sensor = FirstChar(f[8]);
    record.autoPowerOff = FirstChar(f[9]);
    record.beep = FirstChar(f[10]);
    record.spare = FirstChar(f[11]);
    record.slow = FirstChar(f[12]);
}

std::string RoundNumberText(std::string_view text, int n) {
    const double a = ReadLeadingNumber(text);
    if (!(a >= 1e-10) || n < 1) return "0.000";
    // A text without an exponent is taken as if written in normalised E notation, so the
    // rounding still falls on the n-th significant digit.
    long long exponent = 0;
    if (!ExponentOf(text, &exponent)) exponent = static_cast<long long>(std::floor(std::log10(a)));
    const long long k = exponent - n;

    double p = a + 5.0 * std::pow(10.0, static_cast<double>(k));
    if (!std::isfinite(p)) p = a;  // rounding the largest doubles up would overflow: keep them
    std::string digits = WholeDigits(p);
    if (digits.size() > static_cast<std::size_t>(n)) {
        for (std::size_t j = static_cast<std::size_t>(n); j < digits.size(); ++j) digits[j] = '0';
    }
    std::string out = digits;
    std::size_t len = digits.size();
    if (len >= static_cast<std::size_t>(n)) return out;

    double i = 0.0;
    if (len == 0) {
        out += "0.";
        long long d = 0;
        do {
            p *= 10.0;
            d = static_cast<long long>(p);
            AppendDigit(out, d);
        } while (d == 0);
        i = static_cast<double>(d);
        len = 1;
    } else {
        out += '.';
        i = std::trunc(p);
    }
    p -= i;
    while (len < static_cast<std::size_t>(n)) {
        p *= 10.0;
        const auto d = static_cast<long long>(p);
        p -= static_cast<double>(d);
        AppendDigit(out, d);
        ++len;
    }
    return out;
}

std::string FormatSignificant(double x, int n) {
    if (!(x >= 1e-10) || !std::isfinite(x) || n < 1) return "0.000";
    if (n > 15) n = 15;  // a double carries no more significant digits than that

    long long lead = 0;
    int steps = 0;
    if (x * 10.0 >= 1e17) {
        // Too large to collect in 64 bits: take the leading n + 1 digits of the whole part.
        const std::string whole = WholeDigits(x);
        const std::size_t take = static_cast<std::size_t>(n) + 1;
        for (std::size_t j = 0; j < take; ++j) lead = lead * 10 + (whole[j] - '0');
        steps = -static_cast<int>(whole.size() - take);  // negative: multiply by 10 instead
    } else {
        long long v = 1;
        for (int j = 0; j < n; ++j) v *= 10;
        double p = x;
        while (lead < v) {
            p *= 10.0;
            const auto d = static_cast<long long>(p);
            lead = lead * 10 + d;
            p -= static_cast<double>(d);
            ++steps;
        }
    }
    if (lead % 10 > 4) lead += 10;
    lead /= 10;

    // The kept digits become a value again by repeated multiplication by 0.1, which is not
    // exact in binary: 4300 x 0.1 x 0.1 x 0.1 lands a hair below 4.3, and the truncating digit
    // reading below would write 4.299 (so for about one value k x 10^e in fifty). The 1e-7
    // added first is far larger than that error and far smaller than the last digit kept.
    double y = static_cast<double>(lead) + 0.0000001;
    for (int j = 0; j < steps - 1; ++j) y *= 0.1;
    for (int j = steps - 1; j < 0; ++j) y *= 10.0;
    if (!std::isfinite(y)) {
        // Rounding the largest doubles up passes what a double holds: keep their digits.
        std::string out = WholeDigits(x);
        for (std::size_t j = static_cast<std::size_t>(n); j < out.size(); ++j) out[j] = '0';
        return out;
    }

    std::string out;
    double r = 0.0;
    std::size_t len = 0;
    const std::string whole = WholeDigits(y);
    if (!whole.empty()) {
        out = whole;
        if (out.size() >= static_cast<std::size_t>(n)) {
            for (std::size_t j = static_cast<std::size_t>(n); j < out.size(); ++j) out[j] = '0';
            return out;
        }
        out += '.';
        len = whole.size();
        r = y - std::trunc(y);
    } else {
        out = "0.";
        long long d = 0;
        do {
            y *= 10.0;
            d = static_cast<long long>(y);
            AppendDigit(out, d);
        } while (d == 0);
        len = 1;
        r = y - static_cast<double>(d);
    }
    while (len < static_cast<std::size_t>(n)) {
        const auto d = static_cast<long long>(r * 10.0);
        AppendDigit(out, d);
        r = r * 10.0 - static_cast<double>(d);
        ++len;
    }
    return out;
}

}  // namespace tessera::link
