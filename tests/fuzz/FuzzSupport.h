#pragma once
// What the fuzz harnesses share: a prompter that answers from the input itself, a scratch
// file per process for the readers that take a path, and the check that ends the run when a
// property breaks. (The meter that is not there is link::AbsentMeter.)

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "logger/LoggerModel.h"
#include "page/Prompter.h"

namespace tessera::fuzz {

// A broken property is a finding like a crash: libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)

// Yes or No from a byte of the input, the save dialogs from a fixed path.
class InputPrompter final : public page::Prompter {
public:
    unsigned answers = 0;  // bit i: the answer to question i (1 = Yes), repeating
    int asked = 0;
    std::string saveAs;
    page::Answer AskYesNo(const page::Question&) override { return Next(); }
    page::Answer AskYesNoCancel(const page::Question&) override { return Next(); }
    void Inform(const std::string&) override {}
    std::string ChooseOpenFile(const page::FileFilter&) override { return {}; }
    std::string ChooseSaveFile(const page::FileFilter&) override { return saveAs; }
    std::optional<page::PrintChoice> ChoosePrinter(const page::PrintRequest&) override { return std::nullopt; }

private:
    page::Answer Next() { return (answers >> (asked++ % 8)) & 1 ? page::Answer::Yes : page::Answer::No; }
};

// A file of this process, reused by every input. In memory (/dev/shm) unless TMPDIR says
// otherwise: rewriting a file thousands of times a second on a disk file system makes the
// fuzzer wait for the disk instead of running.
inline const std::filesystem::path& ScratchDirectory() {
    static const std::filesystem::path dir = [] {
        std::filesystem::path base = std::filesystem::temp_directory_path();
        if (!std::getenv("TMPDIR") && ::access("/dev/shm", W_OK) == 0) base = "/dev/shm";
        const auto d = base / ("tessera-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(ScratchDirectory(), ec);
        });
        return d;
    }();
    return dir;
}

inline std::string ScratchPath(const std::string& name) { return (ScratchDirectory() / name).string(); }

inline std::string WriteScratch(const std::string& name, std::string_view bytes) {
    const std::string path = ScratchPath(name);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

inline std::string ReadScratch(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace tessera::fuzz
