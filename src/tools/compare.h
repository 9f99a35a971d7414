#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "codec/digest.h"
#include "jobs/job_host.h"
#include "jobs/worker.h"

namespace qarvo {

// Verdict lines of the compare job.
inline constexpr const char* kCompareSame = "两文件相同";
inline constexpr const char* kCompareDifferent = "两文件不相同";

// Tells whether two files have the same CRC-32 text or MD5 text (any kind but MD5 compares
// CRC-32 texts). The verdict rests on the two texts only; a file that cannot be opened counts as
// empty. A file whose read fails once open shows the empty text, is never called the same as the
// other, and fails the job with its reason.
class TCmpFile : public WorkerThread {
 public:
  // Copies the arguments and starts the worker at once.
  static std::shared_ptr<TCmpFile> Create(ChecksumKind compare_mode, const std::string& file1,
                                          const std::string& file2, JobHost host);

  TCmpFile(ChecksumKind compare_mode, const std::string& file1, const std::string& file2,
           JobHost host);

  ChecksumKind CompareMode() const { return compare_mode_; }

 protected:
  JobResult Execute() override;

 private:
  ChecksumKind compare_mode_;
  std::string file1_;
  std::string file2_;
};

}  // namespace qarvo
