#include "codec/envelope.h"

#include <isa-l/igzip_lib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/io_buffer.h"

namespace qarvo {

namespace {

// The output chunk when compressing, and the input and output chunks when inflating.
constexpr size_t kZlibChunk = 65536;

class DeflateStream {
 public:
  explicit DeflateStream(int zlib_level) {
    if (deflateInit2(&stream_, zlib_level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw CompressionError();
    }
  }
  ~DeflateStream() { deflateEnd(&stream_); }
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;
  z_stream* get() { return &stream_; }

 private:
  z_stream stream_{};
};

// Inflating goes through ISA-L rather than zlib: for every valid zlib stream it gives the same
// bytes, more than twice as fast, and a join or a set check spends nearly all its time here.
// Deflating stays with zlib, whose output the pieces must match byte for byte.
class InflateStream {
 public:
  InflateStream() : state_(std::make_unique<inflate_state>()) {
    isal_inflate_init(state_.get());
    state_->crc_flag = ISAL_ZLIB;  // parse the zlib header and verify the Adler-32 at the end
  }
  inflate_state* get() { return state_.get(); }

 private:
  std::unique_ptr<inflate_state> state_;  // some 40 KiB of tables: not for the stack
};

[[noreturn]] void ThrowShortFile(const File& file) {
  throw FileError("unexpected end of \"" + file.path() + "\"", file.path(), EIO);
}

// Hands `size` bytes to the sink inside the observer's block lock.
void WriteBlock(const ByteSink& write, const uint8_t* data, size_t size, CopyObserver* observer) {
  std::unique_lock<std::mutex> hold;
  if (observer != nullptr) {
    hold = observer->BeforeBlock();
  }
  write(data, size);
}

// Runs deflate over the pending input (or finishes the stream) and writes what comes out.
void DeflateInto(z_stream* stream, int flush, const ByteSink& write, uint8_t* chunk,
                 CopyObserver* observer) {
  for (;;) {
    stream->next_out = chunk;
    stream->avail_out = static_cast<uInt>(kZlibChunk);
    const int result = deflate(stream, flush);
    if (result < 0 && result != Z_BUF_ERROR) {
      throw CompressionError();
    }
    const size_t produced = kZlibChunk - stream->avail_out;
    if (produced > 0) {
      WriteBlock(write, chunk, produced, observer);
    }
    if (flush == Z_FINISH) {
      if (result == Z_STREAM_END) {
        return;
      }
    } else if (stream->avail_out != 0) {
      return;
    }
  }
}

// Inflates the envelope at the current position of `in` (at most `available` bytes) and hands
// the content to `sink` piece by piece. The declared length is never trusted for allocation:
// output exists only as far as the stream really produces it.
template <typename Sink>
int64_t InflateEnvelope(File& in, int64_t available, CopyObserver* observer, Sink sink) {
  if (available < 4) {
    ThrowShortFile(in);
  }
  const int64_t declared = EnvelopeDeclaredLength(in);
  int64_t input_left = available - 4;
  int64_t produced = 0;
  if (declared == 0) {
    return 0;
  }
  InflateStream inflater;
  inflate_state* stream = inflater.get();
  IoBuffer input(kZlibChunk);
  IoBuffer output(kZlibChunk);
  while (produced < declared) {
    if (stream->avail_in == 0) {
      const size_t want = static_cast<size_t>(std::min<int64_t>(input_left, kZlibChunk));
      const size_t got = want == 0 ? 0 : in.Read(input.data(), want);
      if (got == 0) {
        // The stream ends before the declared length: never hand out bytes that were not there.
        throw CompressionError();
      }
      input_left -= static_cast<int64_t>(got);
      stream->next_in = input.data();
      stream->avail_in = static_cast<uint32_t>(got);
    }
    const int64_t wanted = std::min<int64_t>(declared - produced, kZlibChunk);
    const uint32_t input_before = stream->avail_in;
    stream->next_out = output.data();
    stream->avail_out = static_cast<uint32_t>(wanted);
    // Anything but OK is a broken stream, a wrong checksum or a stream that wants a dictionary.
    if (isal_inflate(stream) != ISAL_DECOMP_OK) {
      throw CompressionError();
    }
    const size_t made = static_cast<size_t>(wanted) - stream->avail_out;
    if (made > 0) {
      std::unique_lock<std::mutex> hold;
      if (observer != nullptr) {
        hold = observer->BeforeBlock();
      }
      sink(output.data(), made);
      produced += static_cast<int64_t>(made);
      if (hold.owns_lock()) {
        hold.unlock();
      }
      if (observer != nullptr) {
        observer->Advanced(static_cast<int64_t>(made));
      }
    }
    const bool finished = stream->block_state == ISAL_BLOCK_FINISH;
    if (finished && produced < declared) {
      throw CompressionError();
    }
    if (made == 0 && stream->avail_in == input_before && stream->avail_in > 0 && !finished) {
      throw CompressionError();  // no way forward: never loop on a stream that does not move
    }
  }
  return produced;
}

// A new, empty file beside `path`, so that renaming it over `path` stays on one file system.
std::string MakeTemporaryBeside(const std::string& path) {
  std::string pattern = DirectoryOf(path) + "/.qarvo-envelope-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    const int error = errno;
    throw FileError("cannot create a temporary file beside \"" + path + "\"", path, error);
  }
  ::close(fd);
  return pattern;
}

}  // namespace

int ZlibLevelOf(int level) {
  switch (level) {
    case 0:
      return 0;
    case 1:
      return 1;
    case 2:
      return 6;  // what zlib's default level stands for
    case 3:
      return 9;
    default:
      throw CompressionError();
  }
}

int64_t EnvelopeDeclaredLength(File& in) {
  uint8_t length_bytes[4];
  in.ReadExact(length_bytes, 4);
  return static_cast<int64_t>(length_bytes[0]) | (static_cast<int64_t>(length_bytes[1]) << 8) |
         (static_cast<int64_t>(length_bytes[2]) << 16) |
         (static_cast<int64_t>(length_bytes[3]) << 24);
}

void CompressToEnvelope(const ByteSource& read, int64_t count, const ByteSink& write, int level,
                        CopyObserver* observer) {
  if (count < 0 || count > kMaxEnvelopeContent) {
    throw CompressionError();
  }
  DeflateStream deflater(ZlibLevelOf(level));
  const auto length = static_cast<uint32_t>(count);
  const uint8_t length_bytes[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                                   static_cast<uint8_t>(length >> 16),
                                   static_cast<uint8_t>(length >> 24)};
  WriteBlock(write, length_bytes, 4, observer);

  z_stream* stream = deflater.get();
  IoBuffer input(kCopyBlockSize);
  IoBuffer chunk(kZlibChunk);
  int64_t left = count;
  while (left > 0) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(left, kCopyBlockSize));
    const size_t got = read(input.data(), want);
    if (got == 0) {
      throw CompressionError();
    }
    stream->next_in = input.data();
    stream->avail_in = static_cast<uInt>(got);
    DeflateInto(stream, Z_NO_FLUSH, write, chunk.data(), observer);
    left -= static_cast<int64_t>(got);
    if (observer != nullptr) {
      observer->Advanced(static_cast<int64_t>(got));
    }
  }
  stream->next_in = nullptr;
  stream->avail_in = 0;
  DeflateInto(stream, Z_FINISH, write, chunk.data(), observer);
}

