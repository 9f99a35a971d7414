#include "split/cut_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "codec/digest.h"
#include "codec/envelope.h"
#include "platform/file.h"
#include "split/header.h"
#include "split/job_runs.h"
#include "split/parallel_pieces.h"
#include "support/test_support.h"
#include "text/codepage.h"

namespace qarvo {
namespace {

using test::kBusy;
using test::kIdle;
using test::kShake;
using test::Recorder;
using test::RunSplit;
using test::TempDir;
using Events = std::vector<std::string>;

bool recorder_has_line(const std::vector<std::string>& events, const std::string& line) {
  return std::find(events.begin(), events.end(), line) != events.end();
}

std::string TrailerOf(const std::string& piece) {
  const std::string bytes = test::ReadFile(piece);
  return bytes.substr(bytes.size() - kHeaderTrailerSize);
}

SetHeader HeaderOf(const std::string& piece, const std::string& password = "") {
  SetHeader header;
  EXPECT_EQ(ReadSetHeader(TrailerOf(piece), password, header), HeaderStatus::Ok) << piece;
  return header;
}

TEST(CutFileTest, TenBytesInThreePieces) {
  TempDir dir;
  const std::string source = dir.File("notes.txt");
  test::WriteFile(source, "0123456789");
  EXPECT_EQ(RunSplit(source, {}, 3, dir.path()),
            (Events{"正在搜集文件信息...", kBusy, "正在分割第1个文件,剩余2个文件...",
                    "正在分割第2个文件,剩余1个文件...", "正在分割第3个文件,剩余0个文件...",
                    "分割成功!", kIdle}));
  const std::vector<std::string> shares = {"012", "345", "6789"};
  const std::string trailer = TrailerOf(dir.File("notes1.vrk"));
  for (int n = 1; n <= 3; ++n) {
    const std::string piece = test::ReadFile(dir.File("notes" + std::to_string(n) + ".vrk"));
    ASSERT_EQ(piece.size(), shares[n - 1].size() + kHeaderTrailerSize);
    EXPECT_EQ(piece.substr(0, shares[n - 1].size()), shares[n - 1]);
    EXPECT_EQ(piece.substr(shares[n - 1].size()), trailer) << "trailers differ at " << n;
  }
  EXPECT_FALSE(FileExists(dir.File("notes4.vrk")));
  const SetHeader header = HeaderOf(dir.File("notes2.vrk"));
  EXPECT_EQ(header.piece_count, 3);
  EXPECT_EQ(header.source_name, "notes.txt");
  EXPECT_EQ(header.piece_base, "notes");
  EXPECT_EQ(header.check_kind, ChecksumKind::None);
  EXPECT_EQ(header.check_text, "0");
  EXPECT_FALSE(header.compressed);
  EXPECT_TRUE(FileExists(source));
}

TEST(CutFileTest, CountIsClampedToTheSourceSize) {
  TempDir dir;
  const std::string source = dir.File("five.bin");
  test::WriteFile(source, "abcde");
  auto recorder = std::make_shared<Recorder>();
  TCWorkInfos options;
  options.Log = recorder;
  auto worker = TCutFile::Create(source, options, 20, dir.path(), recorder);
  EXPECT_EQ(worker->PieceCount(), 5);
  ASSERT_TRUE(worker->WaitFinished(test::kJobDeadline));
  EXPECT_TRUE(recorder->Has("正在分割第5个文件,剩余0个文件..."));
  EXPECT_TRUE(recorder->Has("分割成功!"));
  EXPECT_FALSE(FileExists(dir.File("five6.vrk")));
  EXPECT_EQ(std::filesystem::file_size(dir.File("five5.vrk")), 1 + kHeaderTrailerSize);
  EXPECT_EQ(HeaderOf(dir.File("five1.vrk")).piece_count, 5);
}

TEST(CutFileTest, CountZeroOrEmptySourceFailsAfterTheChecksumLine) {
  TempDir dir;
  const std::string source = dir.File("data.bin");
  test::WriteFile(source, "some bytes");
  const std::string empty = dir.File("empty.bin");
  test::WriteFile(empty, "");
  TCWorkInfos crc;
  crc.CheckKind = ChecksumKind::Crc32;
  const Events failed_after_crc = {"正在搜集文件信息...",
                                   kBusy,
                                   "正在生成文件CRC32值...",
                                   "文件分割:文件很可能正在被其它程序调用!",
                                   "分割失败!",
                                   kIdle};
  EXPECT_EQ(RunSplit(source, crc, 0, dir.path()), failed_after_crc);
  EXPECT_EQ(RunSplit(empty, crc, 3, dir.path()), failed_after_crc);
  EXPECT_EQ(RunSplit(empty, {}, 3, dir.path()),
            (Events{"正在搜集文件信息...", kBusy, "文件分割:文件很可能正在被其它程序调用!",
                    "分割失败!", kIdle}));
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_NE(entry.path().extension(), ".vrk") << entry.path();
  }
}

TEST(CutFileTest, ShakesAfterSuccessAndAfterFailure) {
  TempDir dir;
  const std::string source = dir.File("s.bin");
  test::WriteFile(source, "12345678");
  auto shaking = std::make_shared<Recorder>();
  shaking->SetShake(true);
  Events events = RunSplit(source, {}, 2, dir.path(), shaking);
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(Events(events.end() - 3, events.end()), (Events{"分割成功!", kIdle, kShake}));

  auto failing = std::make_shared<Recorder>();
  failing->SetShake(true);
  events = RunSplit(source, {}, 0, dir.path(), failing);
  EXPECT_EQ(Events(events.end() - 3, events.end()), (Events{"分割失败!", kIdle, kShake}));
  EXPECT_EQ(failing->ShakeReads(), 1);
}

TEST(CutFileTest, PieceNamesFollowTheSourceStem) {
  TempDir dir;
  test::WriteFile(dir.File("README"), "read me, please");
  test::WriteFile(dir.File("a.b.c"), "dotted name");
  RunSplit(dir.File("README"), {}, 2, dir.path());
  RunSplit(dir.File("a.b.c"), {}, 2, dir.path() + "/");
  EXPECT_TRUE(FileExists(dir.File("README1.vrk")));
  EXPECT_TRUE(FileExists(dir.File("README2.vrk")));
  EXPECT_TRUE(FileExists(dir.File("a.b1.vrk")));
  EXPECT_TRUE(FileExists(dir.File("a.b2.vrk")));
  EXPECT_EQ(HeaderOf(dir.File("README1.vrk")).source_name, "README");
  EXPECT_EQ(HeaderOf(dir.File("a.b2.vrk")).source_name, "a.b.c");
}

TEST(CutFileTest, WritesIntoTheOutputDirectoryNotBesideTheSource) {
  TempDir dir;
  const std::string out = dir.File("out");
  std::filesystem::create_directory(out);
  test::WriteFile(dir.File("src.dat"), test::RandomBytes(1000, 1));
  RunSplit(dir.File("src.dat"), {}, 2, out);
  EXPECT_TRUE(FileExists(out + "/src1.vrk"));
  EXPECT_TRUE(FileExists(out + "/src2.vrk"));
  EXPECT_FALSE(FileExists(dir.File("src1.vrk")));
}

TEST(CutFileTest, CompressedPiecesAreEnvelopesFollowedByThePlainTrailer) {
  TempDir dir;
  const std::string source = dir.File("text.log");
  std::string content;
  for (int i = 0; i < 5000; ++i) {
    content += "line " + std::to_string(i % 17) + " of a compressible log\n";
  }
  test::WriteFile(source, content);
  for (uint8_t level = 1; level <= 3; ++level) {
    TCWorkInfos options;
    options.Compress = 1;
    options.Level = level;
    options.Overwrite = 1;  // each level replaces the pieces of the one before
    const Events events = RunSplit(source, options, 3, dir.path());
    ASSERT_EQ(events[events.size() - 2], "分割成功!");
    const int64_t share = static_cast<int64_t>(content.size()) / 3;
    std::string joined;
    const std::string trailer = TrailerOf(dir.File("text1.vrk"));
    for (int n = 1; n <= 3; ++n) {
      const std::string piece = dir.File("text" + std::to_string(n) + ".vrk");
      const std::vector<uint8_t> payload = DecompressFileToMemory(piece);
      joined.append(payload.begin(), payload.end());
      if (n < 3) {
        EXPECT_EQ(static_cast<int64_t>(payload.size()), share);
      }
      EXPECT_LT(std::filesystem::file_size(piece), static_cast<uintmax_t>(share));
      EXPECT_EQ(TrailerOf(piece), trailer);
    }
    EXPECT_TRUE(joined == content);
    EXPECT_TRUE(HeaderOf(dir.File("text2.vrk")).compressed);
  }
}

TEST(CutFileTest, ChecksumsArePutIntoTheHeader) {
  TempDir dir;
  const std::string source = dir.File("sum.bin");
  test::WriteFile(source, test::RandomBytes(70000, 9));
  TCWorkInfos md5;
  md5.CheckKind = ChecksumKind::Md5;
  EXPECT_EQ(RunSplit(source, md5, 2, dir.path()),
            (Events{"正在搜集文件信息...", kBusy, "正在生成文件MD5值...",
                    "正在分割第1个文件,剩余1个文件...", "正在分割第2个文件,剩余0个文件...",
                    "分割成功!", kIdle}));
  SetHeader header = HeaderOf(dir.File("sum1.vrk"));
  EXPECT_EQ(header.check_kind, ChecksumKind::Md5);
  EXPECT_EQ(header.check_text, Md5Hex(Md5OfFile(source)));

  TCWorkInfos crc;
  crc.CheckKind = ChecksumKind::Crc32;
  crc.Overwrite = 1;
  RunSplit(source, crc, 2, dir.path());
  header = HeaderOf(dir.File("sum2.vrk"));
  EXPECT_EQ(header.check_kind, ChecksumKind::Crc32);
  EXPECT_EQ(header.check_text, Crc32OfFileText(source));
  EXPECT_FALSE(header.check_text.empty());
}

TEST(CutFileTest, PasswordProtectsTheHeaderOnly) {
  TempDir dir;
  const std::string source = dir.File("secret.txt");
  const std::string content = test::RandomBytes(999, 4);
  test::WriteFile(source, content);
  TCWorkInfos options;
  options.Password = "abc12";
  RunSplit(source, options, 1, dir.path());
  const std::string piece = dir.File("secret1.vrk");
  SetHeader header;
  EXPECT_EQ(ReadSetHeader(TrailerOf(piece), "", header), HeaderStatus::WrongPassword);
  EXPECT_EQ(ReadSetHeader(TrailerOf(piece), "ABC12", header), HeaderStatus::WrongPassword);
  EXPECT_EQ(ReadSetHeader(TrailerOf(piece), "abc12", header), HeaderStatus::Ok);
  // The payload is stored as it is.
  EXPECT_EQ(test::ReadFile(piece).substr(0, content.size()), content);
}

TEST(CutFileTest, DeletesTheSourceOnlyAfterASuccessfulSplit) {
  TempDir dir;
  const std::string source = dir.File("gone.bin");
  test::WriteFile(source, test::RandomBytes(5000, 5));
  TCWorkInfos options;
  options.DeleteSource = 1;
  const Events events = RunSplit(source, options, 3, dir.path());
  EXPECT_EQ(events[events.size() - 2], "分割成功!");
  EXPECT_FALSE(FileExists(source));
  EXPECT_TRUE(FileExists(dir.File("gone3.vrk")));

  // A source held open without sharing by another program: nothing is written, nothing deleted.
  const std::string locked = dir.File("locked.bin");
  test::WriteFile(locked, test::RandomBytes(5000, 6));
  File holder(locked, OpenMode::Read, Share::Exclusive);
  EXPECT_EQ(RunSplit(locked, options, 3, dir.path()),
            (Events{"正在搜集文件信息...", kBusy, "文件分割:文件很可能正在被其它程序调用!",
                    "分割失败!", kIdle}));
  EXPECT_TRUE(FileExists(locked));
  EXPECT_FALSE(FileExists(dir.File("locked1.vrk")));
}

TEST(CutFileTest, AMissingSourceStartsNoWorker) {
  TempDir dir;
  TCWorkInfos options;
  options.Log = std::make_shared<Recorder>();
  EXPECT_THROW(TCutFile::Create(dir.File("nothing.bin"), options, 3, dir.path(), nullptr),
               FileError);
}

TEST(CutFileTest, WriteFailureInTheLastPieceKeepsTheSource) {
  TempDir dir;
  const std::string source = dir.File("big.bin");
  test::WriteFile(source, test::RandomBytes(600000, 7));
  TCWorkInfos options;
  options.DeleteSource = 1;
  options.CheckKind = ChecksumKind::Md5;
  Events events;
  {
    // Pieces of 300000 bytes cannot be written whole.
    test::FileSizeLimit limit(200000);
    ASSERT_TRUE(limit.ok());
    events = RunSplit(source, options, 2, dir.path());
  }
  EXPECT_EQ(events, (Events{"正在搜集文件信息...", kBusy, "正在生成文件MD5值...",
                            "正在分割第1个文件,剩余1个文件...",
                            "文件分割:文件很可能正在被其它程序调用!", "分割失败!", kIdle}));
  EXPECT_TRUE(FileExists(source));
  EXPECT_EQ(std::filesystem::file_size(source), 600000u);
  // No half piece under a piece's name, and no temporary file left.
  EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"big.bin"});

  // The same with the failure in the last piece.
  events.clear();
  {
    test::FileSizeLimit limit(200000);
    ASSERT_TRUE(limit.ok());
    events = RunSplit(source, options, 1, dir.path());
  }
  EXPECT_EQ(events[events.size() - 3], "文件分割:文件很可能正在被其它程序调用!");
  EXPECT_TRUE(FileExists(source));
}

