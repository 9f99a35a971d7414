#include "platform/atomic_output.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

namespace qarvo {

namespace {

std::atomic<unsigned> g_next_temp{0};

// A short name, whatever the final name's length: a final name near the 255-byte limit must
// still get a temporary file. The leading dot keeps it out of the usual listings.
std::string TempNameIn(const std::string& folder) {
  std::string name = folder;
  if (name.back() != '/') {
    name += '/';
  }
  return name + ".qarvo-" + std::to_string(::getpid()) + "-" + std::to_string(g_next_temp++) +
         ".tmp";
}

// The errors name the file the user asked for, not its temporary stand-in.
FileError ForFinalName(const char* action, const std::string& final_path, int error_number) {
  return FileError(std::string(action) + " \"" + final_path + "\": " + std::strerror(error_number),
                   final_path, error_number);
}

}  // namespace

AtomicOutput::AtomicOutput(std::string final_path) : final_path_(std::move(final_path)) {
  const std::string folder = DirectoryOf(final_path_);
  for (int attempt = 0;; ++attempt) {
    std::string candidate = TempNameIn(folder);
    try {
      file_ = File(candidate, OpenMode::CreateNew, Share::Exclusive);
      temp_path_ = std::move(candidate);
      file_.ReportAs(final_path_);
      return;
    } catch (const FileError& error) {
      // A name left by an earlier run of the same process id is skipped.
      if (error.error_number() != EEXIST || attempt >= 100) {
        throw ForFinalName("cannot create", final_path_, error.error_number());
      }
    }
  }
}

AtomicOutput::~AtomicOutput() {
  Discard();
}

AtomicOutput::AtomicOutput(AtomicOutput&& other) noexcept
    : file_(std::move(other.file_)),
      final_path_(std::move(other.final_path_)),
      temp_path_(std::exchange(other.temp_path_, std::string())) {}

AtomicOutput& AtomicOutput::operator=(AtomicOutput&& other) noexcept {
  if (this != &other) {
    Discard();
    file_ = std::move(other.file_);
    final_path_ = std::move(other.final_path_);
    temp_path_ = std::exchange(other.temp_path_, std::string());
  }
  return *this;
}

void AtomicOutput::Seal(bool durable) {
  if (durable) {
    file_.Sync();
  }
  file_.Close();
}

void AtomicOutput::Publish(bool durable) {
  try {
    RenameFile(temp_path_, final_path_);
  } catch (const FileError& error) {
    throw ForFinalName("cannot replace", final_path_, error.error_number());
  }
  temp_path_.clear();
  if (durable) {
    SyncDirectory(DirectoryOf(final_path_));
  }
}

void AtomicOutput::Commit(bool durable) {
  Seal(durable);
  Publish(durable);
}

void AtomicOutput::Discard() {
  file_ = File();
  if (!temp_path_.empty()) {
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
  }
}

}  // namespace qarvo
