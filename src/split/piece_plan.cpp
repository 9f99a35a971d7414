#include "split/piece_plan.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <string>
#include <utility>

#include "codec/envelope.h"
#include "split/header.h"

namespace qarvo {

namespace {

constexpr int64_t kLengthField = 4;
// A compressor that cuts a piece into blocks, each ended by a sync flush so that the blocks
// can be deflated apart, pays at most the end of a stored block and an empty stored block per
// block (about 10 bytes); such blocks are never shorter than the 32 KiB window they are primed
// with.
constexpr int64_t kFlushBlock = 32768;
constexpr int64_t kFlushCost = 16;

int64_t CeilDiv(int64_t a, int64_t b) {
  return a / b + (a % b != 0 ? 1 : 0);
}

// The largest share whose piece file stays within `max_piece_file`; 0 when none does.
int64_t LargestShare(int64_t max_piece_file, bool compressed) {
  const int64_t room = max_piece_file - static_cast<int64_t>(kHeaderTrailerSize);
  if (room < 1) {
    return 0;
  }
  if (!compressed) {
    return room;
  }
  // The bound grows with the content: find the largest content it lets through.
  int64_t low = 0;
  int64_t high = std::min(room, kMaxEnvelopeContent);
  while (low < high) {
    const int64_t middle = high - (high - low) / 2;
    if (CompressedPayloadBound(middle) <= room) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  return low;
}

}  // namespace

int64_t CompressedPayloadBound(int64_t content) {
  // zlib's own bound for one stream with the envelope's settings (15-bit window, memory level
  // 8): stored blocks of 16 KiB with their 5-byte headers, the stream header and the Adler-32.
  const int64_t zlib = content + (content >> 12) + (content >> 14) + (content >> 25) + 13;
  return kLengthField + zlib + CeilDiv(content, kFlushBlock) * kFlushCost;
}

SizePlan PlanPiecesBySize(int64_t file_size, int64_t max_piece_file, bool compressed) {
  const int64_t largest = LargestShare(max_piece_file, compressed);
  if (largest < 1) {
    return {0, SizePlanFault::TooSmall};
  }
  if (file_size <= largest) {
    return {1, SizePlanFault::None};
  }
  // The last piece carries the most: file_size div n plus the remainder. It does not shrink
  // steadily as n grows (the remainder jumps), so walk the counts from the least that could do,
  // a run of counts with the same quotient at a time: within one run the remainder falls by the
  // quotient per count, so the first count of the run that fits is found by division.
  int64_t n = CeilDiv(file_size, largest);
  while (n <= kMaxPieceCount) {
    const int64_t share = file_size / n;  // >= 1, since n <= file_size here
    const int64_t run_end = file_size / share;
    // share + (file_size - m * share) <= largest  <=>  m >= (file_size + share - largest) / share
    const int64_t first_fit = std::max(n, CeilDiv(file_size + share - largest, share));
    if (first_fit <= run_end) {
      if (first_fit > kMaxPieceCount) {
        break;
      }
      return {static_cast<int32_t>(first_fit), SizePlanFault::None};
    }
    n = run_end + 1;
  }
  return {0, SizePlanFault::TooMany};
}

std::optional<int64_t> ParsePieceSize(std::string_view text) {
  static constexpr std::pair<std::string_view, int64_t> kNames[] = {{"fat32", kFat32PieceSize},
                                                                    {"cd", kCdPieceSize},
                                                                    {"dvd", kDvdPieceSize},
                                                                    {"mail", kMailPieceSize}};
  for (const auto& [name, size] : kNames) {
    if (text == name) {
      return size;
    }
  }
  size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])) != 0) {
    ++digits;
  }
  if (digits == 0) {
    return std::nullopt;
  }
  const std::string_view unit = text.substr(digits);
  static constexpr std::string_view kPowers = "KMGT";
  int64_t multiplier = 1;
  if (!unit.empty()) {
    const size_t power = kPowers.find(unit[0] == 'k' ? 'K' : unit[0]);
    const std::string_view rest = unit.substr(1);
    int64_t base = 0;
    if (power == std::string_view::npos) {
      return std::nullopt;
    }
    if (rest.empty() || rest == "iB") {
      base = 1024;
    } else if (rest == "B") {
      base = 1000;
    } else {
      return std::nullopt;
    }
    for (size_t i = 0; i <= power; ++i) {
      multiplier *= base;
    }
  }
  int64_t value = 0;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  for (size_t i = 0; i < digits; ++i) {
    const int digit = text[i] - '0';
    if (value > (kMax - digit) / 10) {
      return std::nullopt;
    }
    value = value * 10 + digit;
  }
  if (value > kMax / multiplier) {
    return std::nullopt;
  }
  return value * multiplier;
}

const char* SizePlanRefusalLine(SizePlanFault fault) {
  switch (fault) {
    case SizePlanFault::TooSmall:
      return kSplitSizeTooSmall;
    case SizePlanFault::TooMany:
      return kSplitSizeTooManyPieces;
    case SizePlanFault::None:
      break;
  }
  return nullptr;
}

}  // namespace qarvo
