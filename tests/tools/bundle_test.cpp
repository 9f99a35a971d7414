#include "tools/bundle.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/capture_log.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

using CaptureLog = test::CaptureLog;

std::vector<std::string> Bundle(const std::string& head, const std::string& tail) {
  auto log = std::make_shared<CaptureLog>();
  auto worker = TAddFile::Create(head, tail, JobHost{log, nullptr});
  EXPECT_TRUE(worker->WaitFinished(std::chrono::seconds(60)));
  return log->Lines();
}

std::vector<std::string> SuccessLines(int64_t head_size, int64_t tail_size) {
  return {"头文件大小:" + std::to_string(head_size) +
              "字节,尾文件大小:" + std::to_string(tail_size) + "字节",
          "正在添加...", "添加完毕!"};
}

TEST(Bundle, AppendsTailToHeadAndLogsBothSizes) {
  TempDir dir;
  WriteFile(dir.File("head"), "0123456789");
  WriteFile(dir.File("tail"), "abcde");
  EXPECT_EQ(Bundle(dir.File("head"), dir.File("tail")), SuccessLines(10, 5));
  EXPECT_EQ(ReadFile(dir.File("head")), "0123456789abcde");
  EXPECT_EQ(ReadFile(dir.File("tail")), "abcde");
}

TEST(Bundle, EmptyTailOrEmptyHead) {
  TempDir dir;
  WriteFile(dir.File("head"), "head bytes");
  WriteFile(dir.File("empty"), "");
  EXPECT_EQ(Bundle(dir.File("head"), dir.File("empty")), SuccessLines(10, 0));
  EXPECT_EQ(ReadFile(dir.File("head")), "head bytes");

  const std::string tail = test::RandomBytes(3 * 61440 + 17, 7);
  WriteFile(dir.File("tail"), tail);
  EXPECT_EQ(Bundle(dir.File("empty"), dir.File("tail")), SuccessLines(0, 3 * 61440 + 17));
  EXPECT_EQ(ReadFile(dir.File("empty")), tail);
}

TEST(Bundle, SameFileAsHeadAndTailIsRefusedAndLeftAlone) {
  TempDir dir;
  WriteFile(dir.File("one"), "only content");
  const std::vector<std::string> refused{"文件很可能正在被另外一个程序调用!"};
  EXPECT_EQ(Bundle(dir.File("one"), dir.File("one")), refused);
  EXPECT_EQ(ReadFile(dir.File("one")), "only content");

  // Another name for the same file is the same file.
  std::filesystem::create_symlink(dir.File("one"), dir.File("link"));
  std::filesystem::create_hard_link(dir.File("one"), dir.File("hard"));
  EXPECT_EQ(Bundle(dir.File("link"), dir.File("one")), refused);
  EXPECT_EQ(Bundle(dir.File("one"), dir.File("hard")), refused);
  EXPECT_EQ(ReadFile(dir.File("one")), "only content");
}

TEST(Bundle, FileHeldOpenByAnotherJobIsRefused) {
  TempDir dir;
  WriteFile(dir.File("head"), "head");
  WriteFile(dir.File("tail"), "tail");
  const std::vector<std::string> refused{"文件很可能正在被另外一个程序调用!"};
  {
    File holder(dir.File("tail"), OpenMode::Read, Share::Exclusive);
    EXPECT_EQ(Bundle(dir.File("head"), dir.File("tail")), refused);
  }
  {
    File holder(dir.File("head"), OpenMode::Read, Share::Exclusive);
    EXPECT_EQ(Bundle(dir.File("head"), dir.File("tail")), refused);
  }
  EXPECT_EQ(ReadFile(dir.File("head")), "head");
  // Once the other opener is gone the same job goes through.
  EXPECT_EQ(Bundle(dir.File("head"), dir.File("tail")), SuccessLines(4, 4));
  EXPECT_EQ(ReadFile(dir.File("head")), "headtail");
}

TEST(Bundle, MissingOrReadOnlyHeadGivesTheOneFailureLine) {
  TempDir dir;
  WriteFile(dir.File("tail"), "tail");
  const std::vector<std::string> refused{"文件很可能正在被另外一个程序调用!"};
  EXPECT_EQ(Bundle(dir.File("missing"), dir.File("tail")), refused);
  EXPECT_FALSE(FileExists(dir.File("missing")));
  EXPECT_EQ(Bundle(dir.File("tail"), dir.File("missing")), refused);
  EXPECT_EQ(Bundle(dir.path(), dir.File("tail")), refused);
  EXPECT_EQ(ReadFile(dir.File("tail")), "tail");

  if (::geteuid() != 0) {  // root writes through any mode bits
    WriteFile(dir.File("ro"), "ro");
    std::filesystem::permissions(dir.File("ro"), std::filesystem::perms::owner_read);
    EXPECT_EQ(Bundle(dir.File("ro"), dir.File("tail")), refused);
    EXPECT_EQ(ReadFile(dir.File("ro")), "ro");
  }
}

TEST(Bundle, HeadBeyondFourGibibytesKeepsFullSizesAndPositions) {
  TempDir dir;
  const int64_t head_size = (int64_t{1} << 32) + 3;
  {
    File head(dir.File("big"), OpenMode::Create, Share::Shared);
    head.Truncate(head_size);  // sparse: takes no room on disk
  }
  WriteFile(dir.File("tail"), "TAIL!");
  EXPECT_EQ(Bundle(dir.File("big"), dir.File("tail")), SuccessLines(head_size, 5));
  File big(dir.File("big"), OpenMode::Read, Share::Shared);
  ASSERT_EQ(big.Size(), head_size + 5);
  big.Seek(head_size - 1);
  char end[6] = {};
  big.ReadExact(end, 6);
  EXPECT_EQ(std::string(end, 6), std::string("\0TAIL!", 6));
}

TEST(Bundle, WriteFailureStopsWithTheFailureLine) {
  if (!std::filesystem::exists("/dev/full")) {
    GTEST_SKIP() << "no /dev/full";
  }
  TempDir dir;
  WriteFile(dir.File("tail"), test::RandomBytes(100000, 3));
  const std::vector<std::string> lines = Bundle("/dev/full", dir.File("tail"));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "文件很可能正在被另外一个程序调用!");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "添加完毕!"), 0);
}

TEST(Bundle, AFailedAppendCutsTheHeadBackToItsOldSize) {
  TempDir dir;
  const std::string head = test::RandomBytes(50000, 4);
  WriteFile(dir.File("head"), head);
  WriteFile(dir.File("tail"), test::RandomBytes(200000, 5));
  std::vector<std::string> lines;
  {
    // The disk fills up after part of the tail has been appended.
    test::FileSizeLimit limit(150000);
    ASSERT_TRUE(limit.ok());
    lines = Bundle(dir.File("head"), dir.File("tail"));
  }
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "文件很可能正在被另外一个程序调用!");
  EXPECT_TRUE(ReadFile(dir.File("head")) == head);
}

}  // namespace
}  // namespace qarvo
