#pragma once

#include <memory>
#include <string>

#include "jobs/job_host.h"
#include "jobs/worker.h"

namespace qarvo {

// Log lines of the bundle job.
inline constexpr const char* kBundleAdding = "正在添加...";
inline constexpr const char* kBundleDone = "添加完毕!";
inline constexpr const char* kBundleFailed = "文件很可能正在被另外一个程序调用!";
// Why the head or the tail (`role`: "头文件", "尾文件") cannot be bundled before the job starts:
// role + "不存在!", or what it is when it is there but no regular file ("尾文件是一个文件夹,不是
// 普通文件!"): a named pipe would keep the job waiting for a writer, a device would never end.
std::string BundleInputLine(const std::string& role, const std::string& path);

// Appends the tail file to the end of the head file, in place, with no framing between them.
// Both files are opened without sharing, so the same file as head and tail is refused and stays
// as it was.
class TAddFile : public WorkerThread {
 public:
  // Copies the paths and starts the worker at once.
  static std::shared_ptr<TAddFile> Create(const std::string& head_file,
                                          const std::string& tail_file, JobHost host);

  TAddFile(const std::string& head_file, const std::string& tail_file, JobHost host);

 protected:
  JobResult Execute() override;

 private:
  std::string head_file_;
  std::string tail_file_;
};

}  // namespace qarvo
