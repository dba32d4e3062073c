#pragma once
// What both systems' halves of file replacement share: the names of the temporary files they
// write, ".tessera-PPPPPPPP-NNNNNNNN.tmp" (the writing process's id and a serial number in
// eight hexadecimal digits each), and the gathering of small pieces into large writes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tessera::platform {

std::string TemporaryName(std::uint32_t process, std::uint32_t serial);

// The process id in a temporary name of ours; nothing for any other name.
std::optional<std::uint32_t> TemporaryNameProcess(std::string_view name);

// A stale temporary file is older than this: a live writer needs far less between creating
// its file and renaming it, so a file this old whose process is gone is left over.
inline constexpr int kStaleTemporarySeconds = 60;

// Small pieces (an export's rows) gathered into writes of a megabyte, so a file costs a
// system call per megabyte rather than per row. Once a write fails every later piece is
// refused, so a producer stops at the first failure.
class PieceBuffer {
public:
    explicit PieceBuffer(std::function<bool(std::string_view)> out) : out_(std::move(out)) { buffer_.reserve(kSize); }

    bool Put(std::string_view piece) {
        if (buffer_.size() + piece.size() > kSize && !Flush()) return false;
        if (piece.size() >= kSize) return Out(piece);
        buffer_.append(piece);
        return !failed_;
    }
    bool Flush() {
        if (!buffer_.empty() && Out(buffer_)) buffer_.clear();
        return !failed_;
    }
    bool Failed() const { return failed_; }

private:
    static constexpr std::size_t kSize = std::size_t{1} << 20;
    bool Out(std::string_view piece) {
        failed_ = failed_ || !out_(piece);
        return !failed_;
    }
    std::function<bool(std::string_view)> out_;
    std::string buffer_;
    bool failed_ = false;
};

}  // namespace tessera::platform