// The disk fills while the last piece is written: the pieces written before it must not stay
// under their names either, as an incomplete set that looks whole.
TEST(CutFileTest, DiskFullAtTheLastPieceLeavesNoPieceOfTheSet) {
  TempDir dir;
  const std::string source = dir.File("movie.bin");
  // 3 pieces of 100000 bytes, the last one 2 bytes more: only the last exceeds the limit.
  test::WriteFile(source, test::RandomBytes(300002, 9));
  TCWorkInfos options;
  options.DeleteSource = 1;
  options.CheckKind = ChecksumKind::Crc32;
  Events events;
  {
    test::FileSizeLimit limit(100000 + 344 + 1);
    ASSERT_TRUE(limit.ok());
    events = RunSplit(source, options, 3, dir.path());
  }
  EXPECT_EQ(events[events.size() - 2], "分割失败!");
  EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"movie.bin"});
  EXPECT_EQ(std::filesystem::file_size(source), 300002u);
}

TEST(CutFileTest, CompressedPieceOfFourGibibytesIsRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  const std::string source = dir.File("huge.img");
  {
    File file(source, OpenMode::Create, Share::Shared);
    // Sparse: takes no disk space and is never read, because the split stops first.
    file.Truncate(int64_t{4} * 1024 * 1024 * 1024 + 10);
  }
  TCWorkInfos options;
  options.Compress = 1;
  options.DeleteSource = 1;
  options.CheckKind = ChecksumKind::Crc32;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(RunSplit(source, options, 1, dir.path()),
            (Events{"正在搜集文件信息...", kBusy, "文件分割:文件很可能正在被其它程序调用!",
                    "分割失败!", kIdle}));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_FALSE(FileExists(dir.File("huge1.vrk")));
  EXPECT_TRUE(FileExists(source));
}

