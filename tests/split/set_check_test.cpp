#include "split/set_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "split/header.h"
#include "split/job_runs.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

using test::TempDir;

int64_t ShareOfPiece(const std::string& path, bool compressed) {
  File piece(path, OpenMode::Read, Share::Shared);
  return PieceShare(piece, piece.Size(), compressed);
}

TEST(SetCheckTest, SharesFitTheWayASplitCuts) {
  // 10 bytes in 3, 5 in 5, one piece, a remainder of count - 1.
  EXPECT_EQ(FirstMisfitShare({3, 3, 4}), 0);
  EXPECT_EQ(FirstMisfitShare({1, 1, 1, 1, 1}), 0);
  EXPECT_EQ(FirstMisfitShare({77}), 0);
  EXPECT_EQ(FirstMisfitShare({10, 10, 10, 13}), 0);
  EXPECT_EQ(FirstMisfitShare({}), 0);
  // The last piece short, or holding as much as the count adds.
  EXPECT_EQ(FirstMisfitShare({10, 10, 9}), 3);
  EXPECT_EQ(FirstMisfitShare({10, 10, 10, 14}), 4);
  // The odd piece is named, wherever it is.
  EXPECT_EQ(FirstMisfitShare({9, 10, 10, 10}), 1);
  EXPECT_EQ(FirstMisfitShare({10, 11, 10, 10}), 2);
  EXPECT_EQ(FirstMisfitShare({2, 3, 5}), 1);
  // Nothing to give, or an unreadable length.
  EXPECT_EQ(FirstMisfitShare({0}), 1);
  EXPECT_EQ(FirstMisfitShare({0, 0, 0}), 1);
  EXPECT_EQ(FirstMisfitShare({5, -1}), 2);
}

TEST(SetCheckTest, CheckPieceSetFindsTheFirstFaultInItsOrder) {
  TempDir dir;
  const std::string content = test::RandomBytes(100000, 2);
  test::WriteFile(dir.File("s.bin"), content);
  TCWorkInfos options;
  options.Compress = 1;
  ASSERT_EQ(test::RunSplit(dir.File("s.bin"), options, 4, dir.path()).back(), test::kIdle);
  const auto path = [&](int32_t n) { return dir.File("s" + std::to_string(n) + ".vrk"); };
  const std::string trailer = ReadPieceTrailer(path(1));
  ASSERT_EQ(trailer.size(), kHeaderTrailerSize);

  std::vector<int64_t> shares;
  PieceFinding finding = CheckPieceSet(4, path, trailer, true, shares);
  EXPECT_EQ(finding.fault, PieceFault::None);
  EXPECT_EQ(shares, (std::vector<int64_t>{25000, 25000, 25000, 25000}));
  EXPECT_EQ(ShareOfPiece(path(2), false),
            static_cast<int64_t>(std::filesystem::file_size(path(2))) - 344);

  // A foreign trailer on piece 2 and piece 4 missing: the missing piece comes first.
  std::string foreign = test::ReadFile(path(2));
  foreign[foreign.size() - 1] = '\x01';
  test::WriteFile(path(2), foreign);
  EXPECT_EQ(CheckPieceSet(4, path, trailer, true, shares).fault, PieceFault::Foreign);
  EXPECT_EQ(CheckPieceSet(4, path, trailer, true, shares).piece, 2);
  std::filesystem::rename(path(4), dir.File("away"));
  finding = CheckPieceSet(4, path, trailer, true, shares);
  EXPECT_EQ(finding.fault, PieceFault::Missing);
  EXPECT_EQ(finding.piece, 4);

  // A piece that only holds a trailer.
  test::WriteFile(path(4), trailer);
  EXPECT_EQ(ShareOfPiece(path(4), true), -1);
  EXPECT_EQ(ReadPieceTrailer(path(4)), "");
}

// A piece with no byte before its trailer cannot give its share: the check names it as the
// merge does, by its size, whatever its trailer.
TEST(SetCheckTest, APieceOfOnlyATrailerMisfitsItsSizeAsInTheMerge) {
  TempDir dir;
  test::WriteFile(dir.File("t.bin"), test::RandomBytes(3000, 4));
  ASSERT_EQ(test::RunSplit(dir.File("t.bin"), {}, 3, dir.path()).back(), test::kIdle);
  const auto path = [&](int32_t n) { return dir.File("t" + std::to_string(n) + ".vrk"); };
  const std::string trailer = ReadPieceTrailer(path(1));
  std::vector<int64_t> shares;
  std::vector<int64_t> sizes;
  ASSERT_EQ(CheckPieceSet(3, path, trailer, false, shares, &sizes).fault, PieceFault::None);
  EXPECT_EQ(shares, (std::vector<int64_t>{1000, 1000, 1000}));
  EXPECT_EQ(sizes, (std::vector<int64_t>{1344, 1344, 1344}));

  test::WriteFile(path(2), trailer);
  const PieceFinding finding = CheckPieceSet(3, path, trailer, false, shares, &sizes);
  EXPECT_EQ(finding.fault, PieceFault::SizeMisfit);
  EXPECT_EQ(finding.piece, 2);
}

}  // namespace
}  // namespace qarvo
