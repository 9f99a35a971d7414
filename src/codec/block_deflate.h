#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/copy.h"

namespace qarvo {

// Content per deflate block, and the window of content before a block that primes it.
inline constexpr size_t kDeflateBlockSize = 131072;
inline constexpr size_t kDeflateWindow = 32768;

// Writes compressed envelopes (a 4-byte length and one zlib stream) whose deflate work is spread
// over a pool of threads. Each envelope's content is cut at fixed multiples of kDeflateBlockSize;
// every block is deflated on its own, primed with the kDeflateWindow bytes before it and ended
// with a sync flush (the last one with the final block), and the blocks' Adler-32 values are
// combined into the stream's. The bytes therefore depend on the content and the level only,
// never on the number of threads or on how the content was handed in, and any zlib reader reads
// them as one stream.
//
// Envelopes are written one after another from one caller thread, while the pool deflates
// blocks of the current envelope and those still pending from earlier ones: the threads stay
// busy across envelope boundaries, whether a job has one envelope or a hundred. The caller's
// sinks run on the caller's thread only, in stream order, each inside the observer's block lock;
// at most a few blocks per thread wait in memory.
class ParallelDeflater {
 public:
  // `level` is a level code of the envelope (0 to 3). Throws CompressionError for another.
  // `observer` (may be null) is passed before each write and told the content bytes it covers.
  ParallelDeflater(int level, int threads, CopyObserver* observer);
  // Stops the pool; blocks not written yet are dropped.
  ~ParallelDeflater();
  ParallelDeflater(const ParallelDeflater&) = delete;
  ParallelDeflater& operator=(const ParallelDeflater&) = delete;

  // Starts the envelope of exactly `count` content bytes; its bytes go to `write`. Throws
  // CompressionError when `count` does not fit the 32-bit length.
  void Begin(int64_t count, ByteSink write);
  // Adds content to the current envelope. May wait for the pool and write finished blocks.
  void Add(const uint8_t* data, size_t size);
  // Ends the current envelope (CompressionError when its content is not the declared count).
  // `written` runs on the caller's thread right after its last byte went to its sink.
  void End(std::function<void()> written);
  // Waits for every block still in the pool and writes it.
  void Flush();

 private:
  struct Stream;
  struct Block;

  void Submit();
  void WriteOldest();
  void Work();

  int zlib_level_;
  CopyObserver* observer_;
  size_t max_pending_;
  std::shared_ptr<Stream> stream_;              // the envelope being added to
  std::shared_ptr<Block> filling_;              // its block being filled
  std::deque<std::shared_ptr<Block>> pending_;  // in stream order, written from the front

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable block_done_;
  std::deque<std::shared_ptr<Block>> todo_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace qarvo
