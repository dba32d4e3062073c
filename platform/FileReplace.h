#pragma once
// Saving a file without ever destroying the one it replaces: the program's files (the two
// CSV formats and the setting file) are all written through ReplaceFileContents.

#include <string>
#include <string_view>

namespace tessera::platform {

// Makes `contents` the whole content of the file at `path`. The bytes go to a temporary
// file in the same directory, which then takes the file's place in one step, so a failure
// (a full disk, say) leaves the old file as it was and no temporary file behind. What the
// user had stays: a symbolic link is followed (its target gets the new content, the link
// stays a link), and an existing file keeps its permissions (and, where allowed, its group).
// False when the file could not be written; `error` then says why.
bool ReplaceFileContents(const std::string& path, std::string_view contents, std::string* error = nullptr);

// Whether ReplaceFileContents could write `path` now: its directory takes a new file and
// `path` is not a directory. Creates nothing that stays. False with `error` when not.
bool CanReplaceFile(const std::string& path, std::string* error = nullptr);

}  // namespace tessera::platform
