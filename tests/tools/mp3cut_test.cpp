#include "tools/mp3cut.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <stdexcept>
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

struct CutResult {
  std::vector<std::string> lines;
  std::string failure;
};

CutResult Cut(const std::string& source, const std::string& dir, int32_t start, int32_t end,
              int32_t play, bool overwrite = false) {
  auto log = std::make_shared<CaptureLog>();
  auto worker = TMp3Cut::Create(source, dir, start, end, play, JobHost{log, nullptr}, overwrite);
  EXPECT_TRUE(worker->WaitFinished(std::chrono::seconds(60)));
  return {log->Lines(), worker->FailureReason()};
}

const std::vector<std::string> kBothLines{"正在剪辑...", "剪辑完毕!"};

TEST(Mp3Cut, TenToTwentySecondsOfOneHundred) {
  TempDir dir;
  const std::string source = test::RandomBytes(1000000, 1);
  WriteFile(dir.File("song.mp3"), source);
  EXPECT_EQ(Mp3Seconds(0, 1, 40), 100);
  const CutResult result = Cut(dir.File("song.mp3"), dir.path(), 10, 20, 100);
  EXPECT_EQ(result.lines, kBothLines);
  EXPECT_EQ(result.failure, "");
  EXPECT_EQ(ReadFile(dir.File("song剪辑.mp3")), source.substr(100000, 100000));
  EXPECT_EQ(ReadFile(dir.File("song.mp3")), source);
}

TEST(Mp3Cut, RemainderOfTheDivisionBelongsToNoSpan) {
  TempDir dir;
  const std::string source = test::RandomBytes(1000050, 2);
  WriteFile(dir.File("a.mp3"), source);
  EXPECT_EQ(Cut(dir.File("a.mp3"), dir.path() + "/", 0, 100, 100).lines, kBothLines);
  EXPECT_EQ(ReadFile(dir.File("a剪辑.mp3")), source.substr(0, 1000000));
}

TEST(Mp3Cut, EqualTimesGiveAnEmptyFileAndReplaceAnEarlierCut) {
  TempDir dir;
  WriteFile(dir.File("song.mp3"), test::RandomBytes(5000, 3));
  WriteFile(dir.File("song剪辑.mp3"), "an earlier cut");
  // Unasked, the earlier cut stays.
  EXPECT_EQ(Cut(dir.File("song.mp3"), dir.path(), 30, 30, 60).lines,
            std::vector<std::string>{"MP3剪辑:文件" + dir.File("song剪辑.mp3") + "已存在,未覆盖!"});
  EXPECT_EQ(ReadFile(dir.File("song剪辑.mp3")), "an earlier cut");
  EXPECT_EQ(Cut(dir.File("song.mp3"), dir.path(), 30, 30, 60, true).lines, kBothLines);
  EXPECT_TRUE(FileExists(dir.File("song剪辑.mp3")));
  EXPECT_EQ(ReadFile(dir.File("song剪辑.mp3")), "");
}

TEST(Mp3Cut, OutputNameDropsTheLastFourGb18030Bytes) {
  EXPECT_EQ(Mp3CutFileName("/music/song.mp3"), "song剪辑.mp3");
  EXPECT_EQ(Mp3CutFileName("x.flac"), "x.剪辑.mp3");
  EXPECT_EQ(Mp3CutFileName("/m/歌曲.mp3"), "歌曲剪辑.mp3");
  EXPECT_EQ(Mp3CutFileName("/m/.mp3"), "剪辑.mp3");
  EXPECT_EQ(Mp3CutFileName("/m/abcd"), "剪辑.mp3");
  EXPECT_EQ(Mp3CutFileName("/m/ab"), "剪辑.mp3");
  // 歌 is two bytes: dropping four from a歌bcd (6 bytes) would split it, so it goes whole.
  EXPECT_EQ(Mp3CutFileName("a歌bcd"), "a剪辑.mp3");
  EXPECT_EQ(Mp3CutFileName("歌曲"), "剪辑.mp3");
  // A four-byte GB18030 character (U+1F600) goes whole or stays whole.
  EXPECT_EQ(Mp3CutFileName("x\xF0\x9F\x98\x80"), "x剪辑.mp3");
  EXPECT_EQ(Mp3CutFileName("\xF0\x9F\x98\x80.wav"), "\xF0\x9F\x98\x80剪辑.mp3");
  EXPECT_EQ(Mp3CutFileName("ab\xF0\x9F\x98\x80"), "ab剪辑.mp3");
  EXPECT_EQ(Mp3CutFileName("a\xF0\x9F\x98\x80"
                           "bcd"),
            "a剪辑.mp3");
}

TEST(Mp3Cut, TimesThatCannotBeCutAreRefusedBeforeStarting) {
  EXPECT_TRUE(Mp3TimesValid(180, 0, 180));
  EXPECT_FALSE(Mp3TimesValid(180, 0, 181));
  EXPECT_FALSE(Mp3TimesValid(180, 181, 181));
  EXPECT_FALSE(Mp3TimesValid(0, 0, 0));
  EXPECT_FALSE(Mp3TimesValid(100, 20, 10));
  EXPECT_FALSE(Mp3TimesValid(100, -1, 10));

  TempDir dir;
  WriteFile(dir.File("s.mp3"), "data");
  auto log = std::make_shared<CaptureLog>();
  EXPECT_THROW(TMp3Cut::Create(dir.File("s.mp3"), dir.path(), 0, 0, 0, JobHost{log, nullptr}),
               std::invalid_argument);
  EXPECT_THROW(TMp3Cut::Create(dir.File("s.mp3"), dir.path(), 20, 10, 100, JobHost{log, nullptr}),
               std::invalid_argument);
  EXPECT_THROW(TMp3Cut::Create(dir.File("gone.mp3"), dir.path(), 0, 1, 1, JobHost{log, nullptr}),
               FileError);
  EXPECT_TRUE(log->Lines().empty());
  EXPECT_FALSE(FileExists(dir.File("s剪辑.mp3")));
}