// Sizes of every file in a folder, temporary ones included.
std::vector<std::pair<std::string, uintmax_t>> SizesIn(const std::string& dir) {
  std::vector<std::pair<std::string, uintmax_t>> found;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    found.emplace_back(entry.path().filename().string(), entry.file_size());
  }
  std::sort(found.begin(), found.end());
  return found;
}

TEST(CutFileTest, PauseHoldsBackLinesAndPieceData) {
  TempDir dir;
  const std::string source = dir.File("movie.avi");
  std::string content;
  const std::string block = test::RandomBytes(1024 * 1024, 8);
  for (int i = 0; i < 48; ++i) {
    content += block;
    content[content.size() - 1] = static_cast<char>(i);
  }
  test::WriteFile(source, content);
  // Without a checksum one thread copies; with one a second digests the same blocks.
  for (const ChecksumKind kind : {ChecksumKind::None, ChecksumKind::Md5}) {
    auto recorder = std::make_shared<Recorder>();
    // The job announces its total just before its first piece; it is paused right there.
    test::JobLatch latch;
    test::ReleaseOnExit release(latch);
    latch.AtFirstProgress(*recorder);
    TCWorkInfos options;
    options.Log = recorder;
    options.CheckKind = kind;
    auto worker = TCutFile::Create(source, options, 2, dir.path(), recorder);
    ASSERT_TRUE(latch.WaitArrived());
    worker->Pause();
    latch.Release();
    const size_t lines_at_pause = recorder->Count();
    const auto sizes_at_pause = SizesIn(dir.path());
    EXPECT_FALSE(recorder->WaitForMoreThan(lines_at_pause, std::chrono::milliseconds(300)));
    EXPECT_EQ(SizesIn(dir.path()), sizes_at_pause);
    EXPECT_FALSE(FileExists(dir.File("movie1.vrk")));
    EXPECT_FALSE(recorder->Has("正在分割第1个文件,剩余1个文件..."));
    worker->Continue();
    ASSERT_TRUE(worker->WaitFinished(test::kJobDeadline));
    Events expected{"正在搜集文件信息...", kBusy};
    const auto remove_pieces = [&dir] {
      std::filesystem::remove(dir.File("movie1.vrk"));
      std::filesystem::remove(dir.File("movie2.vrk"));
    };
    if (kind == ChecksumKind::Md5) {
      expected.push_back("正在生成文件MD5值...");
    }
    expected.insert(expected.end(), {"正在分割第1个文件,剩余1个文件...",
                                     "正在分割第2个文件,剩余0个文件...", "分割成功!", kIdle});
    EXPECT_EQ(recorder->Events(), expected);
    const std::string joined =
        test::ReadFile(dir.File("movie1.vrk")).substr(0, content.size() / 2) +
        test::ReadFile(dir.File("movie2.vrk")).substr(0, content.size() / 2);
    EXPECT_TRUE(joined == content);
    if (kind == ChecksumKind::Md5) {
      EXPECT_EQ(HeaderOf(dir.File("movie2.vrk")).check_text, Md5Hex(Md5OfFile(source)));
    }
    remove_pieces();
    // One pass: the bar runs once over the source, whether or not it is digested too.
    const auto progress = recorder->ProgressCalls();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().first, static_cast<int64_t>(content.size()));
  }
}

