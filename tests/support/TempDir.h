#pragma once
// A directory of its own for each test that writes files, removed afterwards (even when a
// test took its permissions away), and whole-file read and write. Paths are UTF-8, as
// everywhere in the program, also where the system's own names are UTF-16 (Windows): a
// prefix such as "Prüfung Ω" gives a folder whose name the ANSI code page cannot hold.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

namespace tessera::testing {

inline std::filesystem::path Utf8ToPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string PathToUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "tessera-test") {
        // A fresh name of our own, created only if nobody has it (as mkdtemp, which Windows
        // lacks), readable by its owner only.
        std::random_device seed;
        std::mt19937_64 random(seed());
        std::error_code ec;
        const auto temp = std::filesystem::temp_directory_path(ec);
        for (int attempt = 0; attempt < 100 && path_.empty() && !ec; ++attempt) {
            const auto candidate = temp / Utf8ToPath(prefix + "-" + std::to_string(random() % 1000000000));
            if (std::filesystem::create_directory(candidate, ec) && !ec) {
                std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, ec);
                path_ = PathToUtf8(candidate);
            }
        }
    }
    ~TempDir() {
        if (path_.empty()) return;
        std::error_code ec;
        std::filesystem::permissions(Utf8ToPath(path_), std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(Utf8ToPath(path_), ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(Utf8ToPath(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(Utf8ToPath(path), std::ios::binary) << text;
}

}  // namespace tessera::testing
