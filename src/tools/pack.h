#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jobs/job_host.h"
#include "jobs/worker.h"
#include "platform/atomic_output.h"
#include "platform/file.h"
#include "platform/file_checks.h"
#include "tools/pack_format.h"

namespace qarvo {

inline constexpr const char* kPackDone = "打包完成!";

// The pack a pack job writes: `output_dir` + `out_name`.
std::string PackOutputPath(const std::string& output_dir, const std::string& out_name);
// "文件打包:文件" + first + "与" + second + "解包后同名,无法打包!": an unpack would write both
// under one name.
std::string PackSameNameLine(const std::string& first, const std::string& second);

// Packs the files of `Paths` into OutputDir + OutName. The sizes list holds the sizes taken when
// the job starts, and exactly that many bytes of each file are copied.
class TSMfile : public WorkerThread {
 public:
  // Copies the record and starts the worker at once.
  static std::shared_ptr<TSMfile> Create(const std::string& output_dir, const TSMWorkInfos& infos,
                                         JobHost host);

  TSMfile(const std::string& output_dir, const TSMWorkInfos& infos, JobHost host);

 protected:
  JobResult Execute() override;

 private:
  // Checks that must pass before anything is read or created; each failure logs its line.
  bool CheckSources();
  // Two files whose stored names unpack to one name: the later would replace the earlier.
  bool CheckNames();
  // Deletes the packed files that are as the job read them; false when one was changed.
  bool DeleteSources();
  // The encrypted header text, once the checksums are known.
  std::string BuildPackHeader();
  // Copies every file, digesting it in the same pass when the pack carries checksums.
  bool WritePack();
  bool CopySource(size_t index, int64_t size);
  void LogFileFailure(const std::string& what, const FileError& error);

  TSMWorkInfos infos_;
  File source_;
  // Written under a temporary name and renamed to the pack's name once it is complete.
  AtomicOutput pack_;
  std::string output_dir_;
  std::string pack_path_;
  // The three lists as they are written, GB18030 for the paths.
  std::string checks_text_;
  std::string sizes_text_;
  std::string paths_text_;
  std::vector<std::optional<FileStamp>> stamps_;  // of each file before it was read
};

}  // namespace qarvo
