#include "platform/atomic_output.h"

#include <fcntl.h>
#include <stdio.h>
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

namespace {

// rename() that fails with EEXIST instead of replacing. File systems without RENAME_NOREPLACE
// get a hard link and an unlink, which refuses an existing name as well.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return errno;
  }
  if (::link(from.c_str(), to.c_str()) != 0) {
    return errno;
  }
  ::unlink(from.c_str());
  return 0;
}

}  // namespace

void AtomicOutput::Publish(bool durable, bool replace) {
  if (replace) {
    Publish(durable);
    return;
  }
  if (const int error = RenameNoReplace(temp_path_, final_path_); error != 0) {
    throw ForFinalName("cannot create", final_path_, error);
  }
  temp_path_.clear();
  if (durable) {
    SyncDirectory(DirectoryOf(final_path_));
  }
}

std::string AtomicOutput::PublishBeside(std::string_view mark, bool durable) {
  const std::string base = final_path_ + std::string(mark);
  for (int n = 1;; ++n) {
    const std::string name = n == 1 ? base : base + " (" + std::to_string(n) + ")";
    const int error = RenameNoReplace(temp_path_, name);
    if (error == 0) {
      temp_path_.clear();
      if (durable) {
        SyncDirectory(DirectoryOf(final_path_));
      }
      return name;
    }
    if (error != EEXIST || n >= 1000) {
      throw ForFinalName("cannot create", name, error);
    }
  }
}

void AtomicOutput::Discard() {
  file_ = File();
  if (!temp_path_.empty()) {
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
  }
}

}  // namespace qarvo