// Pieces written while the source is digested are those of the sets made before.
TEST(CutFileTest, OnePassGivesTheVectorPiecesAtEveryThreadCount) {
  const std::string plain = test::VectorsDir() + "/split-crc32-password/";
  const std::string packed = test::VectorsDir() + "/split-md5-compressed/";
  for (const int threads : {1, 2, 8}) {
    SetPieceThreads(threads);
    TempDir dir;
    test::WriteFile(dir.File("样本.txt"), test::ReadFile(plain + "样本.txt"));
    TCWorkInfos crc;
    crc.CheckKind = ChecksumKind::Crc32;
    crc.Password = "abc12";
    EXPECT_EQ(RunSplit(dir.File("样本.txt"), crc, 3, dir.path()).back(), kIdle);
    for (int n = 1; n <= 3; ++n) {
      const std::string name = "样本" + std::to_string(n) + ".vrk";
      EXPECT_TRUE(test::ReadFile(dir.File(name)) == test::ReadFile(plain + name))
          << name << " with " << threads << " threads";
    }

    test::WriteFile(dir.File("data.bin"), test::ReadFile(packed + "data.bin"));
    TCWorkInfos md5;
    md5.CheckKind = ChecksumKind::Md5;
    md5.Compress = 1;
    md5.Level = 2;
    EXPECT_EQ(RunSplit(dir.File("data.bin"), md5, 4, dir.path()).back(), kIdle);
    for (int n = 1; n <= 4; ++n) {
      const std::string name = "data" + std::to_string(n) + ".vrk";
      // The stream may differ from the vector's writer; its content and the trailer may not.
      EXPECT_EQ(TrailerOf(dir.File(name)), TrailerOf(packed + name)) << name;
      EXPECT_EQ(DecompressFileToMemory(dir.File(name)), DecompressFileToMemory(packed + name))
          << name << " with " << threads << " threads";
    }
  }
  SetPieceThreads(0);
}

