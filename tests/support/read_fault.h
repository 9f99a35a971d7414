#pragma once

// A read that fails in the middle of one file, for the tests of what each reader does then.
// Include this header in exactly one source file of a test program: it replaces the C library's
// read() for that program (the executable's definition wins over the library's), and the
// replacement fails only for the file that the armed path names at the time of the read (so a
// file that a job creates under that path later is caught too), once its offset reaches the
// armed byte.

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>

namespace qarvo::test {

struct ReadFaultState {
  std::atomic<bool> armed{false};
  std::string path;  // written only while disarmed
  std::atomic<int64_t> from{0};
  std::atomic<int> failures{0};
};

inline ReadFaultState& ReadFault() {
  static ReadFaultState state;
  return state;
}

// Every read of the file named `path` that starts at or past byte `from` fails with EIO, until the
// guard ends.
class ReadFaultGuard {
 public:
  ReadFaultGuard(const std::string& path, int64_t from) {
    ReadFault().path = path;
    ReadFault().from = from;
    ReadFault().failures = 0;
    ReadFault().armed = true;
  }
  ~ReadFaultGuard() { ReadFault().armed = false; }
  ReadFaultGuard(const ReadFaultGuard&) = delete;
  ReadFaultGuard& operator=(const ReadFaultGuard&) = delete;
  // How many reads failed so far: a test that expects a failure checks that one was made.
  int Failures() const { return ReadFault().failures.load(); }
};

}  // namespace qarvo::test

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
  auto& fault = qarvo::test::ReadFault();
  if (fault.armed.load()) {
    struct stat open_file {};
    struct stat named {};
    if (::fstat(fd, &open_file) == 0 && ::stat(fault.path.c_str(), &named) == 0 &&
        open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino &&
        ::lseek(fd, 0, SEEK_CUR) >= fault.from.load()) {
      ++fault.failures;
      errno = EIO;
      return -1;
    }
  }
  return ::syscall(SYS_read, fd, buffer, count);
}
