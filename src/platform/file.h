#pragma once

// The platform layer: the one file class (opens with or without sharing, reads and writes that
// name the file and the system's reason in every FileError), file tests and folder helpers,
// the names within a path (paths.h), the shared copy routine (copy.h) and whole-or-nothing
// outputs (atomic_output.h). Anything that touches the operating system goes here; nothing here
// knows a file format or a job.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace qarvo {

// A file operation that failed. The message names the file and the system's reason.
class FileError : public std::runtime_error {
 public:
  FileError(const std::string& what, std::string path, int error_number);
  const std::string& path() const { return path_; }
  int error_number() const { return errno_; }

 private:
  std::string path_;
  int errno_;
};

// Sharing modes: "exclusive" takes an advisory exclusive lock and fails like a sharing
// violation while any other open (in this or another process) holds one; "shared" takes none.
enum class Share { Exclusive, Shared };

enum class OpenMode {
  Read,       // existing file, read only
  ReadWrite,  // existing file, read and write, position at the start
  Create,     // create or truncate, write only
  CreateNew,  // create a file that must not exist yet, read and write
};

// One open file. Sizes and positions are 64-bit. Every failure throws FileError.
class File {
 public:
  File() = default;
  File(const std::string& path, OpenMode mode, Share share);
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  int fd() const { return fd_; }

  int64_t Size() const;
  int64_t Position() const;
  void Seek(int64_t position);
  void SeekToEnd();

  // Reads up to `count` bytes, retrying short reads; returns fewer only at the end of the file.
  size_t Read(void* buffer, size_t count);
  // Reads exactly `count` bytes or throws.
  void ReadExact(void* buffer, size_t count);
  // Writes all `count` bytes or throws.
  void Write(const void* buffer, size_t count);
  void Truncate(int64_t size);
  // Flushes the file's data and size to the disk.
  void Sync();
  // Closes and reports a failing close (delayed write errors surface here).
  void Close();

  // Names `path` instead of the opened one in the errors of later operations (a temporary file
  // that stands for the file the user asked for).
  void ReportAs(std::string path) { path_ = std::move(path); }

  // Tells the kernel the file will be read front to back.
  void AdviseSequential();

 private:
  [[noreturn]] void Fail(const char* action) const;
  int fd_ = -1;
  std::string path_;
};

// What a path names, links followed.
enum class FileKind { Missing, Regular, Directory, Fifo, Device, Socket, Other };
FileKind KindOf(const std::string& path);
// How a line names a path that is there but no regular file, to follow the path's name:
// "是一个文件夹,不是普通文件" and so on; empty for Missing and Regular.
std::string NotARegularFileText(FileKind kind);

bool FileExists(const std::string& path);       // a regular file (or a link to one)
bool DirectoryExists(const std::string& path);  // a directory (or a link to one)
// Deletes a file; returns false when it could not be deleted.
bool DeleteFile(const std::string& path);
// Renames `from` to `to`, replacing `to`. Throws FileError.
void RenameFile(const std::string& from, const std::string& to);
// True when both paths name the same existing file (same device and inode).
bool SameFile(const std::string& a, const std::string& b);
// Flushes a folder's entries to the disk, so that a name created or renamed in it survives a
// power cut. Throws FileError.
void SyncDirectory(const std::string& dir);
// The folder a path lies in, as a path that can be opened: without its trailing "/" ("/" for a
// file in the root, "." when the path has no folder part). The one folder function of the
// program; the windows wrap it for their texts.
std::string DirectoryOf(std::string_view path);

}  // namespace qarvo
