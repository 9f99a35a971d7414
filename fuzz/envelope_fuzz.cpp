// Feeds arbitrary files to the envelope reader, in its whole-file and streaming forms. Both must
// agree, return exactly the declared length or fail with the library's errors, and never let a
// declared length decide an allocation. A compress and read-back round trip checks the writer.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

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
  if (whole_ok) {
    const uint32_t declared =
        static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
        (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
    Check(whole.size() == declared);
    Check(output.Get() == std::string(whole.begin(), whole.end()));
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
