#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/run_qarvo.h"
#include "jobs/recorder.h"
#include "split/cut_file.h"
#include "split/merger_file.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"

namespace {

using qarvo::test::CliResult;
using qarvo::test::Contains;
using qarvo::test::ReadFile;
using qarvo::test::RunQarvo;
using qarvo::test::TempDir;
using qarvo::test::WriteFile;

// A job that fails on a file says on stderr which file and why, as coreutils do; stdout keeps
// exactly the log lines.
TEST(FailureCli, AMergeThatRunsOutOfRoomNamesTheFileAndTheReason) {
  TempDir dir;
  WriteFile(dir.File("big.bin"), qarvo::test::RandomBytes(400000, 1));
  ASSERT_EQ(RunQarvo({"split", dir.File("big.bin"), "--count", "2", "--out", dir.path()}).status,
            0);
  std::filesystem::remove(dir.File("big.bin"));
  CliResult run;
  {
    qarvo::test::FileSizeLimit limit(300000);
    ASSERT_TRUE(limit.ok());
    run = RunQarvo({"merge", dir.File("big1.vrk"), "--delete-pieces"});
  }
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "正在分析文件...\n正在合并第1个文件,剩余1个文件...\n正在合并第2个文件,剩余0个文件...\n"
            "文件合并:文件很可能正在被其它程序调用!\n"
            "文件合并:合并失败!如有疑问请与作者联系。\n");
  EXPECT_TRUE(Contains(run.err, "qarvo merge: ")) << run.err;
  EXPECT_TRUE(Contains(run.err, dir.File("big.bin"))) << run.err;
  EXPECT_TRUE(Contains(run.err, std::strerror(EFBIG))) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("big.bin")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("big1.vrk")));
}

TEST(FailureCli, ASplitThatCannotNameAPieceNamesItAndTheReason) {
  TempDir dir;
  WriteFile(dir.File("x.bin"), "0123456789");
  std::filesystem::create_directory(dir.File("x2.vrk"));
  // A folder is not replaced, not even with --overwrite.
  const CliResult run = RunQarvo({"split", dir.File("x.bin"), "--count", "2", "--overwrite"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "正在搜集文件信息...\n正在分割第1个文件,剩余1个文件...\n"
            "正在分割第2个文件,剩余0个文件...\n文件分割:文件很可能正在被其它程序调用!\n"
            "分割失败!\n");
  EXPECT_TRUE(Contains(run.err, dir.File("x2.vrk"))) << run.err;
  EXPECT_TRUE(Contains(run.err, std::strerror(EISDIR))) << run.err;
}

TEST(FailureCli, SetsThatAreNotWholeAndNamesThatAreNotUtf8FailTheCommand) {
  TempDir dir;
  WriteFile(dir.File("caf\xE9"), "0123456789");
  CliResult run = RunQarvo({"split", dir.File("caf\xE9")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            std::string("正在搜集文件信息...\n") + qarvo::kSplitNameNotUtf8 + "\n分割失败!\n");

  WriteFile(dir.File("q"), qarvo::test::RandomBytes(1100, 2));
  ASSERT_EQ(RunQarvo({"split", dir.File("q"), "--count", "11"}).status, 0);
  WriteFile(dir.File("q1"), qarvo::test::RandomBytes(300, 3));
  ASSERT_EQ(RunQarvo({"split", dir.File("q1"), "--count", "3", "--overwrite"}).status, 0);
  std::filesystem::remove(dir.File("q"));
  run = RunQarvo({"merge", dir.File("q1.vrk")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "正在分析文件...\n" + qarvo::MergeForeignPieceLine(dir.File("q11.vrk")) + "\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("q")));
}

TEST(FailureCli, ABundleThatFailsPartWayLeavesTheHeadAndSaysWhy) {
  TempDir dir;
  const std::string head = qarvo::test::RandomBytes(50000, 4);
  WriteFile(dir.File("head"), head);
  WriteFile(dir.File("tail"), qarvo::test::RandomBytes(200000, 5));
  CliResult run;
  {
    qarvo::test::FileSizeLimit limit(150000);
    ASSERT_TRUE(limit.ok());
    run = RunQarvo({"bundle", dir.File("head"), dir.File("tail")});
  }
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, "qarvo bundle: ")) << run.err;
  EXPECT_TRUE(Contains(run.err, dir.File("head"))) << run.err;
  EXPECT_TRUE(Contains(run.err, std::strerror(EFBIG))) << run.err;
  EXPECT_TRUE(ReadFile(dir.File("head")) == head);
}

// A second merge of the same set, in another process, runs to its end while the first one
// verifies: each checks and publishes its own file, so neither sees the other's half-written one.
TEST(FailureCli, TwoMergesOfOneSetEachVerifyTheirOwnOutput) {
  TempDir dir;
  TempDir out;
  const std::string content = qarvo::test::RandomBytes(3 * 1024 * 1024, 6);
  WriteFile(dir.File("same.bin"), content);
  ASSERT_EQ(RunQarvo({"split", dir.File("same.bin"), "--count", "3", "--check", "md5"}).status, 0);
  std::filesystem::remove(dir.File("same.bin"));

  auto recorder = std::make_shared<qarvo::test::Recorder>();
  CliResult second;
  recorder->OnLine([&](const std::string& line) {
    if (line == qarvo::kMergeVerifying && second.status == -1) {
      second = RunQarvo({"merge", dir.File("same2.vrk"), "--out", out.path()});
    }
  });
  qarvo::TMWorkInfos options;
  options.DeletePieces = 1;
  options.Overwrite = 1;  // the second merge's file appears while this one verifies
  options.Log = recorder;
  auto first = qarvo::TMergerFile::Create(dir.File("same1.vrk"), options, out.path(), recorder);
  ASSERT_TRUE(first->WaitFinished(std::chrono::seconds(60)));
  EXPECT_EQ(second.status, 0) << second.out << second.err;
  EXPECT_TRUE(Contains(second.out, qarvo::kMergeSameAsSource));
  EXPECT_TRUE(recorder->Has(qarvo::kMergeSameAsSource));
  EXPECT_TRUE(recorder->Has(qarvo::kMergeSucceeded));
  EXPECT_TRUE(ReadFile(out.File("same.bin")) == content);
  EXPECT_EQ(qarvo::test::NamesIn(out.path()), std::vector<std::string>{"same.bin"});
  // The first merge deleted the pieces only after its own good verification.
  EXPECT_FALSE(std::filesystem::exists(dir.File("same1.vrk")));
}

TEST(FailureCli, AFailingStandardOutputIsAFailure) {
  if (!std::filesystem::exists("/dev/full")) {
    GTEST_SKIP() << "no /dev/full";
  }
  TempDir dir;
  WriteFile(dir.File("a"), "same");
  // The comparison itself succeeds; only its lines cannot be written.
  CliResult run = RunQarvo({"compare", dir.File("a"), dir.File("a")}, "/dev/full");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, std::strerror(ENOSPC))) << run.err;
  run = RunQarvo({"--help"}, "/dev/full");
  EXPECT_NE(run.status, 0);
  run = RunQarvo({"split", "--help"}, "/dev/full");
  EXPECT_NE(run.status, 0);
  // The same to a file that takes them.
  run = RunQarvo({"compare", dir.File("a"), dir.File("a")}, dir.File("out.txt"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
}

}  // namespace
