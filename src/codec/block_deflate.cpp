#include "codec/block_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "codec/envelope.h"

namespace qarvo {

struct ParallelDeflater::Stream {
  ByteSink write;
  int64_t declared = 0;
  int64_t added = 0;
  uLong adler = 1;  // Adler-32 of no bytes
};

struct ParallelDeflater::Block {
  std::shared_ptr<Stream> stream;
  std::vector<uint8_t> input;  // the priming window, then the content
  size_t window = 0;
  bool last = false;
  // Bytes to write before the deflated content: the envelope's length and the zlib header.
  std::vector<uint8_t> prefix;
  std::function<void()> written;
  // Set by the pool thread.
  std::vector<uint8_t> output;
  uLong adler = 1;
  bool done = false;
  std::exception_ptr failure;

  size_t content() const { return input.size() - window; }
};

namespace {

// The two bytes zlib starts its stream with for this level (RFC 1950: 32 KiB window, the level
// class in FLEVEL as zlib sets it, no preset dictionary).
void AppendZlibHeader(std::vector<uint8_t>& out, int zlib_level) {
  const unsigned level_class = zlib_level < 2 ? 0 : zlib_level < 6 ? 1 : zlib_level == 6 ? 2 : 3;
  unsigned header = (0x78U << 8) | (level_class << 6);
  header += 31 - header % 31;
  out.push_back(static_cast<uint8_t>(header >> 8));
  out.push_back(static_cast<uint8_t>(header));
}

class RawDeflate {
 public:
  explicit RawDeflate(int zlib_level) {
    ok_ = deflateInit2(&stream_, zlib_level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~RawDeflate() {
    if (ok_) {
      deflateEnd(&stream_);
    }
  }
  RawDeflate(const RawDeflate&) = delete;
  RawDeflate& operator=(const RawDeflate&) = delete;

  void Deflate(const uint8_t* window, size_t window_size, const uint8_t* data, size_t size,
               bool last, std::vector<uint8_t>& out) {
    if (!ok_ || deflateReset(&stream_) != Z_OK) {
      throw CompressionError();
    }
    if (window_size > 0 &&
        deflateSetDictionary(&stream_, window, static_cast<uInt>(window_size)) != Z_OK) {
      throw CompressionError();
    }
    out.resize(deflateBound(&stream_, static_cast<uLong>(size)) + 64);
    stream_.next_in = const_cast<Bytef*>(data);
    stream_.avail_in = static_cast<uInt>(size);
    size_t produced = 0;
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
      if (produced == out.size()) {
        out.resize(out.size() * 2);
      }
      stream_.next_out = out.data() + produced;
      stream_.avail_out = static_cast<uInt>(out.size() - produced);
      const int result = deflate(&stream_, flush);
      if (result < 0 && result != Z_BUF_ERROR) {
        throw CompressionError();
      }
      produced = out.size() - stream_.avail_out;
      if (last ? result == Z_STREAM_END : stream_.avail_out != 0) {
        break;
      }
    }
    out.resize(produced);
  }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

}  // namespace

ParallelDeflater::ParallelDeflater(int level, int threads, CopyObserver* observer)
    : zlib_level_(ZlibLevelOf(level)),
      observer_(observer),
      max_pending_(static_cast<size_t>(std::max(threads, 1)) + 2) {
  try {
    for (int i = 0; i < std::max(threads, 1); ++i) {
      threads_.emplace_back([this] { Work(); });
    }
  } catch (...) {
    // Fewer threads than asked still give the same bytes; none at all is a failure.
    if (threads_.empty()) {
      throw;
    }
  }
}

ParallelDeflater::~ParallelDeflater() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    todo_.clear();
  }
  work_ready_.notify_all();
  for (std::thread& thread : threads_) {
    thread.join();
  }
}

void ParallelDeflater::Begin(int64_t count, ByteSink write) {
  if (stream_ || count < 0 || count > kMaxEnvelopeContent) {
    throw CompressionError();
  }
  stream_ = std::make_shared<Stream>();
  stream_->write = std::move(write);
  stream_->declared = count;
  filling_ = std::make_shared<Block>();
  filling_->stream = stream_;
  const auto length = static_cast<uint32_t>(count);
  filling_->prefix = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                      static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
  AppendZlibHeader(filling_->prefix, zlib_level_);
  filling_->input.reserve(kDeflateBlockSize);
}

void ParallelDeflater::Add(const uint8_t* data, size_t size) {
  if (!stream_ || size > static_cast<uint64_t>(stream_->declared - stream_->added)) {
    throw CompressionError();
  }
  stream_->added += static_cast<int64_t>(size);
  while (size > 0) {
    if (filling_->content() == kDeflateBlockSize) {
      // More content follows, so the next block starts here, primed with the end of this one.
      auto next = std::make_shared<Block>();
      next->stream = stream_;
      next->window = kDeflateWindow;
      next->input.reserve(kDeflateWindow + kDeflateBlockSize);
      next->input.assign(filling_->input.end() - static_cast<std::ptrdiff_t>(kDeflateWindow),
                         filling_->input.end());
      Submit();
      filling_ = std::move(next);
    }
    const size_t step = std::min(kDeflateBlockSize - filling_->content(), size);
    filling_->input.insert(filling_->input.end(), data, data + step);
    data += step;
    size -= step;
  }
}

void ParallelDeflater::End(std::function<void()> written) {
  if (!stream_ || stream_->added != stream_->declared) {
    throw CompressionError();
  }
  filling_->last = true;
  filling_->written = std::move(written);
  Submit();
  filling_.reset();
  stream_.reset();
}

void ParallelDeflater::Flush() {
  while (!pending_.empty()) {
    WriteOldest();
  }
}

void ParallelDeflater::Submit() {
  while (pending_.size() >= max_pending_) {
    WriteOldest();
  }
  pending_.push_back(filling_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    todo_.push_back(filling_);
  }
  work_ready_.notify_one();
}

void ParallelDeflater::WriteOldest() {
  std::shared_ptr<Block> block = std::move(pending_.front());
  pending_.pop_front();
  {
    std::unique_lock<std::mutex> lock(mutex_);
    block_done_.wait(lock, [&] { return block->done; });
  }
  if (block->failure) {
    std::rethrow_exception(block->failure);
  }
  Stream& stream = *block->stream;
  stream.adler =
      adler32_combine(stream.adler, block->adler, static_cast<z_off_t>(block->content()));
  if (block->last) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      block->output.push_back(static_cast<uint8_t>(stream.adler >> shift));
    }
  }
  {
    std::unique_lock<std::mutex> hold;
    if (observer_ != nullptr) {
      hold = observer_->BeforeBlock();
    }
    if (!block->prefix.empty()) {
      stream.write(block->prefix.data(), block->prefix.size());
    }
    stream.write(block->output.data(), block->output.size());
  }
  if (observer_ != nullptr && block->content() > 0) {
    observer_->Advanced(static_cast<int64_t>(block->content()));
  }
  if (block->written) {
    block->written();
  }
}

void ParallelDeflater::Work() {
  // One deflate state per thread, reset for every block: some 270 KiB at the best level.
  RawDeflate deflater(zlib_level_);
  for (;;) {
    std::shared_ptr<Block> block;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_ready_.wait(lock, [this] { return stopping_ || !todo_.empty(); });
      if (stopping_) {
        return;
      }
      block = std::move(todo_.front());
      todo_.pop_front();
    }
    try {
      const uint8_t* content = block->input.data() + block->window;
      deflater.Deflate(block->input.data(), block->window, content, block->content(), block->last,
                       block->output);
      block->adler = adler32(1, content, static_cast<uInt>(block->content()));
    } catch (...) {
      block->failure = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      block->done = true;
    }
    block_done_.notify_all();
  }
}

}  // namespace qarvo