// A disk that fills after some pieces are whole: none of them may stay, under any name.
TEST(CutFileTest, ADiskThatFillsMidSetLeavesTheSourceAndNoPiece) {
  TempDir dir;
  const std::string source = dir.File("set.bin");
  // Shares of 113333, 113333 and 113334 bytes: with their trailers the first two fit the limit
  // exactly and the last is one byte over. Compressed, the zeros of the first two shrink to
  // nearly nothing and the random bytes of the last do not.
  const std::string content = std::string(226667, '\0') + test::RandomBytes(113333, 13);
  test::WriteFile(source, content);
  struct Case {
    ChecksumKind kind;
    uint8_t compress;
  };
  for (const Case shape : {Case{ChecksumKind::None, 0}, Case{ChecksumKind::Md5, 0},
                           Case{ChecksumKind::Crc32, 1}, Case{ChecksumKind::None, 1}}) {
    SCOPED_TRACE("kind " + std::to_string(ChecksumFormatCode(shape.kind)) + " compressed " +
                 std::to_string(shape.compress));
    TCWorkInfos options;
    options.CheckKind = shape.kind;
    options.Compress = shape.compress;
    options.Level = 1;
    options.DeleteSource = 1;
    Events events;
    {
      test::FileSizeLimit limit(113333 + kHeaderTrailerSize);
      ASSERT_TRUE(limit.ok());
      events = RunSplit(source, options, 3, dir.path());
    }
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(Events(events.end() - 3, events.end()),
              (Events{"文件分割:文件很可能正在被其它程序调用!", "分割失败!", kIdle}));
    EXPECT_TRUE(recorder_has_line(events, SplitProgressLine(3, 0)));
    EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"set.bin"});
    EXPECT_TRUE(test::ReadFile(source) == content);
  }
  // Every piece written, but the last cannot take its name: the others give theirs up again.
  // Replacing is allowed, or the existing name would end the job before any piece is written.
  std::filesystem::create_directory(dir.File("set3.vrk"));
  TCWorkInfos options;
  options.CheckKind = ChecksumKind::Md5;
  options.DeleteSource = 1;
  options.Overwrite = 1;
  const Events events = RunSplit(source, options, 3, dir.path());
  EXPECT_EQ(events[events.size() - 3], "文件分割:文件很可能正在被其它程序调用!");
  EXPECT_EQ(test::NamesIn(dir.path()), (std::vector<std::string>{"set.bin", "set3.vrk"}));
  EXPECT_TRUE(test::ReadFile(source) == content);
}

