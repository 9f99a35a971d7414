#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "codec/digest.h"
#include "jobs/job_host.h"
#include "jobs/worker.h"
#include "tools/compare_digest.h"

namespace qarvo {

// Verdict lines of the compare job.
inline constexpr const char* kCompareSame = "两文件相同";
inline constexpr const char* kCompareDifferent = "两文件不相同";
// The prefix of the compare jobs' failure lines.
inline constexpr const char* kCompareJob = "文件对比:";

// How two files are compared: by their CRC-32, MD5 or SHA-256 texts, or byte for byte.
enum class CompareMode : uint8_t { Crc32 = 0, Md5 = 1, Sha256 = 2, Bytes = 3 };

// Tells whether two files have the same content.
//
// By digest, the verdict rests on the two texts only. For CRC-32 and MD5 a file that cannot be
// opened counts as empty, as it always did; a file whose read fails once open shows the empty
// text and is never called the same as the other. A SHA-256 compare never calls an unreadable
// file the same as another. Every unreadable file gets a line with the system's reason and
// fails the job.
//
// Byte for byte, both files are read once, at the same time, up to the first difference, which
// is named by its offset and the two bytes; a file that is a prefix of the other is named with
// the offset where it ends.
class TCmpFile : public WorkerThread {
 public:
  // Copies the arguments and starts the worker at once.
  static std::shared_ptr<TCmpFile> Create(CompareMode compare_mode, const std::string& file1,
                                          const std::string& file2, JobHost host);

  TCmpFile(CompareMode compare_mode, const std::string& file1, const std::string& file2,
           JobHost host);

 protected:
  JobResult Execute() override;

 private:
  class SharedObserver;
  JobResult CompareDigests();
  JobResult CompareBytes();
  void LogUnreadable(const FileError& error);

  CompareMode compare_mode_;
  std::string file1_;
  std::string file2_;
};

// Checks one file against a checksum typed or pasted in (ParseExpectedSum); the kind follows
// from its length. A text that is no checksum is refused before anything is read.
class TCmpExpected : public WorkerThread {
 public:
  static std::shared_ptr<TCmpExpected> Create(const std::string& file, const std::string& expected,
                                              JobHost host);

  TCmpExpected(const std::string& file, const std::string& expected, JobHost host);

 protected:
  JobResult Execute() override;

 private:
  std::string file_;
  std::string expected_;
};

}  // namespace qarvo
