#include "platform/atomic_output.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <utility>

namespace qarvo {

namespace {

constexpr char kTempPrefix[] = ".qarvo-";
constexpr char kTempSuffix[] = ".tmp";
// A folder is searched for leftovers again only after this long.
constexpr auto kStaleScanInterval = std::chrono::seconds(5);

std::atomic<unsigned> g_next_temp{0};

// The temporary files this process holds. Creating, publishing and removing one happen under
// this lock, so that RemoveTemporaryFilesAndExit, which keeps it to the end, sees every file
// that exists and none is renamed behind its back. Never destroyed: a signal may end the
// process while static objects are being torn down.
std::mutex& PendingMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}
std::set<std::string>& Pending() {
  static auto* pending = new std::set<std::string>;
  return *pending;
}

// A short name, whatever the final name's length: a final name near the 255-byte limit must
// still get a temporary file. The leading dot keeps it out of the usual listings.
std::string TempNameIn(const std::string& folder) {
  std::string name = folder;
  if (name.back() != '/') {
    name += '/';
  }
  return name + kTempPrefix + std::to_string(::getpid()) + "-" + std::to_string(g_next_temp++) +
         kTempSuffix;
}

// The errors name the file the user asked for, not its temporary stand-in.
FileError ForFinalName(const char* action, const std::string& final_path, int error_number) {
  return FileError(std::string(action) + " \"" + final_path + "\": " + std::strerror(error_number),
                   final_path, error_number);
}

// The process id in a temporary file's name; nothing for any other name.
std::optional<pid_t> WriterOf(const std::string& name) {
  const size_t prefix = sizeof(kTempPrefix) - 1;
  const size_t suffix = sizeof(kTempSuffix) - 1;
  if (name.size() <= prefix + suffix || name.compare(0, prefix, kTempPrefix) != 0 ||
      name.compare(name.size() - suffix, suffix, kTempSuffix) != 0) {
    return std::nullopt;
  }
  const std::string middle = name.substr(prefix, name.size() - prefix - suffix);
  const size_t dash = middle.find('-');
  if (dash == 0 || dash == std::string::npos || dash + 1 == middle.size() || dash > 9) {
    return std::nullopt;
  }
  for (size_t i = 0; i < middle.size(); ++i) {
    if (i != dash && (middle[i] < '0' || middle[i] > '9')) {
      return std::nullopt;
    }
  }
  const long pid = std::stol(middle.substr(0, dash));
  if (pid <= 0) {
    return std::nullopt;
  }
  return static_cast<pid_t>(pid);
}

// When the process `pid` started, in seconds since 1970; nothing when it cannot be read.
std::optional<int64_t> StartTimeOf(pid_t pid) {
  std::ifstream stat_file("/proc/" + std::to_string(pid) + "/stat");
  std::string stat_line;
  if (!std::getline(stat_file, stat_line)) {
    return std::nullopt;
  }
  // The command name (field 2) in parentheses may hold blanks; the fields after it are plain.
  // The start time is field 22: 19 fields lie between them.
  const size_t close = stat_line.rfind(')');
  if (close == std::string::npos) {
    return std::nullopt;
  }
  std::istringstream fields(stat_line.substr(close + 1));
  std::string field;
  for (int i = 0; i < 19 && fields >> field; ++i) {
  }
  unsigned long long ticks = 0;
  if (!(fields >> ticks)) {
    return std::nullopt;
  }
  std::ifstream boot_file("/proc/stat");
  std::string key;
  long long boot = -1;
  while (boot_file >> key) {
    if (key == "btime") {
      boot_file >> boot;
      break;
    }
    boot_file.ignore(1 << 20, '\n');
  }
  const long ticks_per_second = ::sysconf(_SC_CLK_TCK);
  if (boot < 0 || ticks_per_second <= 0) {
    return std::nullopt;
  }
  return boot + static_cast<int64_t>(ticks / static_cast<unsigned long long>(ticks_per_second));
}

// Whether the writer of a temporary file made at `made` (seconds) may still be running. In
// doubt it is: a file of a running job must never go.
bool WriterMayRun(pid_t pid, int64_t made) {
  if (::kill(pid, 0) != 0 && errno == ESRCH) {
    return false;
  }
  const std::optional<int64_t> started = StartTimeOf(pid);
  // The boot time has whole seconds and the start time clock ticks: a margin keeps a file made
  // just after its writer started from looking older than the writer.
  constexpr int64_t kMargin = 2;
  return !started || *started <= made + kMargin;
}

// Removes `name` in the open folder when it is a stale temporary file that nobody holds.
void RemoveIfStale(int folder_fd, const std::string& name) {
  const std::optional<pid_t> writer = WriterOf(name);
  if (!writer) {
    return;
  }
  struct stat info {};
  if (::fstatat(folder_fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(info.st_mode) || WriterMayRun(*writer, info.st_ctim.tv_sec)) {
    return;
  }
  // An output still being written holds its file locked: a process id that cannot be judged
  // (another pid namespace) still shows this way that the file is in use.
  const int fd = ::openat(folder_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    ::unlinkat(folder_fd, name.c_str(), 0);
  }
  ::close(fd);
}

}  // namespace

void RemoveStaleTemporaryFiles(const std::string& folder) {
  static std::mutex scan_mutex;
  static std::map<std::string, std::chrono::steady_clock::time_point> last_scan;
  {
    std::lock_guard<std::mutex> lock(scan_mutex);
    const auto now = std::chrono::steady_clock::now();
    const auto found = last_scan.find(folder);
    if (found != last_scan.end() && now - found->second < kStaleScanInterval) {
      return;
    }
    last_scan[folder] = now;
  }
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    return;
  }
  const int folder_fd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.' && std::strncmp(entry->d_name, kTempPrefix, 7) == 0) {
      RemoveIfStale(folder_fd, entry->d_name);
    }
  }
  ::closedir(dir);
}

void RemoveTemporaryFilesAndExit(int status) {
  PendingMutex().lock();
  for (const std::string& path : Pending()) {
    ::unlink(path.c_str());
  }
  // No flush of the standard streams: a job may be stuck in a write to one of them, holding its
  // lock, and every line of a job was flushed when it was written.
  ::_exit(status);
}

AtomicOutput::AtomicOutput(std::string final_path) : final_path_(std::move(final_path)) {
  const std::string folder = DirectoryOf(final_path_);
  RemoveStaleTemporaryFiles(folder);
  for (int attempt = 0;; ++attempt) {
    std::string candidate = TempNameIn(folder);
    try {
      std::lock_guard<std::mutex> lock(PendingMutex());
      file_ = File(candidate, OpenMode::CreateNew, Share::Exclusive);
      Pending().insert(candidate);
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
  {
    std::lock_guard<std::mutex> lock(PendingMutex());
    try {
      RenameFile(temp_path_, final_path_);
    } catch (const FileError& error) {
      throw ForFinalName("cannot replace", final_path_, error.error_number());
    }
    Pending().erase(temp_path_);
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
    std::lock_guard<std::mutex> lock(PendingMutex());
    ::unlink(temp_path_.c_str());
    Pending().erase(temp_path_);
    temp_path_.clear();
  }
}

}  // namespace qarvo
