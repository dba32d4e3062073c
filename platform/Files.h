#pragma once
// Files the user names. A file name travels through the program as a UTF-8 std::string;
// every existence check, open, read and removal of such a file goes through here, which
// hands the name to the system the way it must be given: unchanged on POSIX, as UTF-16 to
// the wide calls on Windows (the narrow ones would read the bytes in the ANSI code page,
// and "Prüfung Ω" would name another file or none). Writing goes through FileReplace.h.

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace tessera::platform {

// The file-system path of a UTF-8 name, and back.
std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& path);

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);

// `path` opened for reading in binary mode; test the stream for success.
std::ifstream OpenInput(const std::string& path);

// Whether the two names reach the same existing file (links and other spellings included).
bool SameFile(const std::string& a, const std::string& b);

// The whole content of `path`; nothing when it does not exist or cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Removes a file (not a directory); true when it is gone, also when it was not there.
bool RemoveFile(const std::string& path);

// `path` made absolute against the working directory; as it is when that fails.
std::string AbsolutePath(const std::string& path);

// The program's arguments after its name, in UTF-8. Windows hands `argv` over in the ANSI
// code page, so there they come from the wide command line instead.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace tessera::platform
