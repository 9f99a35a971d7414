#include "tools/compare.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "support/capture_log.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

using test::TempDir;
using test::WriteFile;

using CaptureLog = test::CaptureLog;

std::vector<std::string> Compare(CompareMode mode, const std::string& a, const std::string& b) {
  auto log = std::make_shared<CaptureLog>();
  auto worker = TCmpFile::Create(mode, a, b, JobHost{log, nullptr});
  EXPECT_TRUE(worker->WaitFinished(std::chrono::seconds(60)));
  return log->Lines();
}

std::vector<std::string> CrcLines(const std::string& crc1, const std::string& crc2,
                                  const char* verdict) {
  return {"正在生成文件1 CRC32值....", "文件1 CRC32值:" + crc1, "正在生成文件2 CRC32值...",
          "文件2 CRC32值:" + crc2, verdict};
}

std::vector<std::string> Md5Lines(const std::string& md5a, const std::string& md5b,
                                  const char* verdict) {
  return {"正在生成文件1 MD5值...", "文件1 MD5值:" + md5a, "正在生成文件2 MD5值...",
          "文件2 MD5值:" + md5b, verdict};
}

TEST(Compare, DifferentFilesInBothModes) {
  TempDir dir;
  WriteFile(dir.File("a"), "123456789");
  WriteFile(dir.File("b"), "abc");
  EXPECT_EQ(Compare(CompareMode::Crc32, dir.File("a"), dir.File("b")),
            CrcLines("CBF43926", "352441C2", "两文件不相同"));
  EXPECT_EQ(Compare(CompareMode::Md5, dir.File("a"), dir.File("b")),
            Md5Lines("25f9e794323b453885f5181f1b624d0b", "900150983cd24fb0d6963f7d28e17f72",
                     "两文件不相同"));
}

TEST(Compare, SameFileAndEqualCopiesAreTheSameInBothModes) {
  TempDir dir;
  const std::string content = test::RandomBytes(5 * 61440 + 123, 11);
  WriteFile(dir.File("a"), content);
  WriteFile(dir.File("copy"), content);
  for (const CompareMode mode : {CompareMode::Crc32, CompareMode::Md5}) {
    for (const char* other : {"a", "copy"}) {
      const auto lines = Compare(mode, dir.File("a"), dir.File(other));
      ASSERT_EQ(lines.size(), 5u);
      EXPECT_EQ(lines[4], "两文件相同");
      // Both fingerprints are printed after their colon, and are the same text.
      const std::string first = lines[1].substr(lines[1].find(':') + 1);
      EXPECT_EQ(lines[3].substr(lines[3].find(':') + 1), first);
      EXPECT_FALSE(first.empty());
    }
  }
}

TEST(Compare, EmptyFilesGiveEmptyCrcTextAndAreTheSame) {
  TempDir dir;
  WriteFile(dir.File("e1"), "");
  WriteFile(dir.File("e2"), "");
  EXPECT_EQ(Compare(CompareMode::Crc32, dir.File("e1"), dir.File("e2")),
            CrcLines("", "", "两文件相同"));
  EXPECT_EQ(Compare(CompareMode::Md5, dir.File("e1"), dir.File("e2")),
            Md5Lines("d41d8cd98f00b204e9800998ecf8427e", "d41d8cd98f00b204e9800998ecf8427e",
                     "两文件相同"));
}

TEST(Compare, UnreadableFileCountsAsEmptyAndGetsItsReason) {
  TempDir dir;
  WriteFile(dir.File("empty"), "");
  WriteFile(dir.File("full"), "x");
  const std::string gone_line = std::string(kCompareJob) + "无法读取文件 " + dir.File("gone") +
                                " (No such file or directory)";
  auto lines = CrcLines("", "", "两文件相同");
  lines.push_back(gone_line);
  EXPECT_EQ(Compare(CompareMode::Crc32, dir.File("gone"), dir.File("empty")), lines);
  lines = Compare(CompareMode::Crc32, dir.File("full"), dir.File("gone"));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[3], "文件2 CRC32值:");
  EXPECT_EQ(lines[4], "两文件不相同");
  EXPECT_EQ(lines[5], gone_line);
}

TEST(Compare, SameSizeDifferentLastByteDiffers) {
  TempDir dir;
  std::string content = test::RandomBytes(200000, 5);
  WriteFile(dir.File("a"), content);
  content.back() = static_cast<char>(content.back() ^ 1);
  WriteFile(dir.File("b"), content);
  for (const CompareMode mode : {CompareMode::Crc32, CompareMode::Md5}) {
    const auto lines = Compare(mode, dir.File("a"), dir.File("b"));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4], "两文件不相同");
  }
}

TEST(Compare, AnUnreadableFileKeepsTheLinesAndLeavesItsReason) {
  TempDir dir;
  WriteFile(dir.File("empty"), "");
  auto log = std::make_shared<CaptureLog>();
  // The file is gone by the time the job reads it; the digests count it as empty.
  auto worker = TCmpFile::Create(CompareMode::Crc32, dir.File("empty"), dir.File("gone"),
                                 JobHost{log, nullptr});
  ASSERT_TRUE(worker->WaitFinished(std::chrono::seconds(60)));
  ASSERT_EQ(log->Lines().size(), 6u);
  EXPECT_NE(worker->FailureReason().find(dir.File("gone")), std::string::npos)
      << worker->FailureReason();

  auto readable = TCmpFile::Create(CompareMode::Md5, dir.File("empty"), dir.File("empty"),
                                   JobHost{std::make_shared<CaptureLog>(), nullptr});
  ASSERT_TRUE(readable->WaitFinished(std::chrono::seconds(60)));
  EXPECT_EQ(readable->FailureReason(), "");
}

}  // namespace
}  // namespace qarvo
