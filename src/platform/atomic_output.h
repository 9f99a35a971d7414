#pragma once

#include <string>
#include <string_view>

#include "platform/file.h"

namespace qarvo {

// The temporary files are named ".qarvo-PID-N.tmp" (the process id of their writer), so that a
// user who finds one knows whose it is, and so that the next job writing into the same folder
// can tell one left by a process that no longer runs (killed, or a power cut) and remove it.
//
// An output file that appears under its name whole or not at all. It is written as a temporary
// file in the same folder (so the final rename cannot cross file systems) and renamed over the
// final name only when the job has succeeded: a failed job leaves no half file behind, a file
// that already had the name stays as it was until then, and a symbolic link of that name is
// replaced rather than written through to its target.
class AtomicOutput {
 public:
  AtomicOutput() = default;
  // Creates an empty temporary file beside `final_path`, open for reading and writing and held
  // without sharing until it is sealed. Throws FileError.
  explicit AtomicOutput(std::string final_path);
  // Removes the temporary file unless it was published.
  ~AtomicOutput();
  AtomicOutput(AtomicOutput&& other) noexcept;
  AtomicOutput& operator=(AtomicOutput&& other) noexcept;
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  File& file() { return file_; }
  const std::string& final_path() const { return final_path_; }
  const std::string& temp_path() const { return temp_path_; }
  bool IsPending() const { return !temp_path_.empty(); }

  // Closes the file, checking the close; with `durable`, flushes its data to the disk first.
  // The file keeps its temporary name until Publish.
  void Seal(bool durable);
  // Renames the sealed file over the final name; with `durable`, flushes the folder so that the
  // new name survives a power cut. Throws FileError.
  void Publish(bool durable);
  // Seal, then Publish.
  void Commit(bool durable);
  // Publish, or Publish without replacing: a file that took the final name while the job ran
  // (the user was asked about the names before) stays, and FileError EEXIST says so.
  void Publish(bool durable, bool replace);
  // Publishes the sealed file under the final name followed by `mark` (and " (2)", " (3)"...
  // when that is taken too), never over an existing file, and returns that name. For a result
  // that failed its check, which must not take the place of a file that was there before.
  std::string PublishBeside(std::string_view mark, bool durable);
  // Closes and removes the temporary file now.
  void Discard();

 private:
  File file_;
  std::string final_path_;
  std::string temp_path_;  // empty once published or discarded
};

// Removes every temporary file that an AtomicOutput of this process holds and ends the process
// at once with `status`, as a signal that ends the program must (no output is published after
// this has begun). The other threads are not waited for, and the standard streams not flushed.
[[noreturn]] void RemoveTemporaryFilesAndExit(int status);

// Removes from `folder` the temporary files of AtomicOutputs whose process no longer runs:
// the process id in the name is gone, or now belongs to a process that started after the file
// was made. A file of a running process, or one that any process holds open for writing, stays.
// Outputs call it for their folder (at most every few seconds per folder).
void RemoveStaleTemporaryFiles(const std::string& folder);

}  // namespace qarvo
