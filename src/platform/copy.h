#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/file.h"

namespace qarvo {

// Largest block any job moves in one step.
inline constexpr size_t kCopyBlockSize = 61440;

// Watches a long copy block by block. BeforeBlock may wait (a paused job) and returns a lock
// that is held while the block is written, so that a pause never lands in the middle of one.
class CopyObserver {
 public:
  virtual ~CopyObserver() = default;
  virtual std::unique_lock<std::mutex> BeforeBlock() = 0;
  virtual void Advanced(int64_t bytes) = 0;
};

// Copies exactly `count` bytes from the current position of `in` to the current position of
// `out`, in blocks of at most kCopyBlockSize bytes. A source that ends early throws FileError.
// `observer` may be null.
void CopyBytes(File& in, File& out, int64_t count, CopyObserver* observer);

}  // namespace qarvo
