#pragma once

// The trailer layer: what a split set's pieces and a pack share at their ends. Both formats end
// in a fixed-size block that holds one DES-enciphered header text ("plomsey", the password
// digest, then "|"-separated fields); this layer makes and reads that block. The fields of each
// format are split/header.* (split sets) and tools/pack_format.* (packs); a change to the block,
// the cipher with its filler, the password field or the field reader goes here, once for both.
// Below split/ and tools/, above codec/.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace qarvo {

inline constexpr char kHeaderMagic[] = "plomsey";
inline constexpr char kNoPasswordMarker[] = "0c3e9a71d5b2486f93ae170b6d4c25f8";

enum class HeaderStatus { Ok, NotRecognised, WrongPassword };

// Digest field of a header: Md5Hex of the password's GB18030 bytes, or the marker when the
// password (UTF-8) is empty.
std::string PasswordDigestField(const std::string& password_utf8);

// Header texts are written field by field: the start (magic, password digest and its "|"), then
// each field followed by its "|".
std::string HeaderTextStart(const std::string& password_utf8);
void AppendHeaderField(std::string& text, std::string_view field);

// Encrypts a header text (GB18030 bytes ending in "|"). When the cipher refuses the text, a
// filler byte is appended after the final "|" (readers ignore what follows the last field) and
// other filler bytes are tried until one passes.
std::string EncryptHeaderWithFiller(const std::string& header_text);

// Places encrypted header bytes at the start of a zero-filled block of `size` bytes.
std::string MakeTrailerBlock(const std::string& encrypted, size_t size);

// Deciphers a whole fixed-size header block. The encrypted text may contain zero bytes and its
// length is not recorded, so every 8-byte block is deciphered; what follows the header's last
// field is meaningless and must be ignored by the field reader.
std::string DecryptTrailerBlock(std::string_view block);

// Reads the last `block_size` bytes of an open file whose size is `file_size` into `block`.
// False, with `block` untouched, when the file is shorter than the block. Throws FileError when
// the read fails. The one place a trailer is taken from a file's end.
bool ReadTrailer(File& file, int64_t file_size, size_t block_size, std::string& block);

// The start both formats' readers share: opens `path` without sharing into `file` (left open),
// takes the trailer block of `block_size` bytes from its end into `block` and hands it to
// `read_header`, the format's own header reader. A file of fewer than `min_size` bytes is
// NotRecognised. Throws FileError when the file cannot be opened or read.
HeaderStatus OpenAndReadHeader(const std::string& path, size_t block_size, int64_t min_size,
                               File& file, std::string& block,
                               const std::function<HeaderStatus(std::string_view)>& read_header);

// The line a job logs when a header refuses it: `not_recognised` or `wrong_password`; null for
// Ok.
const char* HeaderRefusalLine(HeaderStatus status, const char* not_recognised,
                              const char* wrong_password);

// Field reading shared by the split-set and pack headers, on a decrypted header text. The
// reader keeps a view of the text, which must outlive it.
class HeaderFieldReader {
 public:
  explicit HeaderFieldReader(std::string_view decrypted) : rest_(decrypted) {}
  // Checks the magic and the password digest (first "|" at position <= 72). Returns
  // NotRecognised or WrongPassword on failure.
  HeaderStatus ReadMagicAndPassword(const std::string& typed_password_utf8);
  // Takes the next field: the first "|" must be at 1-based position 1..max_position.
  bool Next(size_t max_position, std::string_view& field);

 private:
  std::string_view rest_;
};

}  // namespace qarvo
