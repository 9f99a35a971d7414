#include "split/piece_sums.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/sha.h"
#include "platform/file.h"
#include "split/header.h"
#include "split/job_runs.h"
#include "split/piece_plan.h"
#include "split/set_check.h"
#include "support/capture_log.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

using test::TempDir;
using Lines = std::vector<std::string>;

bool Contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::string> VerifyLines(const std::string& piece, bool* joins = nullptr) {
  test::CaptureLog log;
  const bool result = VerifySet(piece, "", log, nullptr);
  if (joins != nullptr) {
    *joins = result;
  }
  return log.Lines();
}

void FlipByte(const std::string& path, int64_t at) {
  std::string bytes = test::ReadFile(path);
  bytes[static_cast<size_t>(at)] = static_cast<char>(bytes[static_cast<size_t>(at)] ^ 0x40);
  test::WriteFile(path, bytes);
}

// Splits `content` as data.bin in `dir` with the checksum file.
void SplitWithSums(const TempDir& dir, const std::string& content, int32_t count, bool compressed,
                   ChecksumKind kind = ChecksumKind::None) {
  test::WriteFile(dir.File("data.bin"), content);
  TCWorkInfos options;
  options.WriteSums = 1;
  options.Compress = compressed ? 1 : 0;
  options.CheckKind = kind;
  const Lines lines = test::RunSplit(dir.File("data.bin"), options, count, dir.path());
  ASSERT_TRUE(Contains(lines, "分割成功!")) << testing::PrintToString(lines);
  ASSERT_TRUE(Contains(lines, SplitSumsWrittenLine(dir.File("data.sha256"))));
}

TEST(PieceSumsTest, ChecksumFileListsEveryWholePieceAndSha256sumAgrees) {
  // With a checksum in the set, the trailers are written only once the whole source is read:
  // the checksum file must still cover them.
  for (const bool compressed : {false, true}) {
    for (const ChecksumKind kind : {ChecksumKind::None, ChecksumKind::Md5}) {
      SCOPED_TRACE(std::string(compressed ? "compressed" : "plain") +
                   (kind == ChecksumKind::Md5 ? " md5" : " no checksum"));
      TempDir dir;
      // Several blocks per piece, and compressed pieces made on several threads at once.
      SplitWithSums(dir, test::RandomBytes(400000, 5), 4, compressed, kind);
      std::string expected;
      for (int n = 1; n <= 4; ++n) {
        const std::string name = "data" + std::to_string(n) + ".vrk";
        expected += ShaHexOf(ShaKind::Sha256, test::ReadFile(dir.File(name))) + "  " + name + "\n";
      }
      EXPECT_EQ(test::ReadFile(dir.File("data.sha256")), expected) << compressed;
      const std::string check = "cd '" + dir.path() + "' && sha256sum --quiet -c data.sha256";
      EXPECT_EQ(std::system(check.c_str()), 0) << compressed;
      bool joins = false;
      const Lines lines = VerifyLines(dir.File("data3.vrk"), &joins);
      EXPECT_TRUE(joins);
      for (int n = 1; n <= 4; ++n) {
        EXPECT_TRUE(
            Contains(lines, VerifyPieceGoodLine(n, dir.File("data" + std::to_string(n) + ".vrk"))));
      }
      // A merge that deletes the pieces takes their checksum file with them.
      TempDir out;
      TMWorkInfos merge;
      merge.DeletePieces = 1;
      EXPECT_TRUE(
          Contains(test::RunMerge(dir.File("data1.vrk"), merge, out.path()), kMergeSucceeded));
      EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"data.bin"});
      EXPECT_TRUE(test::ReadFile(out.File("data.bin")) == test::ReadFile(dir.File("data.bin")));
    }
  }
}

TEST(PieceSumsTest, FlippedByteInPieceTwoIsNamedByVerifyAndMerge) {
  for (const bool compressed : {false, true}) {
    TempDir dir;
    const std::string content = test::RandomBytes(90000, 9);
    SplitWithSums(dir, content, 3, compressed);
    const std::string piece2 = dir.File("data2.vrk");
    FlipByte(piece2, 100);  // in the data, before the trailer
    bool joins = true;
    const Lines verify = VerifyLines(dir.File("data1.vrk"), &joins);
    EXPECT_FALSE(joins);
    if (!compressed) {
      // Every piece gets its line, the damaged one named, then the result.
      EXPECT_EQ(verify, (Lines{kMergeAnalysing, VerifyPieceGoodLine(1, dir.File("data1.vrk")),
                               PieceSumMismatchLine(2, piece2),
                               VerifyPieceGoodLine(3, dir.File("data3.vrk")), kVerifyCannotJoin}));
    } else {
      // The broken stream stops the check at that piece; the checksum file names it.
      EXPECT_TRUE(Contains(verify, kVerifyCannotJoin));
    }

    TempDir out;
    TMWorkInfos options;
    options.DeletePieces = 1;
    const Lines merge = test::RunMerge(dir.File("data1.vrk"), options, out.path());
    EXPECT_TRUE(Contains(merge, "文件合并:" + PieceSumMismatchLine(2, piece2)))
        << testing::PrintToString(merge);
    EXPECT_TRUE(Contains(merge, kMergeFailed));
    EXPECT_FALSE(Contains(merge, kMergeSucceeded));
    // Nothing written, nothing deleted.
    EXPECT_TRUE(test::NamesIn(out.path()).empty());
    for (int n = 1; n <= 3; ++n) {
      EXPECT_TRUE(FileExists(dir.File("data" + std::to_string(n) + ".vrk")));
    }
  }
}

