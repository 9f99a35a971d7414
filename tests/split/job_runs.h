#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "jobs/recorder.h"
#include "split/cut_file.h"
#include "split/merger_file.h"
#include "support/file_size_limit.h"

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

}  // namespace qarvo::test
