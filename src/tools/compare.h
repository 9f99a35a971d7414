#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "jobs/job_host.h"
#include "jobs/worker.h"

namespace qarvo {

// Verdict lines of the compare job.
inline constexpr const char* kCompareSame = "两文件相同";
inline constexpr const char* kCompareDifferent = "两文件不相同";

// Tells whether two files have the same CRC-32 text (mode 0) or MD5 text (mode 1). The verdict
// rests on the two texts only; an unreadable file counts as empty.
class TCmpFile : public WorkerThread {
 public:
  static constexpr uint8_t kCrc32Mode = 0;
  static constexpr uint8_t kMd5Mode = 1;

  // Copies the arguments and starts the worker at once.
  static std::shared_ptr<TCmpFile> Create(uint8_t compare_mode, const std::string& file1,
                                          const std::string& file2, JobHost host);

  TCmpFile(uint8_t compare_mode, const std::string& file1, const std::string& file2, JobHost host);

  uint8_t CompareMode() const { return compare_mode_; }

 protected:
  void Execute() override;

 private:
  uint8_t compare_mode_;
  std::string file1_;
  std::string file2_;
};

}  // namespace qarvo