TEST(PieceSumsTest, MissingLineAndGarbageAreReportedAndOtherwiseIgnored) {
  TempDir dir;
  const std::string content = test::RandomBytes(30000, 3);
  SplitWithSums(dir, content, 3, false);
  const std::string sums = test::ReadFile(dir.File("data.sha256"));
  // Piece 2's line replaced by garbage, and one more line of garbage at the end.
  const size_t first_end = sums.find('\n') + 1;
  const size_t second_end = sums.find('\n', first_end) + 1;
  test::WriteFile(dir.File("data.sha256"), sums.substr(0, first_end) + "not a checksum line\n" +
                                               sums.substr(second_end) + "zzzz  data9.vrk\n");
  const std::string path = dir.File("data.sha256");
  bool joins = false;
  const Lines verify = VerifyLines(dir.File("data1.vrk"), &joins);
  EXPECT_TRUE(joins);
  EXPECT_EQ(verify,
            (Lines{kMergeAnalysing, "文件校验:校验文件" + path + "第2,4行无法识别,已忽略!",
                   "文件校验:校验文件" + path + "中没有第2个分割文件的校验值,不检查它们的内容!",
                   VerifyPieceGoodLine(1, dir.File("data1.vrk")),
                   VerifyPieceUncheckedLine(2, dir.File("data2.vrk"), false),
                   VerifyPieceGoodLine(3, dir.File("data3.vrk")), kVerifyJoins}));

  TempDir out;
  const Lines merge = test::RunMerge(dir.File("data2.vrk"), {}, out.path());
  EXPECT_TRUE(Contains(merge, kMergeSucceeded)) << testing::PrintToString(merge);
  EXPECT_TRUE(Contains(merge, "文件合并:校验文件" + path + "第2,4行无法识别,已忽略!"));
  EXPECT_EQ(test::ReadFile(out.File("data.bin")), content);
}

TEST(PieceSumsTest, WithoutChecksumFileNoPieceIsCalledWhole) {
  TempDir dir;
  test::WriteFile(dir.File("plain.txt"), "0123456789");
  test::RunSplit(dir.File("plain.txt"), {}, 2, dir.path());
  const Lines lines = VerifyLines(dir.File("plain1.vrk"));
  EXPECT_EQ(lines, (Lines{kMergeAnalysing,
                          "第1个文件名称、分割信息和大小相符,内容未检查:" + dir.File("plain1.vrk"),
                          "第2个文件名称、分割信息和大小相符,内容未检查:" + dir.File("plain2.vrk"),
                          kVerifyJoins}));
}

TEST(PieceSumsTest, SourceNamedLikeTheChecksumFileIsKept) {
  TempDir dir;
  // The stem of "data.sha256" is "data": its checksum file would be the source itself.
  test::WriteFile(dir.File("data.sha256"), "the source");
  TCWorkInfos options;
  options.WriteSums = 1;
  // Unasked, the existing name alone stops it; asked to overwrite, it still keeps its source.
  const Lines refused = test::RunSplit(dir.File("data.sha256"), options, 2, dir.path());
  EXPECT_FALSE(Contains(refused, kSplitSucceeded));
  options.Overwrite = 1;
  const Lines lines = test::RunSplit(dir.File("data.sha256"), options, 2, dir.path());
  EXPECT_TRUE(Contains(lines, "分割失败!"));
  EXPECT_EQ(test::ReadFile(dir.File("data.sha256")), "the source");
}

TEST(SplitBySizeTest, PiecesStayWithinTheSizeAndMergeAsBefore) {
  for (const bool compressed : {false, true}) {
    for (const int64_t limit : {int64_t{4096}, int64_t{20000}}) {
      TempDir dir;
      // Random bytes do not compress: the compressed pieces meet their worst case.
      const std::string content = test::RandomBytes(100003, 17);
      test::WriteFile(dir.File("big.bin"), content);
      TCWorkInfos options;
      options.MaxPieceFile = limit;
      options.Compress = compressed ? 1 : 0;
      options.Level = 3;
      const Lines lines = test::RunSplit(dir.File("big.bin"), options, 3, dir.path());
      ASSERT_TRUE(Contains(lines, "分割成功!")) << testing::PrintToString(lines);
      const int32_t count = PlanPiecesBySize(100003, limit, compressed).count;
      ASSERT_GT(count, 3);
      int64_t largest = 0;
      for (int32_t n = 1; n <= count; ++n) {
        largest = std::max<int64_t>(
            largest, static_cast<int64_t>(
                         test::ReadFile(dir.File("big" + std::to_string(n) + ".vrk")).size()));
      }
      EXPECT_LE(largest, limit) << compressed;
      EXPECT_FALSE(FileExists(dir.File("big" + std::to_string(count + 1) + ".vrk")));
      TempDir out;
      const Lines merge = test::RunMerge(dir.File("big1.vrk"), {}, out.path());
      EXPECT_TRUE(Contains(merge, kMergeSucceeded));
      EXPECT_TRUE(test::ReadFile(out.File("big.bin")) == content);
    }
  }
}

TEST(SplitBySizeTest, SizeTooSmallIsRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  test::WriteFile(dir.File("s.bin"), "abcdef");
  TCWorkInfos options;
  options.MaxPieceFile = static_cast<int64_t>(kHeaderTrailerSize);
  const Lines lines = test::RunSplit(dir.File("s.bin"), options, 3, dir.path());
  EXPECT_TRUE(Contains(lines, kSplitSizeTooSmall));
  EXPECT_TRUE(Contains(lines, "分割失败!"));
  EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"s.bin"});
}

}  // namespace
}  // namespace qarvo