void CompressToEnvelope(File& in, int64_t count, File& out, int level, CopyObserver* observer) {
  CompressToEnvelope(
      [&](uint8_t* buffer, size_t size) {
        const size_t got = in.Read(buffer, size);
        if (got == 0) {
          ThrowShortFile(in);
        }
        return got;
      },
      count, [&](const uint8_t* data, size_t size) { out.Write(data, size); }, level, observer);
}

int64_t DecompressEnvelope(File& in, int64_t available, File& out, CopyObserver* observer) {
  return InflateEnvelope(in, available, observer,
                         [&](const uint8_t* data, size_t size) { out.Write(data, size); });
}

int64_t DecompressEnvelope(File& in, int64_t available, const ByteSink& write,
                           CopyObserver* observer) {
  return InflateEnvelope(in, available, observer, write);
}

void CompressFileInPlace(const std::string& path, int level) {
  ZlibLevelOf(level);
  File in(path, OpenMode::Read, Share::Exclusive);
  const int64_t size = in.Size();
  if (size > kMaxEnvelopeContent) {
    throw CompressionError();
  }
  const std::string temporary = MakeTemporaryBeside(path);
  try {
    File out(temporary, OpenMode::Create, Share::Exclusive);
    struct stat info {};
    if (::fstat(in.fd(), &info) == 0) {
      ::fchmod(out.fd(), info.st_mode & 07777);
    }
    CompressToEnvelope(in, size, out, level, nullptr);
    out.Close();
    RenameFile(temporary, path);
  } catch (...) {
    DeleteFile(temporary);
    throw;
  }
}

std::vector<uint8_t> DecompressFileToMemory(const std::string& path) {
  File in(path, OpenMode::Read, Share::Shared);
  const int64_t available = in.Size();
  std::vector<uint8_t> content;
  // Deflate cannot expand data by more than about 1032 times; reserve no more than the file
  // could plausibly hold, and let the buffer grow as bytes actually arrive.
  content.reserve(static_cast<size_t>(std::min<int64_t>(available * 4 + 4096, 1 << 24)));
  InflateEnvelope(in, available, nullptr, [&](const uint8_t* data, size_t size) {
    content.insert(content.end(), data, data + size);
  });
  return content;
}

}  // namespace qarvo
