#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "jobs/recorder.h"
#include "support/test_support.h"
#include "tools/compare.h"
#include "tools/compare_digest.h"

namespace qarvo {
namespace {

using test::TempDir;
using test::WriteFile;

using test::JobRun;

JobRun CompareFiles(CompareMode mode, const std::string& a, const std::string& b) {
  auto recorder = std::make_shared<test::Recorder>();
  return test::RunToEnd(TCmpFile::Create(mode, a, b, JobHost{recorder, nullptr}), *recorder);
}

JobRun CompareWith(const std::string& file, const std::string& expected) {
  auto recorder = std::make_shared<test::Recorder>();
  return test::RunToEnd(TCmpExpected::Create(file, expected, JobHost{recorder, nullptr}),
                        *recorder);
}

std::string SumOf(const std::string& path, SumKind kind) {
  File file = OpenToCompare(path);
  return SumHexOf(file, kind, nullptr);
}

// The standard's test messages, and one of a million bytes that spans several read blocks.
TEST(CompareDigest, Sha256KnownAnswers) {
  TempDir dir;
  const std::vector<std::pair<std::string, std::string>> vectors{
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlm"
       "nopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& [message, digest] : vectors) {
    WriteFile(dir.File("m"), message);
    EXPECT_EQ(SumOf(dir.File("m"), SumKind::Sha256), digest) << message.size();
  }
}

TEST(CompareDigest, EveryKindInTheFormChecksumFilesCarry) {
  TempDir dir;
  WriteFile(dir.File("abc"), "abc");
  EXPECT_EQ(SumOf(dir.File("abc"), SumKind::Crc32), "352441c2");
  EXPECT_EQ(SumOf(dir.File("abc"), SumKind::Md5), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(SumOf(dir.File("abc"), SumKind::Sha1), "a9993e364706816aba3e25717850c26c9cd0d89d");
  // A CRC-32 keeps all eight digits (the program's own CRC text of an empty file is empty).
  WriteFile(dir.File("empty"), "");
  EXPECT_EQ(SumOf(dir.File("empty"), SumKind::Crc32), "00000000");
  EXPECT_EQ(ShownSumHex(SumKind::Crc32, "00abcdef"), "00ABCDEF");
  EXPECT_EQ(ShownSumHex(SumKind::Md5, "abcdef"), "abcdef");
  EXPECT_THROW(OpenToCompare(dir.path()), FileError);
}

TEST(CompareDigest, ExpectedChecksumKindFromLengthCaseAndBlanksIgnored) {
  const auto kind_of = [](const std::string& text) {
    const auto parsed = ParseExpectedSum(text);
    return parsed ? std::string(SumKindName(parsed->kind)) : std::string("-");
  };
  EXPECT_EQ(kind_of("CBF43926"), "CRC32");
  EXPECT_EQ(kind_of(std::string(32, 'a')), "MD5");
  EXPECT_EQ(kind_of(std::string(40, 'F')), "SHA1");
  EXPECT_EQ(kind_of(" \t" + std::string(64, '0') + "\r\n"), "SHA256");
  EXPECT_EQ(ParseExpectedSum("  AbCdEf01\n")->hex, "abcdef01");
  for (const std::string& bad : std::vector<std::string>{
           "", "   ", "1234567", "123456789", std::string(63, 'a'), std::string(65, 'a'),
           "cbf4392g", "cbf4 3926", "0xcbf43926", std::string(31, 'a') + "\xe4\xb8\x80"}) {
    EXPECT_EQ(kind_of(bad), "-") << bad;
  }
}

TEST(CompareExpected, NamesTheKindAndWhetherTheFileMatches) {
  TempDir dir;
  WriteFile(dir.File("abc"), "abc");
  JobRun run = CompareWith(dir.File("abc"),
                           " BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD\n");
  EXPECT_EQ(run.lines,
            (std::vector<std::string>{
                "正在生成文件 SHA256值...",
                "文件 SHA256值:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                "期望的 SHA256值:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                "文件与期望的SHA256值相符"}));
  EXPECT_EQ(run.outcome.result, JobResult::Succeeded);

  run = CompareWith(dir.File("abc"), "352441c2");
  EXPECT_EQ(run.lines[1], "文件 CRC32值:352441C2");
  EXPECT_EQ(run.lines.back(), "文件与期望的CRC32值相符");
  run = CompareWith(dir.File("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(run.lines.back(), "文件与期望的SHA1值相符");

  run = CompareWith(dir.File("abc"), "900150983cd24fb0d6963f7d28e17f70");
  EXPECT_EQ(run.lines.back(), "文件与期望的MD5值不相符");
  EXPECT_EQ(run.outcome.result, JobResult::Mismatch);
  EXPECT_FALSE(run.outcome.failure);
}

TEST(CompareExpected, BadChecksumIsRefusedBeforeReadingAndUnreadableFileFails) {
  TempDir dir;
  // The file does not even exist: the text is turned away first.
  JobRun run = CompareWith(dir.File("gone"), "12345");
  EXPECT_EQ(run.lines, (std::vector<std::string>{std::string(kCompareJob) + kBadExpectedSum}));
  EXPECT_EQ(run.outcome.result, JobResult::Refused);
  EXPECT_FALSE(run.outcome.failure);

  run = CompareWith(dir.path(), "cbf43926");
  ASSERT_EQ(run.lines.size(), 2u);
  EXPECT_EQ(run.lines[1],
            std::string(kCompareJob) + "无法读取文件 " + dir.path() + " (Is a directory)");
  EXPECT_EQ(run.outcome.result, JobResult::Failed);
  ASSERT_TRUE(run.outcome.failure);
  EXPECT_EQ(run.outcome.failure->path(), dir.path());
}

TEST(CompareSha256, ComparesTheTwoDigestsAndNeverCallsAnUnreadableFileTheSame) {
  TempDir dir;
  WriteFile(dir.File("a"), "abc");
  WriteFile(dir.File("b"), "abd");
  WriteFile(dir.File("e1"), "");
  const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  JobRun run = CompareFiles(CompareMode::Sha256, dir.File("a"), dir.File("a"));
  EXPECT_EQ(run.lines, (std::vector<std::string>{
                           "正在生成文件1 SHA256值...", "文件1 SHA256值:" + abc,
                           "正在生成文件2 SHA256值...", "文件2 SHA256值:" + abc, "两文件相同"}));
  EXPECT_EQ(run.outcome.result, JobResult::Succeeded);
  run = CompareFiles(CompareMode::Sha256, dir.File("a"), dir.File("b"));
  EXPECT_EQ(run.lines.back(), "两文件不相同");
  EXPECT_EQ(run.outcome.result, JobResult::Mismatch);

  // Unlike the two old digests, no empty stand-in: missing and empty are not the same.
  run = CompareFiles(CompareMode::Sha256, dir.File("gone"), dir.File("e1"));
  ASSERT_EQ(run.lines.size(), 6u);
  EXPECT_EQ(run.lines[1], "文件1 SHA256值:");
  EXPECT_EQ(run.lines[4], "两文件不相同");
  EXPECT_EQ(run.lines[5], std::string(kCompareJob) + "无法读取文件 " + dir.File("gone") +
                              " (No such file or directory)");
  ASSERT_TRUE(run.outcome.failure);
}

std::string OffsetLine(int64_t offset, int first, int second) {
  char hex[80];
  std::snprintf(hex, sizeof hex, "%lld (0x%llX): 文件1为 0x%02X, 文件2为 0x%02X",
                static_cast<long long>(offset), static_cast<unsigned long long>(offset), first,
                second);
  return std::string("第一处不同在偏移 ") + hex;
}

TEST(CompareBytes, NamesTheFirstDifferenceAcrossBlocks) {
  TempDir dir;
  const std::string content = test::RandomBytes(3 * kCompareBlockSize + 1000, 3);
  WriteFile(dir.File("a"), content);
  for (const size_t at : {size_t{0}, 2 * kCompareBlockSize + 77, content.size() - 1}) {
    std::string changed = content;
    changed[at] = static_cast<char>(changed[at] ^ 0x5A);
    WriteFile(dir.File("b"), changed);
    const JobRun run = CompareFiles(CompareMode::Bytes, dir.File("a"), dir.File("b"));
    EXPECT_EQ(run.lines, (std::vector<std::string>{
                             "正在逐字节比较文件1和文件2...",
                             OffsetLine(static_cast<int64_t>(at), static_cast<uint8_t>(content[at]),
                                        static_cast<uint8_t>(changed[at])),
                             "两文件不相同"}));
    EXPECT_EQ(run.outcome.result, JobResult::Mismatch);
  }
  WriteFile(dir.File("copy"), content);
  const JobRun same = CompareFiles(CompareMode::Bytes, dir.File("a"), dir.File("copy"));
  EXPECT_EQ(same.lines, (std::vector<std::string>{"正在逐字节比较文件1和文件2...", "两文件相同"}));
  EXPECT_EQ(same.outcome.result, JobResult::Succeeded);
}

TEST(CompareBytes, APrefixNamesTheShorterFileAndWhereItEnds) {
  TempDir dir;
  // One end inside a block, one exactly at a block's end, and an empty file.
  const std::string content = test::RandomBytes(2 * kCompareBlockSize + 10, 4);
  for (const size_t cut : {size_t{1000}, 2 * kCompareBlockSize, size_t{0}}) {
    WriteFile(dir.File("long"), content);
    WriteFile(dir.File("short"), content.substr(0, cut));
    char where[64];
    std::snprintf(where, sizeof where, "%zu (0x%zX)", cut, cut);
    JobRun run = CompareFiles(CompareMode::Bytes, dir.File("short"), dir.File("long"));
    EXPECT_EQ(run.lines, (std::vector<std::string>{"正在逐字节比较文件1和文件2...",
                                                   std::string("文件1较短: 它在偏移 ") + where +
                                                       " 处结束,此前的内容与文件2相同",
                                                   "两文件不相同"}));
    run = CompareFiles(CompareMode::Bytes, dir.File("long"), dir.File("short"));
    EXPECT_EQ(run.lines[1],
              std::string("文件2较短: 它在偏移 ") + where + " 处结束,此前的内容与文件1相同");
    EXPECT_EQ(run.outcome.result, JobResult::Mismatch);
  }
  WriteFile(dir.File("e1"), "");
  WriteFile(dir.File("e2"), "");
  EXPECT_EQ(CompareFiles(CompareMode::Bytes, dir.File("e1"), dir.File("e2")).lines.back(),
            "两文件相同");
}

TEST(CompareBytes, AnUnreadableFileFailsWithItsReason) {
  TempDir dir;
  WriteFile(dir.File("a"), "abc");
  const JobRun run = CompareFiles(CompareMode::Bytes, dir.File("a"), dir.path());
  EXPECT_EQ(run.lines, (std::vector<std::string>{"正在逐字节比较文件1和文件2...",
                                                 std::string(kCompareJob) + "无法读取文件 " +
                                                     dir.path() + " (Is a directory)"}));
  EXPECT_EQ(run.outcome.result, JobResult::Failed);
  ASSERT_TRUE(run.outcome.failure);
}

TEST(CompareBytes, PauseHoldsTheCompareUntilContinue) {
  TempDir dir;
  const std::string content = test::RandomBytes(4 * kCompareBlockSize, 6);
  WriteFile(dir.File("a"), content);
  WriteFile(dir.File("b"), content);
  auto recorder = std::make_shared<test::Recorder>();
  // The job announces its total before its first block; it is paused right there.
  test::JobLatch latch;
  test::ReleaseOnExit release(latch);
  latch.AtFirstProgress(*recorder);
  auto worker = TCmpFile::Create(CompareMode::Bytes, dir.File("a"), dir.File("b"),
                                 JobHost{recorder, recorder});
  ASSERT_TRUE(latch.WaitArrived());
  worker->Pause();
  latch.Release();
  EXPECT_FALSE(recorder->WaitForMoreThan(1, std::chrono::milliseconds(300)));
  for (const auto& [done, total] : recorder->ProgressCalls()) {
    EXPECT_EQ(done, 0);
    EXPECT_EQ(total, static_cast<int64_t>(content.size()));
  }
  worker->Continue();
  ASSERT_TRUE(worker->WaitFinished(std::chrono::seconds(60)));
  EXPECT_EQ(recorder->Lines(),
            (std::vector<std::string>{"正在逐字节比较文件1和文件2...", "两文件相同"}));
  EXPECT_EQ(recorder->ProgressCalls().back().first, static_cast<int64_t>(content.size()));
}

}  // namespace
}  // namespace qarvo
