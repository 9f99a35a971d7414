#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "codec/sums_file.h"
#include "platform/copy.h"
#include "platform/file.h"

namespace qarvo {

// Block size of the compare and check jobs' reads. Small on purpose: a block then stays in the
// processor's cache between the read that fills it and the digest or compare that uses it;
// blocks of a quarter megabyte went to memory and back, and the byte compare cost more than cmp.
inline constexpr size_t kCompareBlockSize = kCopyBlockSize;

// Opens a file the compare and check jobs read: all sharing allowed, read front to back. A
// folder or a file that cannot be opened throws FileError with the system's reason.
File OpenToCompare(const std::string& path);

// The lower-case hex digest of the rest of `file`, in the form checksum files carry (CRC-32 as
// eight digits). A read error or a file that shrinks while it is read throws FileError: a
// digest of part of a file is never handed out.
std::string SumHexOf(File& file, SumKind kind, CopyObserver* observer);

// How the compare and check jobs show a digest: CRC-32 in upper case as the program's other
// CRC texts, the others in lower case.
std::string ShownSumHex(SumKind kind, std::string_view lower_hex);

// An expected checksum as typed or pasted: blanks around it and the case of its digits do not
// matter; the kind follows from the number of digits. None for any other text.
struct ExpectedSum {
  SumKind kind;
  std::string hex;  // lower case
};
std::optional<ExpectedSum> ParseExpectedSum(std::string_view text);

// The hint for a text that is no checksum, shown before anything is read.
inline constexpr const char* kBadExpectedSum =
    "校验值应为8位(CRC32)、32位(MD5)、40位(SHA1)或64位(SHA256)十六进制数字!";

}  // namespace qarvo
