#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/file.h"

namespace qarvo {

// Largest block any job moves in one step.
inline constexpr size_t kCopyBlockSize = 61440;
// A kernel copy needs no buffer of ours, so the block limit, which bounds what a job holds in
// memory, does not apply to it. Its step only sets how often a pause is noticed (well under a
// millisecond at page-cache speed); steps of 61440 bytes cost a system call per 15 pages and
// made joins markedly slower than cat.
inline constexpr size_t kKernelCopyStep = size_t{1} << 20;

// Watches a long copy block by block. BeforeBlock may wait (a paused job) and returns a lock
// that is held while the block is written, so that a pause never lands in the middle of one.
class CopyObserver {
 public:
  virtual ~CopyObserver() = default;
  virtual std::unique_lock<std::mutex> BeforeBlock() = 0;
  virtual void Advanced(int64_t bytes) = 0;
};

// Copies exactly `count` bytes from the current position of `in` to the current position of
// `out`, through a buffer of at most kCopyBlockSize bytes, or by kernel copy where the file
// system allows it. A source that ends early throws FileError.
// `observer` may be null.
void CopyBytes(File& in, File& out, int64_t count, CopyObserver* observer);

// Where bytes read or made block by block go.
using ByteSink = std::function<void(const uint8_t* data, size_t size)>;

// Reads exactly `count` bytes from the current position of `in`, in blocks of at most
// `block_size` bytes, and hands each block to `consume` inside the observer's block lock, so
// that a pause falls between blocks. A source that ends early throws FileError.
// `observer` may be null.
void ReadInBlocks(File& in, int64_t count, size_t block_size, CopyObserver* observer,
                  const ByteSink& consume);

}  // namespace qarvo
