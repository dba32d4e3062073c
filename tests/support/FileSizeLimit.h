#pragma once
// A disk that fills up, for one test: no file of this process may grow beyond `bytes` while
// the object lives (a write past it fails with EFBIG instead of raising SIGXFSZ). POSIX only:
// Windows has no per-process file size limit to stand in for a full disk, so the model tests
// built for Windows leave their full-disk steps out (#if !defined(_WIN32)).

#if !defined(_WIN32)

#include <signal.h>
#include <sys/resource.h>

namespace tessera::testing {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

}  // namespace tessera::testing

#endif  // !_WIN32
