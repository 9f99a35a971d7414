#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "codec/digest.h"
#include "platform/copy.h"
#include "platform/io_buffer.h"

namespace qarvo {

// Reads exactly `count` bytes at `offset` without moving the file position, so that threads can
// share one open file. Throws FileError.
void ReadAt(const File& file, void* buffer, size_t count, int64_t offset);
void WriteAt(const File& file, const void* buffer, size_t count, int64_t offset);

// A running checksum of either kind, fed block by block: the same text as ChecksumTextOf gives for
// the same bytes.
class RunningChecksum {
 public:
  explicit RunningChecksum(ChecksumKind kind) : kind_(kind) {}
  void Update(const uint8_t* data, size_t size);
  // Md5Hex or Crc32Text of everything fed; the empty text for None.
  std::string Text();

 private:
  ChecksumKind kind_;
  Md5 md5_;
  uint32_t crc_ = 0;
};

// Hands blocks from the thread that reads them to a consumer on a thread of its own, so that a job
// that copies bytes can digest the same bytes at the same time instead of reading its source
// twice. The blocks pass through a fixed ring of buffers: the producer fills one (Acquire), hands
// it over (Push) and waits only when every buffer is still queued, so memory stays at
// depth * block_size whatever the amount of data. A side that had to wait is woken only once half
// the ring is ready for it: one wake-up per half ring instead of one per block, which costs a
// copy of small blocks more than the copy itself.
//
// A consumer that throws stops the pipe: the next Acquire, Push or Finish rethrows its error. A
// producer that fails just lets the pipe go; the destructor stops and joins the consumer without
// feeding it the rest. The consumer never waits on the job's pause gate: it is held by the
// producer, which passes the gate before every block, so a pause stops it once the queued blocks
// are done or it waits for more.
// Buffers in a job's ring: half of them, a few hundred KiB of small copy blocks, pass per
// wake-up, and the whole ring stays within a few MiB even for deflate blocks.
inline constexpr int kPipeDepth = 32;

class BlockPipe {
 public:
  BlockPipe(size_t block_size, int depth, ByteSink consume);
  ~BlockPipe();
  BlockPipe(const BlockPipe&) = delete;
  BlockPipe& operator=(const BlockPipe&) = delete;

  size_t block_size() const { return block_size_; }
  // A buffer of block_size() bytes to fill.
  uint8_t* Acquire();
  // Queues the first `size` bytes of the buffer from the last Acquire.
  void Push(size_t size);
  // Waits until the consumer has taken every queued block, then ends its thread.
  void Finish();

 private:
  void Run();
  void RethrowFailure();
  // Takes the queued buffers until none is left; false once the pipe stops or fails.
  bool ConsumeQueued();

  size_t block_size_;
  ByteSink consume_;
  std::vector<IoBuffer> buffers_;
  std::vector<size_t> sizes_;
  size_t head_ = 0;    // the buffer the producer fills next
  size_t tail_ = 0;    // the buffer the consumer takes next
  size_t queued_ = 0;  // buffers handed over and not yet consumed
  size_t half_ = 1;    // how many buffers must be ready before a waiting side is woken
  bool producer_waits_ = false;
  bool consumer_waits_ = false;
  bool closing_ = false;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::mutex mutex_;
  std::condition_variable consumer_wake_;
  std::condition_variable producer_wake_;
  std::thread thread_;
};

// Digests a file on a thread of its own while another thread writes it, reading back from the
// file what was stored (so it checks the bytes as written, not as meant). The writer reports how
// far the file is whole from its start; the follower reads and digests up to there and waits for
// more. It holds one read block of memory. Like BlockPipe's consumer it never waits on the pause
// gate: it only ever reads what the paused writer has finished.
class FileFollower {
 public:
  FileFollower(const File& file, ChecksumKind kind);
  // Stops the follower without waiting for the rest.
  ~FileFollower();
  FileFollower(const FileFollower&) = delete;
  FileFollower& operator=(const FileFollower&) = delete;

  // The first `end` bytes of the file are written (never less than reported before).
  void WrittenUpTo(int64_t end);
  // Waits until the first `end` bytes are digested and returns the checksum text of exactly
  // them. Throws the follower's FileError when it could not read the file.
  std::string Finish(int64_t end);

 private:
  void Run();

  int fd_;
  std::string path_;
  RunningChecksum checksum_;
  static constexpr int64_t kFollowStep = 4 * static_cast<int64_t>(kCopyBlockSize);

  int64_t written_ = 0;
  int64_t digested_ = 0;
  bool waiting_ = false;
  bool finishing_ = false;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};

// Copies the next `count` bytes of `in` to `write`, block by block through the pipe's buffers,
// handing each block to the pipe once it is written: one read of the source serves the copy and
// the pipe's consumer. `write` runs inside the observer's block lock; a source that ends early
// throws FileError. `observer` may be null.
void CopyThroughPipe(File& in, int64_t count, const ByteSink& write, BlockPipe& pipe,
                     CopyObserver* observer);

}  // namespace qarvo
