#pragma once
// A file that one process works on at a time and that says so for as long as it holds it
// open: the logging journals. The window and tessera-cli may run side by side; each finds
// the other's file busy and leaves it alone. The hold goes with the process, so the file of
// a crashed program is free for anyone to take over.
// POSIX: flock on the file itself. Windows: a handle that shares nothing but reading.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tessera::platform {

class LockedFile {
public:
    LockedFile() = default;
    ~LockedFile() { Close(); }  // lets go of the file; the file itself stays
    LockedFile(LockedFile&& other) noexcept
        : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, -1)) {}
    LockedFile& operator=(LockedFile&& other) noexcept {
        if (this != &other) {
            Close();
            path_ = std::move(other.path_);
            handle_ = std::exchange(other.handle_, -1);
        }
        return *this;
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    // Creates `path` holding `firstBytes`, held by this process. Another program never sees
    // it half made or free. Nothing when the name exists or the file cannot be written.
    static std::optional<LockedFile> Create(const std::string& path, std::string_view firstBytes);
    // Takes over an existing file that no program holds; nothing when one does or it is gone.
    static std::optional<LockedFile> Claim(const std::string& path);

    bool IsOpen() const { return handle_ != -1; }
    const std::string& Path() const { return path_; }

    // Adds bytes at the end, handed to the operating system at once: they survive this
    // process being killed the next moment. False when not all were taken (a full disk, a
    // file-size limit); `taken` then says how many were, so the rest can follow later.
    bool Append(std::string_view bytes, std::size_t* taken = nullptr);
    // Onto the disk: what was appended survives a power cut.
    bool Sync();
    // The whole file.
    std::optional<std::string> ReadAll();
    // Deletes the file and lets go of it. True when it is gone.
    bool Remove();
    // Gives the file the name `path` (in the same directory) and keeps holding it. Never
    // replaces a file of that name: false then, and the file keeps its own name.
    bool MoveTo(const std::string& path);
    void Close();

private:
    std::string path_;
    std::intptr_t handle_ = -1;
};

}  // namespace tessera::platform
