#include "platform/copy.h"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/io_buffer.h"

namespace qarvo {

namespace {

// The kernel copy moves data without passing it through user space; it may refuse some
// file pairs (other file systems, special files), and then the plain loop takes over.
bool KernelCopyStep(File& in, File& out, size_t step, size_t& copied) {
  copied = 0;
  const ssize_t got = ::copy_file_range(in.fd(), nullptr, out.fd(), nullptr, step, 0);
  if (got < 0) {
    return false;
  }
  copied = static_cast<size_t>(got);
  return true;
}

}  // namespace

void CopyBytes(File& in, File& out, int64_t count, CopyObserver* observer) {
  IoBuffer buffer;
  bool kernel = true;
  int64_t left = count;
  while (left > 0) {
    const size_t limit = kernel ? kKernelCopyStep : kCopyBlockSize;
    const size_t step = left < static_cast<int64_t>(limit) ? static_cast<size_t>(left) : limit;
    std::unique_lock<std::mutex> hold;
    if (observer != nullptr) {
      hold = observer->BeforeBlock();
    }
    size_t moved = 0;
    if (kernel && !KernelCopyStep(in, out, step, moved)) {
      kernel = false;
    }
    if (!kernel) {
      if (buffer.empty()) {
        buffer.Resize(kCopyBlockSize);
      }
      moved = in.Read(buffer.data(), step < kCopyBlockSize ? step : kCopyBlockSize);
      if (moved > 0) {
        out.Write(buffer.data(), moved);
      }
    }
    if (moved == 0) {
      throw FileError("unexpected end of \"" + in.path() + "\"", in.path(), EIO);
    }
    left -= static_cast<int64_t>(moved);
    if (hold.owns_lock()) {
      hold.unlock();
    }
    if (observer != nullptr) {
      observer->Advanced(static_cast<int64_t>(moved));
    }
  }
}

void ReadInBlocks(File& in, int64_t count, size_t block_size, CopyObserver* observer,
                  const ByteSink& consume) {
  IoBuffer buffer(static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(block_size))));
  for (int64_t left = count; left > 0;) {
    std::unique_lock<std::mutex> hold;
    if (observer != nullptr) {
      hold = observer->BeforeBlock();
    }
    const auto step =
        static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(block_size)));
    in.ReadExact(buffer.data(), step);
    consume(buffer.data(), step);
    left -= static_cast<int64_t>(step);
    if (hold.owns_lock()) {
      hold.unlock();
    }
    if (observer != nullptr) {
      observer->Advanced(static_cast<int64_t>(step));
    }
  }
}

}  // namespace qarvo
