#pragma once

#include <sys/resource.h>

#include <csignal>

namespace qarvo::test {

// Lets no file of this process grow past `bytes` while it lives: a write beyond fails with
// EFBIG like on a full disk, without needing a small file system or special rights. Each test
// runs in a process of its own, and a command started meanwhile inherits the limit.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    ok_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previous_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool ok() const { return ok_; }

 private:
  rlimit previous_{};
  void (*previous_handler_)(int) = nullptr;
  bool ok_ = false;
};

}  // namespace qarvo::test