TEST(Mp3Cut, SpanArithmeticIsSixtyFourBit) {
  const int64_t six_gib = int64_t{6} << 30;
  const Mp3Span span = Mp3SpanOf(six_gib, 3, 2, 3);
  EXPECT_EQ(span.bytes_per_second, int64_t{2} << 30);
  EXPECT_EQ(span.offset, int64_t{4} << 30);
  EXPECT_EQ(span.length, int64_t{2} << 30);

  const Mp3Span hours =
      Mp3SpanOf(int64_t{20} << 30, Mp3Seconds(99, 60, 60), 0, Mp3Seconds(99, 60, 60));
  EXPECT_EQ(hours.offset + hours.length, (int64_t{20} << 30) / 360060 * 360060);
  EXPECT_LE(hours.offset + hours.length, int64_t{20} << 30);

  // Fewer bytes than seconds: nothing per second, so nothing to cut.
  EXPECT_EQ(Mp3SpanOf(50, 100, 0, 100).length, 0);
}

TEST(Mp3Cut, CutsSpansBeyondTwoGibibytesFromASparseSource) {
  TempDir dir;
  const int64_t size = (int64_t{4} << 30) + 1000;
  const int32_t play = 1000;
  const int64_t per_second = size / play;
  const int64_t offset = 999 * per_second;  // past 2 GiB and past 4 GiB - 5 MiB
  ASSERT_GT(offset, int64_t{1} << 31);
  {
    File source(dir.File("big.mp3"), OpenMode::Create, Share::Shared);
    source.Truncate(size);
    source.Seek(offset);
    source.Write("START", 5);
    source.Seek(offset + per_second - 3);
    source.Write("END", 3);
    source.Seek(offset + per_second);
    source.Write("AFTER", 5);
  }
  EXPECT_EQ(Cut(dir.File("big.mp3"), dir.path(), 999, 1000, play).lines, kBothLines);
  File cut(dir.File("big剪辑.mp3"), OpenMode::Read, Share::Shared);
  ASSERT_EQ(cut.Size(), per_second);
  char head[5] = {};
  cut.ReadExact(head, 5);
  EXPECT_EQ(std::string(head, 5), "START");
  cut.Seek(per_second - 3);
  char tail[3] = {};
  cut.ReadExact(tail, 3);
  EXPECT_EQ(std::string(tail, 3), "END");
}

TEST(Mp3Cut, UnopenableSourceOrOutputEndsWithoutTheLastLine) {
  TempDir dir;
  WriteFile(dir.File("held.mp3"), test::RandomBytes(1000, 4));
  {
    File holder(dir.File("held.mp3"), OpenMode::Read, Share::Exclusive);
    const CutResult result = Cut(dir.File("held.mp3"), dir.path(), 0, 10, 10);
    EXPECT_EQ(result.lines, std::vector<std::string>{"正在剪辑..."});
    EXPECT_NE(result.failure, "");
  }
  EXPECT_FALSE(FileExists(dir.File("held剪辑.mp3")));

  const CutResult no_dir = Cut(dir.File("held.mp3"), dir.File("missing"), 0, 10, 10);
  EXPECT_EQ(no_dir.lines, std::vector<std::string>{"正在剪辑..."});
  EXPECT_NE(no_dir.failure.find("missing"), std::string::npos);
}

TEST(Mp3Cut, AFailedCutLeavesNoHalfFileAndKeepsAnEarlierOne) {
  TempDir dir;
  WriteFile(dir.File("song.mp3"), test::RandomBytes(400000, 8));
  WriteFile(dir.File("song剪辑.mp3"), "an earlier cut");
  CutResult result;
  {
    test::FileSizeLimit limit(100000);
    ASSERT_TRUE(limit.ok());
    result = Cut(dir.File("song.mp3"), dir.path(), 0, 100, 100, true);
  }
  EXPECT_EQ(result.lines, std::vector<std::string>{"正在剪辑..."});
  EXPECT_NE(result.failure.find(dir.File("song剪辑.mp3")), std::string::npos) << result.failure;
  EXPECT_EQ(ReadFile(dir.File("song剪辑.mp3")), "an earlier cut");
  EXPECT_EQ(test::NamesIn(dir.path()), (std::vector<std::string>{"song.mp3", "song剪辑.mp3"}));
}

TEST(Mp3Cut, AnOutputNameThatIsASymbolicLinkIsReplaced) {
  TempDir dir;
  WriteFile(dir.File("song.mp3"), "0123456789");
  WriteFile(dir.File("target"), "keep me");
  std::filesystem::create_symlink(dir.File("target"), dir.File("song剪辑.mp3"));
  EXPECT_EQ(Cut(dir.File("song.mp3"), dir.path(), 2, 5, 10, true).lines, kBothLines);
  EXPECT_EQ(ReadFile(dir.File("target")), "keep me");
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("song剪辑.mp3")));
  EXPECT_EQ(ReadFile(dir.File("song剪辑.mp3")), "234");
}

}  // namespace
}  // namespace qarvo
