#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace qarvo {

namespace {

std::string Describe(const char* action, const std::string& path, int error_number) {
  std::string text = action;
  text += " \"";
  text += path;
  text += "\": ";
  text += std::strerror(error_number);
  return text;
}

bool FileSizeIsNotZero(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) != 0 || info.st_size != 0;
}

}  // namespace

FileError::FileError(const std::string& what, std::string path, int error_number)
    : std::runtime_error(what), path_(std::move(path)), errno_(error_number) {}

File::File(const std::string& path, OpenMode mode, Share share) : path_(path) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::Read:
      flags |= O_RDONLY;
      break;
    case OpenMode::ReadWrite:
      flags |= O_RDWR;
      break;
    case OpenMode::Create:
      flags |= O_WRONLY | O_CREAT;
      break;
    case OpenMode::CreateNew:
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
  }
  fd_ = ::open(path.c_str(), flags, 0666);
  if (fd_ < 0) {
    Fail("cannot open");
  }
  struct stat info {};
  if (::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    throw FileError(Describe("cannot open", path_, EISDIR), path_, EISDIR);
  }
  if (share == Share::Exclusive && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd_);
    fd_ = -1;
    // A held lock reads like a sharing violation on the platforms the formats come from.
    const int reported = (error == EWOULDBLOCK) ? EBUSY : error;
    throw FileError(Describe("cannot open", path_, reported), path_, reported);
  }
  // Truncate only after the lock is ours, so a refused open never empties a file in use. An
  // empty file is left alone: on ext4 a truncation to zero makes the later close flush the
  // file to disk, which halves the speed of writing new files.
  if (mode == OpenMode::Create && FileSizeIsNotZero(fd_) && ::ftruncate(fd_, 0) != 0) {
    const int error = errno;
    ::close(fd_);
    fd_ = -1;
    throw FileError(Describe("cannot truncate", path_, error), path_, error);
  }
}

File::~File() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

void File::Fail(const char* action) const {
  const int error = errno;
  throw FileError(Describe(action, path_, error), path_, error);
}

int64_t File::Size() const {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    Fail("cannot read the size of");
  }
  return static_cast<int64_t>(info.st_size);
}

int64_t File::Position() const {
  const off_t at = ::lseek(fd_, 0, SEEK_CUR);
  if (at < 0) {
    Fail("cannot seek in");
  }
  return static_cast<int64_t>(at);
}

void File::Seek(int64_t position) {
  if (::lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) {
    Fail("cannot seek in");
  }
}

void File::SeekToEnd() {
  if (::lseek(fd_, 0, SEEK_END) < 0) {
    Fail("cannot seek in");
  }
}

size_t File::Read(void* buffer, size_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < count) {
    const ssize_t got = ::read(fd_, out + done, count - done);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      Fail("cannot read");
    }
    if (got == 0) {
      break;
    }
    done += static_cast<size_t>(got);
  }
  return done;
}

void File::ReadExact(void* buffer, size_t count) {
  if (Read(buffer, count) != count) {
    throw FileError(Describe("unexpected end of", path_, EIO), path_, EIO);
  }
}

void File::Write(const void* buffer, size_t count) {
  const auto* in = static_cast<const unsigned char*>(buffer);
  size_t done = 0;
  while (done < count) {
    const ssize_t put = ::write(fd_, in + done, count - done);
    if (put < 0) {
      if (errno == EINTR) {
        continue;
      }
      Fail("cannot write");
    }
    if (put == 0) {
      errno = ENOSPC;
      Fail("cannot write");
    }
    done += static_cast<size_t>(put);
  }
}

void File::Truncate(int64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    Fail("cannot truncate");
  }
}

void File::Sync() {
  if (::fsync(fd_) != 0) {
    Fail("cannot flush");
  }
}

void File::Close() {
  if (fd_ < 0) {
    return;
  }
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0 && errno != EINTR) {
    Fail("cannot close");
  }
}

void File::AdviseSequential() {
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

FileKind KindOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return FileKind::Missing;
  }
  if (S_ISREG(info.st_mode)) {
    return FileKind::Regular;
  }
  if (S_ISDIR(info.st_mode)) {
    return FileKind::Directory;
  }
  if (S_ISFIFO(info.st_mode)) {
    return FileKind::Fifo;
  }
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
    return FileKind::Device;
  }
  if (S_ISSOCK(info.st_mode)) {
    return FileKind::Socket;
  }
  return FileKind::Other;
}

std::string NotARegularFileText(FileKind kind) {
  switch (kind) {
    case FileKind::Missing:
    case FileKind::Regular:
      return {};
    case FileKind::Directory:
      return "是一个文件夹,不是普通文件";
    case FileKind::Fifo:
      return "是一个命名管道,不是普通文件";
    case FileKind::Device:
      return "是一个设备,不是普通文件";
    case FileKind::Socket:
      return "是一个套接字,不是普通文件";
    case FileKind::Other:
      break;
  }
  return "不是普通文件";
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool DeleteFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

void RenameFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    const int error = errno;
    throw FileError(Describe("cannot rename", from, error) + " -> " + to, from, error);
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

void SyncDirectory(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    throw FileError(Describe("cannot open", dir, error), dir, error);
  }
  // Some file systems cannot flush a folder on its own and say so with EINVAL; their entries
  // reach the disk with the files.
  if (::fsync(fd) != 0 && errno != EINVAL) {
    const int error = errno;
    ::close(fd);
    throw FileError(Describe("cannot flush", dir, error), dir, error);
  }
  ::close(fd);
}

std::string DirectoryOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) {
    return ".";
  }
  return slash == 0 ? std::string("/") : std::string(path.substr(0, slash));
}

}  // namespace qarvo
