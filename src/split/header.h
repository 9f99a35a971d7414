#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/digest.h"

namespace qarvo {

inline constexpr size_t kHeaderTrailerSize = 344;
inline constexpr char kHeaderMagic[] = "plomsey";
inline constexpr char kNoPasswordMarker[] = "0c3e9a71d5b2486f93ae170b6d4c25f8";
inline constexpr char kPieceExtension[] = ".vrk";
inline constexpr size_t kMaxStoredNameBytes = 255;

// Digest field of a header: Md5Hex of the password's GB18030 bytes, or the marker when the
// password (UTF-8) is empty.
std::string PasswordDigestField(const std::string& password_utf8);

// Encrypts a header text (GB18030 bytes ending in "|"). When the cipher refuses the text, a
// filler byte is appended after the final "|" (readers ignore what follows the last field) and
// other filler bytes are tried until one passes. Shared by split sets and packs.
std::string EncryptHeaderWithFiller(const std::string& header_text);

// Places encrypted header bytes at the start of a zero-filled block of `size` bytes.
std::string MakeTrailerBlock(const std::string& encrypted, size_t size);

// Everything a split set's header carries. Texts are UTF-8 except check_text (ASCII).
struct SetHeader {
  std::string check_text;
  ChecksumKind check_kind = ChecksumKind::None;
  bool compressed = false;
  int32_t piece_count = 0;
  std::string source_name;  // decoded from GB18030
  std::string piece_base;   // StripExtension(source_name)
};

// The plain header text (GB18030 bytes) of a split set. `source_name_utf8` is cut to 255
// GB18030 bytes at a character boundary.
std::string BuildSetHeaderText(const std::string& password_utf8, const std::string& check_text,
                               ChecksumKind check_kind, bool compressed, int32_t piece_count,
                               const std::string& source_name_utf8);

// The stored form of a source name and the piece stem derived from it, so split and merge agree.
std::string StoredSourceName(const std::string& source_name_utf8);  // UTF-8, <= 255 GB18030 bytes
std::string PieceBaseOf(const std::string& source_name_utf8);       // StripExtension of the above

enum class HeaderStatus { Ok, NotRecognised, WrongPassword };

// Deciphers a whole fixed-size header block (split trailer or pack trailer). The encrypted text
// may contain zero bytes and its length is not recorded, so every 8-byte block is deciphered;
// what follows the header's last field is meaningless and must be ignored by the field reader.
std::string DecryptTrailerBlock(std::string_view block);

// Reads the last 344 bytes of a piece (`trailer` must be exactly that block). On a refusal
// `out` is left untouched.
HeaderStatus ReadSetHeader(std::string_view trailer, const std::string& typed_password_utf8,
                           SetHeader& out);
// The same for a piece file: a file of 344 bytes or less is not recognised. Throws FileError
// when the piece cannot be opened or read.
HeaderStatus ReadSetHeaderOfPiece(const std::string& piece_path,
                                  const std::string& typed_password_utf8, SetHeader& out);

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