// Appends to or cuts the source at a log line of the job, on the worker's own thread, as
// another program would while the split runs.
void ChangeSourceAt(Recorder& recorder, const std::string& at_line, std::function<void()> change) {
  recorder.OnLine([at_line, change = std::move(change)](const std::string& line) {
    if (line == at_line) {
      change();
    }
  });
}

void Append(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(CutFileTest, ASourceThatGrowsIsSplitAsItWasWhenTheJobBegan) {
  TempDir dir;
  const std::string source = dir.File("log.txt");
  const std::string content = test::RandomBytes(90001, 21);
  test::WriteFile(source, content);
  auto recorder = std::make_shared<Recorder>();
  // Grows before the checksum is taken and again between the pieces.
  int changes = 0;
  recorder->OnLine([&](const std::string& line) {
    if (line == "正在生成文件CRC32值..." || line == SplitProgressLine(2, 1)) {
      Append(source, test::RandomBytes(5000, 22 + changes++));
    }
  });
  TCWorkInfos options;
  options.CheckKind = ChecksumKind::Crc32;
  const Events events = RunSplit(source, options, 3, dir.path(), recorder);
  ASSERT_EQ(changes, 2);
  EXPECT_EQ(events[events.size() - 2], "分割成功!");
  EXPECT_EQ(HeaderOf(dir.File("log1.vrk")).check_text,
            Crc32Text(Crc32Update(0, content.data(), content.size())));
  std::string joined;
  for (int n = 1; n <= 3; ++n) {
    const std::string piece = test::ReadFile(dir.File("log" + std::to_string(n) + ".vrk"));
    joined += piece.substr(0, piece.size() - kHeaderTrailerSize);
  }
  EXPECT_TRUE(joined == content);
}

TEST(CutFileTest, ASourceThatShrinksFailsTheSplit) {
  TempDir dir;
  const std::string source = dir.File("s.bin");
  const std::string content = test::RandomBytes(30000, 23);
  for (const std::string& at : {std::string("正在生成文件MD5值..."), SplitProgressLine(2, 1)}) {
    test::WriteFile(source, content);
    auto recorder = std::make_shared<Recorder>();
    ChangeSourceAt(*recorder, at, [&] { std::filesystem::resize_file(source, 15000); });
    TCWorkInfos options;
    options.CheckKind = ChecksumKind::Md5;
    options.DeleteSource = 1;
    const Events events = RunSplit(source, options, 3, dir.path(), recorder);
    EXPECT_EQ(Events(events.end() - 3, events.end()),
              (Events{kSplitBusyFailure, kSplitFailed, kIdle}))
        << at;
    EXPECT_TRUE(FileExists(source));
    // The piece being written when the source ran short never takes its name.
    EXPECT_FALSE(FileExists(dir.File("s2.vrk"))) << at;
    EXPECT_FALSE(FileExists(dir.File("s3.vrk"))) << at;
  }
}

TEST(CutFileTest, ASourceNameThatIsNotUtf8IsRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  TempDir out;
  const std::string source = dir.File("caf\xE9.txt");  // Latin-1, not UTF-8
  test::WriteFile(source, "0123456789");
  TCWorkInfos options;
  options.DeleteSource = 1;
  EXPECT_EQ(RunSplit(source, options, 2, out.path()),
            (Events{"正在搜集文件信息...", kBusy, kSplitNameNotUtf8, "分割失败!", kIdle}));
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
  EXPECT_TRUE(FileExists(source));
}

TEST(CutFileTest, APieceNameThatIsASymbolicLinkIsReplaced) {
  TempDir dir;
  const std::string source = dir.File("v.bin");
  test::WriteFile(source, "abcdef");
  test::WriteFile(dir.File("elsewhere"), "keep me");
  std::filesystem::create_symlink(dir.File("elsewhere"), dir.File("v2.vrk"));
  TCWorkInfos agreed;
  agreed.Overwrite = 1;
  const Events events = RunSplit(source, agreed, 2, dir.path());
  EXPECT_EQ(events[events.size() - 2], "分割成功!");
  EXPECT_EQ(test::ReadFile(dir.File("elsewhere")), "keep me");
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("v2.vrk")));
  EXPECT_EQ(test::ReadFile(dir.File("v2.vrk")).substr(0, 3), "def");
}

