// What file replacement does alike on every system: the temporary names, and a whole
// content written as one piece.
#include "platform/FileReplace.h"
#include "platform/TemporaryName.h"

#include <cstdio>

namespace tessera::platform {

namespace {
constexpr std::string_view kPrefix = ".tessera-";
constexpr std::string_view kSuffix = ".tmp";
constexpr std::size_t kDigits = 8;
constexpr std::size_t kLength = kPrefix.size() + kDigits + 1 + kDigits + kSuffix.size();

std::optional<std::uint32_t> Hex(std::string_view digits) {
    std::uint32_t value = 0;
    for (char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        if (d < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(d);
    }
    return value;
}
}  // namespace

std::string TemporaryName(std::uint32_t process, std::uint32_t serial) {
    char name[kLength + 1];
    std::snprintf(name, sizeof name, ".tessera-%08x-%08x.tmp", static_cast<unsigned>(process),
                  static_cast<unsigned>(serial));
    return name;
}

bool ReplaceFileContents(const std::string& path, std::string_view contents, std::string* error) {
    return ReplaceFileWith(
        path, [contents](const PieceWriter& write) { return write(contents); }, error);
}

std::optional<std::uint32_t> TemporaryNameProcess(std::string_view name) {
    if (name.size() != kLength || name.substr(0, kPrefix.size()) != kPrefix ||
        name.substr(kLength - kSuffix.size()) != kSuffix || name[kPrefix.size() + kDigits] != '-')
        return std::nullopt;
    const auto process = Hex(name.substr(kPrefix.size(), kDigits));
    if (!process || !Hex(name.substr(kPrefix.size() + kDigits + 1, kDigits))) return std::nullopt;
    return process;
}

}  // namespace tessera::platform
