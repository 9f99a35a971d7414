#pragma once

#include <memory>
#include <string>

#include "jobs/job_host.h"
#include "jobs/worker.h"
#include "platform/atomic_output.h"
#include "platform/file.h"
#include "tools/pack_format.h"

namespace qarvo {

inline constexpr const char* kPackDone = "打包完成!";

// Packs the files of `Paths` into OutputDir + OutName. The sizes list holds the sizes taken when
// the job starts, and exactly that many bytes of each file are copied.
class TSMfile : public WorkerThread {
 public:
  // Copies the record and starts the worker at once.
  static std::shared_ptr<TSMfile> Create(const std::string& output_dir, const TSMWorkInfos& infos,
                                         JobHost host);

  TSMfile(const std::string& output_dir, const TSMWorkInfos& infos, JobHost host);

  const std::string& OutputDir() const { return output_dir_; }

 protected:
  JobResult Execute() override;

 private:
  // Checks that must pass before anything is read or created; each failure logs its line.
  bool CheckSources();
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
};

}  // namespace qarvo
