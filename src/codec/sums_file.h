#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Checksum files as other tools write them: GNU (`HASH  name`, `HASH *name`, as sha256sum and
// md5sum write them), BSD (`SHA256 (name) = HASH`) and SFV (`name CRC32`). Text only: reading
// the listed files is the caller's.

namespace qarvo {

enum class SumKind { Crc32, Md5, Sha1, Sha256 };

// 8, 32, 40 or 64.
size_t HexDigitsOf(SumKind kind);
// The kind a hex checksum of that many digits is; none for any other length.
std::optional<SumKind> SumKindOfHexLength(size_t digits);
// "CRC32", "MD5", "SHA1", "SHA256".
const char* SumKindName(SumKind kind);
// From the extension: .sfv, .md5, .sha1, .sha256 (any case); none for any other name.
std::optional<SumKind> SumKindOfFileName(std::string_view path);
// True when `text` is only hex digits.
bool IsHexText(std::string_view text);

struct SumEntry {
  SumKind kind = SumKind::Sha256;
  std::string hex;   // lower case
  std::string name;  // the bytes of the file's line, escapes undone; any code page
  int line = 0;      // 1-based
};

struct SumsList {
  std::vector<SumEntry> entries;
  std::vector<int> bad_lines;  // 1-based numbers of lines that are neither blank nor a comment
};

// Reads every line; a line that does not parse is counted in bad_lines, never a reason to stop.
// `expected` is the kind the file's name says: a GNU or SFV line whose hash has another length
// is bad. Without it the kind follows each hash's length. CRLF line ends, a UTF-8 byte order mark
// and blank lines are accepted; lines starting with ';' (SFV) or '#' are comments.
SumsList ParseSums(std::string_view text, std::optional<SumKind> expected);

// One line as sha256sum writes it, newline included: a name holding a backslash or a newline
// gets the leading backslash and escapes that GNU tools read back.
std::string GnuSumLine(std::string_view hex, std::string_view name);

}  // namespace qarvo
