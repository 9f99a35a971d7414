#include "codec/block_pipe.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace qarvo {

namespace {

// Repeats a positional read or write (`step` moves the bytes from `done` on and returns what
// pread or pwrite returns) until all `count` bytes moved; nothing moved is a failure too.
template <typename Step>
void MoveAll(const std::string& path, const char* verb, size_t count, Step step) {
  for (size_t done = 0; done < count;) {
    const ssize_t moved = step(done);
    if (moved < 0 && errno == EINTR) {
      continue;
    }
    if (moved <= 0) {
      const int error = moved < 0 ? errno : EIO;
      throw FileError(std::string("cannot ") + verb + " \"" + path + "\": " + std::strerror(error),
                      path, error);
    }
    done += static_cast<size_t>(moved);
  }
}

void ReadAt(int fd, const std::string& path, void* buffer, size_t count, int64_t offset) {
  auto* bytes = static_cast<uint8_t*>(buffer);
  MoveAll(path, "read", count, [&](size_t done) {
    return ::pread(fd, bytes + done, count - done, offset + static_cast<int64_t>(done));
  });
}

// Tells a helper thread to stop, without the rest of its work, and waits for it.
void StopAndJoin(std::mutex& mutex, bool& stopping, std::condition_variable& wake,
                 std::thread& thread) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  wake.notify_all();
  if (thread.joinable()) {
    thread.join();
  }
}

}  // namespace

void ReadAt(const File& file, void* buffer, size_t count, int64_t offset) {
  ReadAt(file.fd(), file.path(), buffer, count, offset);
}

void WriteAt(const File& file, const void* buffer, size_t count, int64_t offset) {
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  MoveAll(file.path(), "write", count, [&](size_t done) {
    return ::pwrite(file.fd(), bytes + done, count - done, offset + static_cast<int64_t>(done));
  });
}

void RunningChecksum::Update(const uint8_t* data, size_t size) {
  switch (kind_) {
    case ChecksumKind::Md5:
      md5_.Update(data, size);
      break;
    case ChecksumKind::Crc32:
      crc_ = Crc32Update(crc_, data, size);
      break;
    case ChecksumKind::None:
      break;
  }
}

std::string RunningChecksum::Text() {
  switch (kind_) {
    case ChecksumKind::Md5:
      return Md5Hex(md5_.Final());
    case ChecksumKind::Crc32:
      return Crc32Text(crc_);
    case ChecksumKind::None:
      break;
  }
  return std::string();
}

BlockPipe::BlockPipe(size_t block_size, int depth, ByteSink consume)
    : block_size_(block_size),
      consume_(std::move(consume)),
      buffers_(static_cast<size_t>(depth < 2 ? 2 : depth)),
      sizes_(buffers_.size(), 0),
      half_(buffers_.size() / 2) {
  for (IoBuffer& buffer : buffers_) {
    buffer.Resize(block_size_);
  }
  thread_ = std::thread([this] { Run(); });
}

BlockPipe::~BlockPipe() {
  StopAndJoin(mutex_, stopping_, consumer_wake_, thread_);
}

void BlockPipe::RethrowFailure() {
  if (failure_) {
    std::rethrow_exception(failure_);
  }
}

uint8_t* BlockPipe::Acquire() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (queued_ == buffers_.size() && !failure_) {
    producer_waits_ = true;
    producer_wake_.wait(lock, [this] { return queued_ + half_ <= buffers_.size() || failure_; });
    producer_waits_ = false;
  }
  RethrowFailure();
  return buffers_[head_].data();
}

void BlockPipe::Push(size_t size) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    RethrowFailure();
    sizes_[head_] = size;
    head_ = (head_ + 1) % buffers_.size();
    ++queued_;
    wake = consumer_waits_ && queued_ >= half_;
  }
  if (wake) {
    consumer_wake_.notify_one();
  }
}

void BlockPipe::Finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  consumer_wake_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
  RethrowFailure();
}

void BlockPipe::Run() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      consumer_waits_ = true;
      consumer_wake_.wait(lock, [this] { return queued_ >= half_ || closing_ || stopping_; });
      consumer_waits_ = false;
      if (stopping_ || queued_ == 0) {
        return;
      }
    }
    if (!ConsumeQueued()) {
      return;
    }
  }
}

bool BlockPipe::ConsumeQueued() {
  for (;;) {
    size_t index = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) {
        return false;
      }
      if (queued_ == 0) {
        return true;
      }
      index = tail_;
    }
    // The producer does not touch a queued buffer, so the consumer reads it unlocked.
    try {
      consume_(buffers_[index].data(), sizes_[index]);
    } catch (...) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        failure_ = std::current_exception();
      }
      producer_wake_.notify_all();
      return false;
    }
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tail_ = (tail_ + 1) % buffers_.size();
      --queued_;
      wake = producer_waits_ && queued_ + half_ <= buffers_.size();
    }
    if (wake) {
      producer_wake_.notify_one();
    }
  }
}

FileFollower::FileFollower(const File& file, ChecksumKind kind)
    : fd_(file.fd()), path_(file.path()), checksum_(kind) {
  thread_ = std::thread([this] { Run(); });
}

FileFollower::~FileFollower() {
  StopAndJoin(mutex_, stopping_, changed_, thread_);
}

void FileFollower::WrittenUpTo(int64_t end) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    written_ = std::max(written_, end);
    wake = waiting_ && written_ - digested_ >= kFollowStep;
  }
  if (wake) {
    changed_.notify_all();
  }
}

std::string FileFollower::Finish(int64_t end) {
  WrittenUpTo(end);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
  if (failure_) {
    std::rethrow_exception(failure_);
  }
  return checksum_.Text();
}

void FileFollower::Run() {
  IoBuffer buffer(static_cast<size_t>(kFollowStep));
  for (;;) {
    int64_t available = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // Woken for a whole buffer at a time (or the end): not once per block the writer writes.
      waiting_ = true;
      changed_.wait(
          lock, [this] { return stopping_ || finishing_ || written_ - digested_ >= kFollowStep; });
      waiting_ = false;
      if (stopping_ || (finishing_ && written_ == digested_)) {
        return;
      }
      available = written_ - digested_;
    }
    try {
      const auto step =
          static_cast<size_t>(std::min<int64_t>(available, static_cast<int64_t>(buffer.size())));
      ReadAt(fd_, path_, buffer.data(), step, digested_);
      checksum_.Update(buffer.data(), step);
      std::lock_guard<std::mutex> lock(mutex_);
      digested_ += static_cast<int64_t>(step);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      failure_ = std::current_exception();
      return;
    }
  }
}

void CopyThroughPipe(File& in, int64_t count, const ByteSink& write, BlockPipe& pipe,
                     CopyObserver* observer) {
  for (int64_t left = count; left > 0;) {
    uint8_t* block = pipe.Acquire();
    const auto step =
        static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(pipe.block_size())));
    in.ReadExact(block, step);
    {
      std::unique_lock<std::mutex> hold;
      if (observer != nullptr) {
        hold = observer->BeforeBlock();
      }
      write(block, step);
    }
    pipe.Push(step);
    left -= static_cast<int64_t>(step);
    if (observer != nullptr) {
      observer->Advanced(static_cast<int64_t>(step));
    }
  }
}

}  // namespace qarvo
