#pragma once

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "jobs/recorder.h"
#include "split/cut_file.h"
#include "split/merger_file.h"

namespace qarvo::test {

inline constexpr auto kJobDeadline = std::chrono::seconds(60);

// Runs a split to its end and returns everything it reported.
inline std::vector<std::string> RunSplit(const std::string& source, TCWorkInfos options,
                                         int32_t count, const std::string& out_dir,
                                         std::shared_ptr<Recorder> recorder = nullptr) {
  if (!recorder) {
    recorder = std::make_shared<Recorder>();
  }
  options.Log = recorder;
  auto worker = TCutFile::Create(source, options, count, out_dir, recorder);
  if (!worker->WaitFinished(kJobDeadline)) {
    return {"<split did not finish>"};
  }
  return recorder->Events();
}

inline std::vector<std::string> RunMerge(const std::string& piece, TMWorkInfos options,
                                         const std::string& out_dir,
                                         std::shared_ptr<Recorder> recorder = nullptr) {
  if (!recorder) {
    recorder = std::make_shared<Recorder>();
  }
  options.Log = recorder;
  auto worker = TMergerFile::Create(piece, options, out_dir, recorder);
  if (!worker->WaitFinished(kJobDeadline)) {
    return {"<merge did not finish>"};
  }
  return recorder->Events();
}

// Lets no file of this process grow past `bytes` while it lives: a write beyond fails with
// EFBIG like on a full disk, without needing a small file system or special rights.
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
