#include "platform/atomic_output.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
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

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

AtomicOutput::AtomicOutput(std::string final_path) : final_path_(std::move(final_path)) {
  const std::string folder = FolderOf(final_path_);
  for (int attempt = 0;; ++attempt) {
    std::string candidate = TempNameIn(folder);
    try {
      file_ = File(candidate, OpenMode::CreateNew, Share::Exclusive);
      temp_path_ = std::move(candidate);
      return;
    } catch (const FileError& error) {
      // A name left by an earlier run of the same process id is skipped.
      if (error.error_number() != EEXIST || attempt >= 100) {
        throw;
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
  RenameFile(temp_path_, final_path_);
  temp_path_.clear();
  if (durable) {
    SyncDirectory(FolderOf(final_path_));
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
