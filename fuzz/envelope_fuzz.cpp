// Feeds arbitrary files to the envelope reader, in its whole-file and streaming forms. Both must
// agree, return exactly the declared length or fail with the library's errors, and never let a
// declared length decide an allocation. Whatever zlib reads as a whole, valid stream holding at
// least the declared length, the reader must read to the same bytes. A compress and read-back
// round trip checks the writer.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <zlib.h>

#include "codec/envelope.h"
#include "platform/file.h"

namespace {

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// An anonymous in-memory file, reachable by path.
class MemoryFile {
 public:
  MemoryFile() : fd_(memfd_create("qarvo-fuzz", 0)) { Check(fd_ >= 0); }
  ~MemoryFile() { close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }
  void Set(const uint8_t* data, size_t size) {
    Check(ftruncate(fd_, 0) == 0);
    Check(pwrite(fd_, data, size, 0) == static_cast<ssize_t>(size));
  }
  std::string Get() const {
    std::string content;
    char buffer[65536];
    off_t at = 0;
    for (;;) {
      const ssize_t got = pread(fd_, buffer, sizeof(buffer), at);
      Check(got >= 0);
      if (got == 0) {
        return content;
      }
      content.append(buffer, static_cast<size_t>(got));
      at += got;
    }
  }

 private:
  int fd_;
};

// zlib's reading of the stream after the 4-byte length: true when it is a whole, valid stream
// (its end and Adler-32 reached) whose first `declared` bytes are put in `content`.
bool ZlibReads(const uint8_t* stream_data, size_t size, uint32_t declared, std::string& content) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    return false;
  }
  stream.next_in = const_cast<Bytef*>(stream_data);
  stream.avail_in = static_cast<uInt>(size);
  content.clear();
  int result = Z_OK;
  char chunk[16384];
  while (result == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof(chunk);
    result = inflate(&stream, Z_NO_FLUSH);
    const size_t made = sizeof(chunk) - stream.avail_out;
    const size_t keep =
        std::min<size_t>(made, declared - std::min<size_t>(declared, content.size()));
    content.append(chunk, keep);
    if (result == Z_BUF_ERROR && stream.avail_in == 0) {
      break;  // the input ends inside the stream
    }
  }
  inflateEnd(&stream);
  return result == Z_STREAM_END && content.size() == declared;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qarvo;
  static MemoryFile input;
  static MemoryFile output;
  input.Set(data, size);
  output.Set(nullptr, 0);

  bool whole_ok = false;
  std::vector<uint8_t> whole;
  try {
    whole = DecompressFileToMemory(input.Path());
    whole_ok = true;
  } catch (const CompressionError&) {
  } catch (const FileError&) {
  }

  bool streamed_ok = false;
  try {
    File in(input.Path(), OpenMode::Read, Share::Shared);
    File out(output.Path(), OpenMode::ReadWrite, Share::Shared);
    const int64_t written = DecompressEnvelope(in, static_cast<int64_t>(size), out, nullptr);
    Check(written == static_cast<int64_t>(whole.size()) || !whole_ok);
    streamed_ok = true;
  } catch (const CompressionError&) {
  } catch (const FileError&) {
  }

  Check(whole_ok == streamed_ok);
  if (size >= 4) {
    const uint32_t declared =
        static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
        (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
    if (whole_ok) {
      Check(whole.size() == declared);
      Check(output.Get() == std::string(whole.begin(), whole.end()));
    }
    std::string reference;
    if (declared > 0 && ZlibReads(data + 4, size - 4, declared, reference)) {
      Check(whole_ok && std::string(whole.begin(), whole.end()) == reference);
    }
  }

  // Round trip of the input as content, at a level taken from the data.
  const int level = size > 0 ? data[0] % 4 : 2;
  input.Set(data, size);
  {
    File in(input.Path(), OpenMode::Read, Share::Shared);
    File out(output.Path(), OpenMode::ReadWrite, Share::Shared);
    out.Truncate(0);
    CompressToEnvelope(in, static_cast<int64_t>(size), out, level, nullptr);
  }
  const std::string envelope = output.Get();
  input.Set(reinterpret_cast<const uint8_t*>(envelope.data()), envelope.size());
  const std::vector<uint8_t> back = DecompressFileToMemory(input.Path());
  Check(back.size() == size && std::equal(back.begin(), back.end(), data));
  return 0;
}
