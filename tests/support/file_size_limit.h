#pragma once

#include <sys/resource.h>

#include <csignal>

namespace velmar::test {

// A full disk, as far as writes can tell: while it lives, a write past `bytes` of a file fails
// with EFBIG instead of raising SIGXFSZ (a limit of the process, so it holds for root and for the
// program's own threads too). The old limit and handler come back when it goes.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ok_ = ::getrlimit(RLIMIT_FSIZE, &old_) == 0;
        handler_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = old_;
        limited.rlim_cur = bytes;
        ok_ = ok_ && ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // Whether the limit is in force.
    bool ok() const { return ok_; }

  private:
    struct rlimit old_ {};
    void (*handler_)(int) = nullptr;
    bool ok_ = false;
};

}  // namespace velmar::test
