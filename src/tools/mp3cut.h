#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "jobs/job_host.h"
#include "jobs/worker.h"

namespace qarvo {

inline constexpr const char* kMp3Cutting = "正在剪辑...";
inline constexpr const char* kMp3Done = "剪辑完毕!";
// The window's (and the command's) answer to times that cannot be cut.
inline constexpr const char* kMp3BadTimes = "时间填写不正确!";

// Seconds of one "hours, minutes, seconds" row.
int32_t Mp3Seconds(int32_t hours, int32_t minutes, int32_t seconds);

// True when the three times describe a span that can be cut: a playing time above zero, no
// time below zero, start not after end, and neither after the playing time.
bool Mp3TimesValid(int32_t play_time, int32_t start_time, int32_t end_time);

// The file name of the cut: the source's file name without the last 4 bytes of its GB18030 form
// (never half a character) followed by "剪辑.mp3".
std::string Mp3CutFileName(std::string_view source_path);

// Where the cut of `source_path` goes in `output_dir`.
std::string Mp3CutOutputPath(const std::string& source_path, const std::string& output_dir);
inline constexpr const char* kMp3Job = "MP3剪辑:";

// The byte span of a cut, assuming the bytes are spread evenly over the playing time.
struct Mp3Span {
  int64_t bytes_per_second = 0;
  int64_t offset = 0;
  int64_t length = 0;
};
// Never reaches past `source_size`. Times must pass Mp3TimesValid.
Mp3Span Mp3SpanOf(int64_t source_size, int32_t play_time, int32_t start_time, int32_t end_time);

// Copies one time span of a file into "<OutputDir><name>剪辑.mp3" by plain byte arithmetic.
class TMp3Cut : public WorkerThread {
 public:
  // Takes the source's size and starts the worker at once. Throws std::invalid_argument for
  // times that fail Mp3TimesValid and FileError when the size cannot be read; then nothing
  // starts. Without `overwrite` (the user's consent), an existing file of the cut's name stays
  // and the job refuses.
  static std::shared_ptr<TMp3Cut> Create(const std::string& source_path,
                                         const std::string& output_dir, int32_t start_time,
                                         int32_t end_time, int32_t play_time, JobHost host,
                                         bool overwrite = false);

  TMp3Cut(const std::string& source_path, const std::string& output_dir, int32_t start_time,
          int32_t end_time, int32_t play_time, JobHost host, bool overwrite = false);

 protected:
  JobResult Execute() override;

 private:
  std::string source_path_;
  std::string output_dir_;
  std::string output_path_;
  int32_t start_time_;
  int32_t end_time_;
  int32_t play_time_;
  int64_t source_size_ = 0;
  int64_t bytes_per_second_ = 0;
  bool overwrite_ = false;
};

}  // namespace qarvo
