#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "jobs/job_host.h"
#include "jobs/worker.h"

namespace qarvo {

// Options of one merge, filled by the window and copied into the worker.
struct TMWorkInfos {
  uint8_t DeletePieces = 0;  // delete every piece after the merge
  uint8_t SkipVerify = 0;    // do not verify even when the set carries a checksum
  uint8_t Compressed = 0;    // set from the header
  uint8_t CheckKind = 0;     // set from the header
  std::string CheckText;     // set from the header
  std::string Password;      // typed by the user, UTF-8, may be empty
  std::shared_ptr<LogSink> Log;
};

// Joins a split set, found from any one of its pieces, back into its source file.
class TMergerFile : public WorkerThread {
 public:
  // Starts the worker at once. `callbacks` may be null.
  static std::shared_ptr<TMergerFile> Create(const std::string& piece_path,
                                             const TMWorkInfos& options,
                                             const std::string& output_dir,
                                             std::shared_ptr<JobCallbacks> callbacks);

  TMergerFile(const std::string& piece_path, const TMWorkInfos& options,
              const std::string& output_dir, std::shared_ptr<JobCallbacks> callbacks);

 protected:
  void Execute() override;

 private:
  bool AnalyseSet();
  bool JoinPieces();
  void VerifyOutput();
  void RemovePieces();
  std::string PiecePath(int32_t n) const;

  std::string piece_base_;
  int32_t piece_count_ = 0;
  std::string source_name_;
  TMWorkInfos options_;
  std::string output_dir_;
  std::string chosen_path_;
  std::string piece_dir_;
};

}  // namespace qarvo
