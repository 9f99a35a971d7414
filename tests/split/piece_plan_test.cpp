#include "split/piece_plan.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>

#include "split/header.h"

namespace qarvo {
namespace {

constexpr int64_t kTrailer = static_cast<int64_t>(kHeaderTrailerSize);

// The largest piece file of a split in `count`, worked out the plain way.
int64_t LargestPieceFile(int64_t size, int64_t count, bool compressed) {
  const int64_t share = size / count;
  const int64_t last = size - (count - 1) * share;
  return (compressed ? CompressedPayloadBound(last) : last) + kTrailer;
}

// Every count from 1 up, the first that fits: the definition itself.
int64_t FirstFittingCount(int64_t size, int64_t limit, bool compressed) {
  for (int64_t count = 1; count <= size; ++count) {
    if (LargestPieceFile(size, count, compressed) <= limit) {
      return count;
    }
  }
  return -1;
}

TEST(PiecePlanTest, SmallestCountMatchesTryingEveryCount) {
  // Small sizes cover the uneven cases: a remainder that pushes the last piece over, counts
  // whose last piece is larger than a smaller count's.
  for (const bool compressed : {false, true}) {
    for (int64_t size = 1; size <= 400; size += 3) {
      for (int64_t limit = kTrailer - 2; limit <= kTrailer + 130; ++limit) {
        const SizePlan plan = PlanPiecesBySize(size, limit, compressed);
        const int64_t expected = FirstFittingCount(size, limit, compressed);
        if (expected < 0) {
          EXPECT_EQ(plan.fault, SizePlanFault::TooSmall) << size << " " << limit;
        } else {
          ASSERT_EQ(plan.fault, SizePlanFault::None) << size << " " << limit;
          ASSERT_EQ(plan.count, expected) << size << " in " << limit << " " << compressed;
        }
      }
    }
  }
}

TEST(PiecePlanTest, PresetsOnTenGibibytes) {
  const int64_t size = int64_t{10} << 30;
  EXPECT_EQ(PlanPiecesBySize(size, kFat32PieceSize, false).count, 3);
  EXPECT_EQ(PlanPiecesBySize(size, kCdPieceSize, false).count, 15);
  EXPECT_EQ(PlanPiecesBySize(size, kDvdPieceSize, false).count, 3);
  EXPECT_EQ(PlanPiecesBySize(size, kMailPieceSize, false).count, 597);
  for (const int64_t limit : {kFat32PieceSize, kCdPieceSize, kDvdPieceSize, kMailPieceSize}) {
    for (const bool compressed : {false, true}) {
      const int64_t count = PlanPiecesBySize(size, limit, compressed).count;
      EXPECT_LE(LargestPieceFile(size, count, compressed), limit) << limit;
      EXPECT_GT(LargestPieceFile(size, count - 1, compressed), limit) << limit;
    }
  }
  // 10 GiB in 3 pieces of 3.33 GiB: each compressed piece's content is below the 4 GiB the
  // envelope's length field can state.
  EXPECT_EQ(PlanPiecesBySize(size, int64_t{16} << 30, true).count, 3);
  EXPECT_EQ(MailEncodedSize(3), 6);  // "AAAA" and its line end
  EXPECT_LE(MailEncodedSize(kMailPieceSize), kMailLimit);
}

TEST(PiecePlanTest, EdgesOfOnePieceAndOfTheTrailer) {
  const int64_t limit = 1000000;
  EXPECT_EQ(PlanPiecesBySize(limit - kTrailer, limit, false).count, 1);
  EXPECT_EQ(PlanPiecesBySize(limit - kTrailer + 1, limit, false).count, 2);
  // 10 bytes, 3 per piece at most: 4 pieces give 2, 2, 2 and 4, so it takes 5.
  EXPECT_EQ(PlanPiecesBySize(10, kTrailer + 3, false).count, 5);
  EXPECT_EQ(PlanPiecesBySize(10, kTrailer, false).fault, SizePlanFault::TooSmall);
  EXPECT_EQ(PlanPiecesBySize(10, kTrailer + 1, false).count, 10);
  EXPECT_EQ(PlanPiecesBySize(10, 0, false).fault, SizePlanFault::TooSmall);
  const int64_t one_compressed = kTrailer + CompressedPayloadBound(1);
  EXPECT_EQ(PlanPiecesBySize(10, one_compressed - 1, true).fault, SizePlanFault::TooSmall);
  EXPECT_EQ(PlanPiecesBySize(10, one_compressed, true).count, 10);
  // One byte per piece for two thousand million bytes: more than nine digits.
  EXPECT_EQ(PlanPiecesBySize(2000000000, kTrailer + 1, false).fault, SizePlanFault::TooMany);
  EXPECT_EQ(PlanPiecesBySize(999999999, kTrailer + 1, false).count, 999999999);
  EXPECT_EQ(PlanPiecesBySize(0, kCdPieceSize, false).count, 1);
}

TEST(PiecePlanTest, CompressedBoundCoversZlibsOwn) {
  z_stream stream{};
  ASSERT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  for (const int64_t content : {int64_t{0}, int64_t{1}, int64_t{16384}, int64_t{1} << 20,
                                int64_t{123456789}, int64_t{0xFFFFFFFF}}) {
    EXPECT_GE(CompressedPayloadBound(content),
              4 + static_cast<int64_t>(deflateBound(&stream, static_cast<uLong>(content))))
        << content;
  }
  deflateEnd(&stream);
}

TEST(PiecePlanTest, SizeTextsAsGnuSplitReadsThem) {
  EXPECT_EQ(ParsePieceSize("4096"), 4096);
  EXPECT_EQ(ParsePieceSize("2K"), 2048);
  EXPECT_EQ(ParsePieceSize("2k"), 2048);
  EXPECT_EQ(ParsePieceSize("2KiB"), 2048);
  EXPECT_EQ(ParsePieceSize("2KB"), 2000);
  EXPECT_EQ(ParsePieceSize("3M"), 3 << 20);
  EXPECT_EQ(ParsePieceSize("3MB"), 3000000);
  EXPECT_EQ(ParsePieceSize("1G"), int64_t{1} << 30);
  EXPECT_EQ(ParsePieceSize("1GB"), 1000000000);
  EXPECT_EQ(ParsePieceSize("2T"), int64_t{2} << 40);
  EXPECT_EQ(ParsePieceSize("fat32"), kFat32PieceSize);
  EXPECT_EQ(ParsePieceSize("cd"), kCdPieceSize);
  EXPECT_EQ(ParsePieceSize("dvd"), kDvdPieceSize);
  EXPECT_EQ(ParsePieceSize("mail"), kMailPieceSize);
  for (const char* bad : {"", "K", "-1", "1.5G", "1 M", "1X", "1KBB", "1mb", "1Ki",
                          "99999999999999999999", "9000000T", "FAT32x"}) {
    EXPECT_FALSE(ParsePieceSize(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace qarvo
