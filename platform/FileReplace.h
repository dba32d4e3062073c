#pragma once
// Saving a file without ever destroying the one it replaces: the program's files (the two
// CSV formats, the setting file and the PDF printouts of tessera-cli) are all written through
// ReplaceFileContents.

#include <functional>
#include <string>
#include <string_view>

namespace tessera::platform {

// The file a save of `path` writes. A symbolic link of the user's is followed (its target
// gets the new content, the link stays a link), as is one whose owner owns the folder it is
// in, or one in a folder nobody else may write. A link that another user made in a folder
// that others may write (a shared /tmp) is never followed: it may lead to any of the user's
// files. Nor is one that leads nowhere, so a save never creates a file where the user did
// not look; nor is a folder replaced.
struct SaveTarget {
    std::string path;     // the file that is replaced or created: `path` with its links followed
    bool exists = false;  // that file exists and will be replaced
    std::string refusal;  // not empty: nothing is saved under `path`, and this sentence says why
};
SaveTarget ResolveSaveTarget(const std::string& path);

// Makes `contents` the whole content of the file ResolveSaveTarget(path) names. The bytes go
// to a temporary file in the same directory, which then takes the file's place in one step,
// and the directory is synced after it, so once this answers true the new file survives a
// power cut; a failure (a full disk, say) leaves the old file as it was. An existing file
// keeps its permissions (and, where allowed, its group). Temporary files that a crashed
// program left in that directory are removed on the way. False when the file could not be
// written; `error` then says why.
bool ReplaceFileContents(const std::string& path, std::string_view contents, std::string* error = nullptr);

// One piece of a file's content handed to the file being written; false once the file cannot
// take it (the disk is full, say), and every later piece is refused too.
using PieceWriter = std::function<bool(std::string_view)>;

// As ReplaceFileContents, with the content made piece by piece: `produce` hands each piece, in
// order, to the writer it is given and answers whether it made the whole content. A content
// larger than memory (the export of a survey of weeks) is never held at once. When a write
// fails or `produce` answers false, the old file stays as it was; `error` then says why, or
// that the writing was stopped.
bool ReplaceFileWith(const std::string& path, const std::function<bool(const PieceWriter&)>& produce,
                     std::string* error = nullptr);

// Whether ReplaceFileContents could write `path` now: it may be saved (ResolveSaveTarget),
// its directory takes a new file and it is not a directory. Creates nothing that stays.
// False with `error` when not.
bool CanReplaceFile(const std::string& path, std::string* error = nullptr);

// Makes the names in the directory holding `path` durable (a file created, renamed or
// removed there survives a power cut). ReplaceFileContents does this itself.
bool SyncDirectoryOf(const std::string& path, std::string* error = nullptr);

}  // namespace tessera::platform