TEST(CutFileTest, ASourceNamedLikeItsFirstPieceIsNeitherReplacedNorDeleted) {
  // "ß" takes 4 GB18030 bytes for its 2 UTF-8 bytes: the stored name of this 254-byte source
  // is cut to 255 GB18030 bytes, exactly the stem, so piece 1 would carry the source's name.
  const std::string sharp = "\xC3\x9F";
  ASSERT_EQ(Utf8ToGb18030(sharp).size(), 4u);
  const std::string stem = sharp + sharp + sharp + std::string(243, 'a');
  ASSERT_EQ(PieceBaseOf(stem + "1.vrk"), stem);
  TempDir dir;
  const std::string source = dir.File(stem + "1.vrk");
  const std::string content = test::RandomBytes(4000, 9);
  test::WriteFile(source, content);
  TCWorkInfos options;
  options.DeleteSource = 1;
  options.Overwrite = 1;  // even with the user's consent
  EXPECT_EQ(RunSplit(source, options, 2, dir.path()),
            (Events{"正在搜集文件信息...", kBusy, "文件分割:文件很可能正在被其它程序调用!",
                    "分割失败!", kIdle}));
  EXPECT_EQ(test::ReadFile(source), content);
  EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{stem + "1.vrk"});
}

}  // namespace
}  // namespace qarvo
