#include "tools/mp3cut.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <utility>

#include "codec/digest.h"
#include "platform/atomic_output.h"
#include "platform/file.h"
#include "platform/file_checks.h"
#include "platform/paths.h"
#include "text/codepage.h"

namespace qarvo {

int32_t Mp3Seconds(int32_t hours, int32_t minutes, int32_t seconds) {
  return hours * 3600 + minutes * 60 + seconds;
}

bool Mp3TimesValid(int32_t play_time, int32_t start_time, int32_t end_time) {
  return play_time > 0 && start_time >= 0 && start_time <= end_time && end_time <= play_time;
}

std::string Mp3CutFileName(std::string_view source_path) {
  const std::string gb = Utf8ToGb18030(FileNameOf(source_path));
  const size_t keep = gb.size() > 4 ? gb.size() - 4 : 0;
  return Gb18030ToUtf8(CutGb18030(gb, keep)) + "剪辑.mp3";
}

std::string Mp3CutOutputPath(const std::string& source_path, const std::string& output_dir) {
  return AddTrailingBackslash(output_dir) + Mp3CutFileName(source_path);
}

Mp3Span Mp3SpanOf(int64_t source_size, int32_t play_time, int32_t start_time, int32_t end_time) {
  Mp3Span span;
  if (source_size <= 0 || !Mp3TimesValid(play_time, start_time, end_time)) {
    return span;
  }
  span.bytes_per_second = source_size / play_time;
  span.offset = std::min<int64_t>(int64_t{start_time} * span.bytes_per_second, source_size);
  const int64_t wanted = int64_t{end_time - start_time} * span.bytes_per_second;
  span.length = std::min(wanted, source_size - span.offset);
  return span;
}

std::shared_ptr<TMp3Cut> TMp3Cut::Create(const std::string& source_path,
                                         const std::string& output_dir, int32_t start_time,
                                         int32_t end_time, int32_t play_time, JobHost host,
                                         bool overwrite) {
  return WorkerThread::Start(std::make_shared<TMp3Cut>(
      source_path, output_dir, start_time, end_time, play_time, std::move(host), overwrite));
}

TMp3Cut::TMp3Cut(const std::string& source_path, const std::string& output_dir, int32_t start_time,
                 int32_t end_time, int32_t play_time, JobHost host, bool overwrite)
    : WorkerThread(std::move(host)),
      source_path_(source_path),
      output_dir_(AddTrailingBackslash(output_dir)),
      output_path_(Mp3CutOutputPath(source_path, output_dir)),
      start_time_(start_time),
      end_time_(end_time),
      play_time_(play_time),
      overwrite_(overwrite) {
  // A zero playing time has no bytes per second, and an end before the start no length.
  if (!Mp3TimesValid(play_time_, start_time_, end_time_)) {
    throw std::invalid_argument(kMp3BadTimes);
  }
  source_size_ = FileSizeOf(source_path_);
}

JobResult TMp3Cut::Execute() {
  if (!overwrite_) {
    if (const ExistingOutputs existing = FindExisting({output_path_}); existing.Any()) {
      Log(ExistingOutputsLine(kMp3Job, existing));
      return JobResult::Refused;
    }
  }
  Log(kMp3Cutting);
  try {
    File source(source_path_, OpenMode::Read, Share::Exclusive);
    // The file may have shrunk since its size was taken; the span is cut down to what is there
    // rather than read past the end.
    Mp3Span span = Mp3SpanOf(source_size_, play_time_, start_time_, end_time_);
    bytes_per_second_ = span.bytes_per_second;
    const int64_t present = source.Size();
    span.offset = std::min(span.offset, present);
    span.length = std::min(span.length, present - span.offset);
    source.Seek(span.offset);
    source.AdviseSequential();
    AtomicOutput output(output_path_);
    SetProgressTotal(span.length);
    Copy(source, output.file(), span.length);
    FinishProgress();
    source.Close();
    output.Seal(false);
    output.Publish(false, overwrite_);
  } catch (const FileError& error) {
    NoteFailure(error);
    if (error.error_number() == EEXIST && !overwrite_) {
      // A file took the name while the job ran: it stays.
      Log(ExistingOutputsLine(kMp3Job, ExistingOutputs{output_path_, 1}));
    }
    return JobResult::Failed;
  } catch (const std::exception& error) {
    NoteFailure(error);
    return JobResult::Failed;
  }
  Log(kMp3Done);
  return JobResult::Succeeded;
}

}  // namespace qarvo
