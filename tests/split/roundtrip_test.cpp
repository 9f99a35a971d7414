#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/file.h"
#include "split/cut_file.h"
#include "split/job_runs.h"
#include "split/merger_file.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

using test::TempDir;
using Events = std::vector<std::string>;

// Random sizes, counts and options: every split that succeeds must join back to its source,
// from whichever piece the merge starts.
TEST(RoundTripTest, EveryJoinGivesTheSourceBack) {
  std::mt19937 random(20261207);
  const std::vector<std::string> names = {"file.bin", "README", "a.b.c", "数据 备份.tar.gz",
                                          "x.vrk"};
  const std::vector<std::string> passwords = {"", "", "abc12", "PassWord2026"};
  for (int round = 0; round < 300; ++round) {
    TempDir pieces;
    TempDir out;
    size_t size = random() % 6000;
    if (round % 10 == 0) {
      size = random() % 300000;
    }
    if (round % 50 == 1) {
      size = 0;
    }
    int32_t count = static_cast<int32_t>(1 + random() % 12);
    if (round % 25 == 2) {
      // More pieces asked for than there are bytes: one byte per piece.
      size = 1 + random() % 40;
      count = static_cast<int32_t>(size + 1 + random() % 5);
    }
    TCWorkInfos split;
    split.Compress = static_cast<uint8_t>(random() % 3 == 0);
    split.Level = static_cast<uint8_t>(1 + random() % 3);
    split.CheckKind = ChecksumKindOfCode(static_cast<int>(random() % 3));
    split.Password = passwords[random() % passwords.size()];
    split.DeleteSource = static_cast<uint8_t>(random() % 2);
    const std::string name = names[random() % names.size()];
    SCOPED_TRACE("round " + std::to_string(round) + ": " + std::to_string(size) + " bytes in " +
                 std::to_string(count) + ", compress " + std::to_string(split.Compress) +
                 " level " + std::to_string(split.Level) + ", check " +
                 std::to_string(ChecksumFormatCode(split.CheckKind)) + ", password '" +
                 split.Password + "', " + name);

    const std::string content = test::RandomBytes(size, static_cast<uint32_t>(round));
    const std::string source = pieces.File(name);
    test::WriteFile(source, content);
    const Events split_events = test::RunSplit(source, split, count, pieces.path());
    ASSERT_GE(split_events.size(), 2u);
    if (size == 0) {
      EXPECT_EQ(split_events[split_events.size() - 2], "分割失败!");
      continue;
    }
    ASSERT_EQ(split_events[split_events.size() - 2], "分割成功!");
    EXPECT_EQ(FileExists(source), split.DeleteSource == 0);
    const int32_t made = count < static_cast<int32_t>(size) ? count : static_cast<int32_t>(size);
    const std::string stem =
        name.substr(0, name.rfind('.') == std::string::npos ? name.size() : name.rfind('.'));
    const int32_t chosen = static_cast<int32_t>(1 + random() % made);

    TMWorkInfos merge;
    merge.Password = split.Password;
    merge.DeletePieces = static_cast<uint8_t>(random() % 2);
    merge.SkipVerify = static_cast<uint8_t>(random() % 4 == 0);
    const Events merge_events =
        test::RunMerge(pieces.File(stem + std::to_string(chosen) + ".vrk"), merge, out.path());
    ASSERT_GE(merge_events.size(), 2u);
    ASSERT_EQ(merge_events[merge_events.size() - 2], "合并成功!");
    const bool verified = split.CheckKind != ChecksumKind::None && merge.SkipVerify == 0;
    EXPECT_EQ(std::count(merge_events.begin(), merge_events.end(), "校验结果:与原文件相同!"),
              verified ? 1 : 0);
    EXPECT_TRUE(test::ReadFile(out.File(name)) == content);
    EXPECT_EQ(FileExists(pieces.File(stem + "1.vrk")), merge.DeletePieces == 0);
    EXPECT_FALSE(FileExists(pieces.File(stem + std::to_string(made + 1) + ".vrk")));
  }
}

// Sets made by an independent implementation of the format.
TEST(RoundTripTest, InteroperabilityVectorsMergeToTheirSources) {
  struct Vector {
    std::string folder;
    std::string source;
    std::string password;
    int pieces;
  };
  const std::vector<Vector> vectors = {
      {"split-crc32-password", "样本.txt", "abc12", 3},
      {"split-md5-compressed", "data.bin", "", 4},
  };
  for (const Vector& vector : vectors) {
    SCOPED_TRACE(vector.folder);
    const std::string from = test::VectorsDir() + "/" + vector.folder;
    TempDir dir;
    TempDir out;
    const std::string stem = vector.source.substr(0, vector.source.rfind('.'));
    for (int n = 1; n <= vector.pieces; ++n) {
      const std::string piece = stem + std::to_string(n) + ".vrk";
      std::filesystem::copy_file(from + "/" + piece, dir.File(piece));
    }
    TMWorkInfos merge;
    merge.Password = vector.password;
    const Events events =
        test::RunMerge(dir.File(stem + std::to_string(vector.pieces) + ".vrk"), merge, out.path());
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[events.size() - 3], "校验结果:与原文件相同!");
    EXPECT_EQ(events[events.size() - 2], "合并成功!");
    EXPECT_TRUE(test::ReadFile(out.File(vector.source)) ==
                test::ReadFile(from + "/" + vector.source));

    // And our own split of the same source gives byte-identical uncompressed pieces.
    if (vector.folder == "split-crc32-password") {
      TCWorkInfos split;
      split.CheckKind = ChecksumKind::Crc32;
      split.Password = vector.password;
      TempDir again;
      std::filesystem::copy_file(from + "/" + vector.source, again.File(vector.source));
      test::RunSplit(again.File(vector.source), split, vector.pieces, again.path());
      for (int n = 1; n <= vector.pieces; ++n) {
        const std::string piece = stem + std::to_string(n) + ".vrk";
        EXPECT_TRUE(test::ReadFile(again.File(piece)) == test::ReadFile(from + "/" + piece))
            << piece;
      }
    }
  }
}

}  // namespace
}  // namespace qarvo
