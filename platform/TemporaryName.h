#pragma once
// The names of the temporary files ReplaceFileContents writes (both systems' halves share
// them): ".tessera-PPPPPPPP-NNNNNNNN.tmp", the writing process's id and a serial number in
// eight hexadecimal digits each.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessera::platform {

std::string TemporaryName(std::uint32_t process, std::uint32_t serial);

// The process id in a temporary name of ours; nothing for any other name.
std::optional<std::uint32_t> TemporaryNameProcess(std::string_view name);

// A stale temporary file is older than this: a live writer needs far less between creating
// its file and renaming it, so a file this old whose process is gone is left over.
inline constexpr int kStaleTemporarySeconds = 60;

}  // namespace tessera::platform
