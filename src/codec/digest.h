#pragma once

// The codec layer: MD5, CRC-32 and the checksum kind (this header), the DES header cipher
// (des.h), the compressed envelope (envelope.h) and the password rule (password_rule.h). Pure
// transformations of bytes and open files; a change to how a checksum is chosen or computed
// goes here, once. Below the trailer layer, above platform.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/copy.h"
#include "platform/file.h"

namespace qarvo {

using Md5Digest = std::array<uint8_t, 16>;

// Incremental MD5 (RFC 1321).
class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t size);
  Md5Digest Final();

 private:
  void Transform(const uint8_t* block);
  std::array<uint32_t, 4> state_;
  uint64_t length_ = 0;
  std::array<uint8_t, 64> buffer_{};
};

// Digest of the bytes as stored (a password is digested as its GB18030 bytes by the caller).
Md5Digest Md5OfText(std::string_view text);
// A file that cannot be opened (missing, locked, no regular file) gives the digest of zero bytes.
// A read that fails once the file is open throws FileError (path and reason): a digest of part
// of a file is never handed out as the file's. Reads in blocks, so files of any size get their
// digest. `observer` (may be null) is passed before each block, for pause and progress.
Md5Digest Md5OfFile(const std::string& path, CopyObserver* observer = nullptr);
// 32 lower-case hex digits.
std::string Md5Hex(const Md5Digest& digest);

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);
// Like Md5OfFile: a file that cannot be opened gives 0, a failed read throws FileError.
uint32_t Crc32OfFile(const std::string& path, CopyObserver* observer = nullptr);
// Upper-case hex, at least 6 digits, empty for 0.
std::string Crc32Text(uint32_t crc);
std::string Crc32OfFileText(const std::string& path, CopyObserver* observer = nullptr);

// The checksum a split set or a pack carries, or a comparison uses. The formats store it as a
// number (see ChecksumFormatCode); everything inside the program uses this type.
enum class ChecksumKind { None, Md5, Crc32 };

// The code the split-set and pack headers store: 0 none, 1 MD5, 2 CRC-32.
int ChecksumFormatCode(ChecksumKind kind);
// The kind of a stored code; anything but 1 and 2 is None.
ChecksumKind ChecksumKindOfCode(int code);

// The checksum text of a file by kind (Md5Hex or Crc32Text); the empty text for None. The one
// place that picks the digest by kind. Fails as Md5OfFile does.
std::string ChecksumTextOfFile(const std::string& path, ChecksumKind kind,
                               CopyObserver* observer = nullptr);

// The checksum text (Md5Hex or Crc32Text; kind must not be None) of the next `count` bytes of
// an open file, from its current position. Unlike the forms that take a path it fails: a read error
// or a file that ends before `count` bytes throws FileError, so a caller that must know which bytes
// it digested (a snapshot of a growing file, a file it just wrote) learns when it could not.
std::string ChecksumTextOf(File& in, int64_t count, ChecksumKind kind, CopyObserver* observer);

// Size of a file opened with all sharing allowed; throws FileError naming the file and reason.
int64_t FileSizeOf(const std::string& path);

}  // namespace qarvo
