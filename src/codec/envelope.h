#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/copy.h"
#include "platform/file.h"

namespace qarvo {

// The compression library reported an error or the envelope is damaged; what() is "Error".
class CompressionError : public std::runtime_error {
 public:
  CompressionError() : std::runtime_error("Error") {}
};

// The envelope: 4-byte little-endian length of the content, then one zlib stream of it.
// Level codes: 0 stored, 1 fastest, 2 zlib's default, 3 best.
inline constexpr int64_t kMaxEnvelopeContent = 0xFFFFFFFFLL;

// The zlib level of the program's compression levels: 0 none, 1 fastest, 2 default, 3 best.
// Throws CompressionError for any other.
int ZlibLevelOf(int level);

// Replaces the file's content by its envelope. The file is opened without sharing (so the caller
// must have closed it) and rewritten through a temporary file beside it that then replaces it,
// so a failure keeps the original. Throws CompressionError for an unknown level or a file of
// 4 GiB or more.
void CompressFileInPlace(const std::string& path, int level);
// The declared number of bytes. Fails with CompressionError on damaged or short data (never
// allocating more than the data could hold) and FileError on a read error.
std::vector<uint8_t> DecompressFileToMemory(const std::string& path);

// The content length an envelope declares, read from the current position of `in` (its first
// 4 bytes). Throws FileError when fewer than 4 bytes are there. The one reader of that field.
int64_t EnvelopeDeclaredLength(File& in);

// Streaming forms, same bytes on disk, bounded memory.
// Writes the envelope of the next `count` bytes of `in` at the current position of `out`.
// Throws CompressionError when `count` does not fit the 32-bit length.
void CompressToEnvelope(File& in, int64_t count, File& out, int level, CopyObserver* observer);
// Reads an envelope from the current position of `in`, looking at no more than `available`
// bytes, and writes its declared content to `out`. Returns the number of bytes written. `in` is
// read ahead in chunks, so its position afterwards lies somewhere within those `available` bytes.
// Fewer than 4 bytes available is a read error (FileError).
// Throws CompressionError when the stream is damaged or ends before the declared length.
int64_t DecompressEnvelope(File& in, int64_t available, File& out, CopyObserver* observer);

// Where the streaming forms take bytes from (and, as a ByteSink, hand them to), so that envelopes
// can be read from and written at any offset. A source returns fewer bytes than asked only at its
// end.
using ByteSource = std::function<size_t(uint8_t* buffer, size_t size)>;
// The same bytes as the File forms. Only the sink runs inside the observer's block lock; reading,
// deflating and inflating happen outside it, so envelopes made on several threads through one
// pause gate do not wait for each other's zlib work.
void CompressToEnvelope(const ByteSource& read, int64_t count, const ByteSink& write, int level,
                        CopyObserver* observer);
int64_t DecompressEnvelope(File& in, int64_t available, const ByteSink& write,
                           CopyObserver* observer);

}  // namespace qarvo
