#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qarvo {

// The count box holds nine digits; no set has more pieces.
inline constexpr int32_t kMaxPieceCount = 999999999;

// Piece file sizes that users cut for. A FAT32 file system keeps no file of 4 GiB or more.
inline constexpr int64_t kFat32PieceSize = (int64_t{1} << 32) - 1;
inline constexpr int64_t kCdPieceSize = int64_t{700} << 20;
// Disc makers count in powers of 1000; a single-layer DVD holds a little more than this.
inline constexpr int64_t kDvdPieceSize = 4700000000;
// Mail carries attachments in base64, 4 characters for every 3 bytes and a line break every 76
// characters; this size encodes to about 24.6 MB, which leaves room for the headers and the text
// of the message under a limit of 25 MB (25,000,000 bytes).
inline constexpr int64_t kMailPieceSize = 18000000;
inline constexpr int64_t kMailLimit = 25000000;

// The size of a piece of `bytes` bytes once mail has encoded it (base64 in lines of 76
// characters, each ended by CR LF).
constexpr int64_t MailEncodedSize(int64_t bytes) {
  const int64_t characters = (bytes + 2) / 3 * 4;
  return characters + (characters + 75) / 76 * 2;
}
static_assert(MailEncodedSize(kMailPieceSize) <= kMailLimit - 256 * 1024);

// The most bytes a compressed piece's payload (its envelope) can take for `content` bytes of
// any content, incompressible data included.
int64_t CompressedPayloadBound(int64_t content);

enum class SizePlanFault {
  None,
  TooSmall,  // not even one byte of data and the trailer fit into the size
  TooMany,   // the size would need more pieces than the count box takes
};

struct SizePlan {
  int32_t count = 0;
  SizePlanFault fault = SizePlanFault::None;
};

// The smallest piece count for which every piece file of a split of `file_size` bytes, trailer
// included, is at most `max_piece_file` bytes, given how a split cuts: every piece file_size
// div count bytes, the last one the remainder on top. With `compressed` the bound holds for
// incompressible data too. An empty source gives one piece (which the split then refuses).
SizePlan PlanPiecesBySize(int64_t file_size, int64_t max_piece_file, bool compressed);

// A piece size as GNU split reads one: a decimal number with an optional unit, K, M, G, T (or
// KiB, MiB, GiB, TiB) for powers of 1024, KB, MB, GB, TB for powers of 1000; or one of the
// names fat32, cd, dvd, mail. Nothing for anything else or a size beyond 64 bits.
std::optional<int64_t> ParsePieceSize(std::string_view text);

// The log lines of a refused plan.
inline constexpr char kSplitSizeTooSmall[] =
    "文件分割:分割大小太小,每个分割文件至少要放下1字节数据和344字节的分割信息!";
inline constexpr char kSplitSizeTooManyPieces[] =
    "文件分割:按这个大小分割需要的文件数超过9位数,请选择更大的分割大小!";
// The line of a refusal; null for a plan that holds.
const char* SizePlanRefusalLine(SizePlanFault fault);

}  // namespace qarvo
