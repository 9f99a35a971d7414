#include "split/parallel_pieces.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "codec/envelope.h"
#include "platform/file.h"
#include "split/cut_file.h"
#include "split/header.h"
#include "split/job_runs.h"
#include "split/merger_file.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

using test::kBusy;
using test::kIdle;
using test::Recorder;
using test::RunMerge;
using test::RunSplit;
using test::TempDir;
using Events = std::vector<std::string>;

// Sets the process's piece thread count for one test.
class PieceThreadsFor {
 public:
  explicit PieceThreadsFor(int threads) { SetPieceThreads(threads); }
  ~PieceThreadsFor() { SetPieceThreads(0); }
  PieceThreadsFor(const PieceThreadsFor&) = delete;
  PieceThreadsFor& operator=(const PieceThreadsFor&) = delete;
};

// Text that compresses well, runs of random bytes that do not, and zeros.
std::string MixedContent(size_t size, uint32_t seed) {
  std::string content;
  uint32_t round = 0;
  while (content.size() < size) {
    switch (round++ % 3) {
      case 0:
        for (int i = 0; i < 900; ++i) {
          content += "record " + std::to_string((i * 7 + seed) % 113) + " of a log;\n";
        }
        break;
      case 1:
        content += test::RandomBytes(70000, seed + round);
        break;
      default:
        content.append(50000, '\0');
        break;
    }
  }
  content.resize(size);
  return content;
}

std::string PieceName(const std::string& stem, int32_t n) {
  return stem + std::to_string(n) + ".vrk";
}

// The pieces of a compressed split made with `threads` piece threads.
std::vector<std::string> CompressedPieces(const std::string& content, int32_t count, uint8_t level,
                                          int threads) {
  PieceThreadsFor set(threads);
  TempDir dir;
  const std::string source = dir.File("mixed.bin");
  test::WriteFile(source, content);
  TCWorkInfos options;
  options.Compress = 1;
  options.Level = level;
  options.CheckKind = ChecksumKind::Crc32;
  const Events events = RunSplit(source, options, count, dir.path());
  EXPECT_EQ(events[events.size() - 2], "分割成功!");
  std::vector<std::string> pieces;
  for (int32_t n = 1; n <= count; ++n) {
    pieces.push_back(test::ReadFile(dir.File(PieceName("mixed", n))));
  }
  return pieces;
}

TEST(ParallelPiecesTest, ThreadCountFollowsTheCoresAndThePieces) {
  {
    PieceThreadsFor set(0);
    EXPECT_GE(PieceThreads(1000), 1);
    EXPECT_LE(PieceThreads(1000), kMaxPieceThreads);
    EXPECT_EQ(PieceThreads(1), 1);
  }
  PieceThreadsFor set(6);
  EXPECT_EQ(PieceThreads(4), 4);
  EXPECT_EQ(PieceThreads(9), 6);
  EXPECT_EQ(PieceThreads(0), 1);
  SetPieceThreads(1000);
  EXPECT_EQ(PieceThreads(1000), kMaxPieceThreads);
}

TEST(ParallelPiecesTest, PiecesAreTheBytesOfAOneThreadSplitAtEveryLevel) {
  struct Case {
    size_t size;
    int32_t count;
  };
  const Case cases[] = {{10, 3}, {1500000, 4}, {1234567, 7}, {300001, 1}};
  for (const Case& shape : cases) {
    const std::string content = MixedContent(shape.size, static_cast<uint32_t>(shape.size));
    for (uint8_t level = 0; level <= 3; ++level) {
      SCOPED_TRACE("size " + std::to_string(shape.size) + " count " + std::to_string(shape.count) +
                   " level " + std::to_string(level));
      const auto one = CompressedPieces(content, shape.count, level, 1);
      for (const int threads : {2, 8}) {
        const auto many = CompressedPieces(content, shape.count, level, threads);
        ASSERT_EQ(one.size(), many.size());
        for (size_t i = 0; i < one.size(); ++i) {
          EXPECT_TRUE(one[i] == many[i]) << "piece " << i + 1 << " differs with " << threads;
        }
      }
    }
  }
}

TEST(ParallelPiecesTest, PiecesAreConformingStreamsAndPiecesOfTheOneStreamWriterStillJoin) {
  const std::string content = MixedContent(1000003, 5);
  const auto pieces = CompressedPieces(content, 3, 2, 3);
  TempDir dir;
  const int64_t share = static_cast<int64_t>(content.size()) / 3;
  std::string old_piece2;
  for (int32_t n = 1; n <= 3; ++n) {
    const auto begin = static_cast<size_t>((n - 1) * share);
    const size_t length = n < 3 ? static_cast<size_t>(share) : content.size() - begin;
    const std::string& piece = pieces[static_cast<size_t>(n - 1)];
    const std::string payload = piece.substr(0, piece.size() - kHeaderTrailerSize);
    // zlib's own one-call reader takes the stream behind the length as it is.
    std::string inflated(length, '\0');
    uLongf inflated_size = static_cast<uLongf>(length);
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(inflated.data()), &inflated_size,
                         reinterpret_cast<const Bytef*>(payload.data() + 4),
                         static_cast<uLong>(payload.size() - 4)),
              Z_OK)
        << "piece " << n;
    EXPECT_EQ(inflated_size, length);
    EXPECT_TRUE(inflated == content.substr(begin, length)) << "piece " << n;
    if (n == 2) {
      // What the earlier one-stream writer made of the same share.
      const std::string share_path = dir.File("share");
      const std::string envelope_path = dir.File("envelope");
      test::WriteFile(share_path, content.substr(begin, length));
      File in(share_path, OpenMode::Read, Share::Shared);
      File out(envelope_path, OpenMode::Create, Share::Shared);
      CompressToEnvelope(in, static_cast<int64_t>(length), out, 2, nullptr);
      out.Close();
      old_piece2 = test::ReadFile(envelope_path) + piece.substr(piece.size() - kHeaderTrailerSize);
      EXPECT_FALSE(old_piece2 == piece);
    }
  }
  // A set of pieces from both writers joins into the source.
  TempDir set;
  TempDir out;
  test::WriteFile(set.File(PieceName("mixed", 1)), pieces[0]);
  test::WriteFile(set.File(PieceName("mixed", 2)), old_piece2);
  test::WriteFile(set.File(PieceName("mixed", 3)), pieces[2]);
  const Events events = RunMerge(set.File(PieceName("mixed", 1)), {}, out.path());
  EXPECT_EQ(events[events.size() - 3], "校验结果:与原文件相同!");
  EXPECT_TRUE(test::ReadFile(out.File("mixed.bin")) == content);
}

TEST(ParallelPiecesTest, ParallelMergeGivesBackTheSource) {
  PieceThreadsFor set(4);
  for (const int32_t count : {1, 2, 5, 9}) {
    TempDir dir;
    TempDir out;
    const std::string content = MixedContent(2000000 + static_cast<size_t>(count), 9);
    const std::string source = dir.File("disk.img");
    test::WriteFile(source, content);
    TCWorkInfos split;
    split.Compress = 1;
    split.Level = 1;
    split.CheckKind = ChecksumKind::Md5;
    ASSERT_EQ(RunSplit(source, split, count, dir.path()).back(), kIdle);
    std::filesystem::remove(source);
    Events expected{kBusy, "正在分析文件..."};
    for (int32_t n = 1; n <= count; ++n) {
      expected.push_back(MergeProgressLine(n, count - n));
    }
    expected.insert(expected.end(),
                    {"正在验证生成文件...", "校验结果:与原文件相同!", "合并成功!", kIdle});
    EXPECT_EQ(RunMerge(dir.File(PieceName("disk", count)), {}, out.path()), expected);
    EXPECT_TRUE(test::ReadFile(out.File("disk.img")) == content) << count << " pieces";
  }
}

// The piece lines before a failure: lines 1.. in order, then the failure lines once.
void ExpectPieceLinesThenFailure(const Events& events, int32_t count) {
  ASSERT_GE(events.size(), 6u);
  EXPECT_EQ(Events(events.begin(), events.begin() + 2), (Events{"正在搜集文件信息...", kBusy}));
  EXPECT_EQ(Events(events.end() - 3, events.end()),
            (Events{"文件分割:文件很可能正在被其它程序调用!", "分割失败!", kIdle}));
  for (size_t i = 2; i + 3 < events.size(); ++i) {
    const auto n = static_cast<int32_t>(i - 1);
    EXPECT_EQ(events[i], SplitProgressLine(n, count - n));
  }
}

TEST(ParallelPiecesTest, AFailingPieceEndsTheSplitOnceAndKeepsTheSource) {
  PieceThreadsFor set(4);
  TempDir dir;
  const std::string source = dir.File("data.bin");
  const std::string content = MixedContent(3000000, 3);
  test::WriteFile(source, content);
  // Piece 3 cannot take its name: a folder has it.
  std::filesystem::create_directory(dir.File(PieceName("data", 3)));
  TCWorkInfos options;
  options.Compress = 1;
  options.Level = 3;
  options.DeleteSource = 1;
  options.Overwrite = 1;  // the folder is not replaced even so
  const Events events = RunSplit(source, options, 5, dir.path());
  ExpectPieceLinesThenFailure(events, 5);
  EXPECT_TRUE(std::find(events.begin(), events.end(), SplitProgressLine(3, 2)) != events.end());
  EXPECT_TRUE(std::filesystem::is_directory(dir.File(PieceName("data", 3))));
  EXPECT_TRUE(test::ReadFile(source) == content);
  // No temporary file of an unfinished piece stays behind.
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "data.bin" || name.size() == 9) << name;
  }
}

TEST(ParallelPiecesTest, AWriteFailureInSeveralPiecesIsReportedOnce) {
  PieceThreadsFor set(4);
  TempDir dir;
  const std::string source = dir.File("noise.bin");
  const std::string content = test::RandomBytes(4 * 400000, 11);
  test::WriteFile(source, content);
  TCWorkInfos options;
  options.Compress = 1;
  options.Level = 1;
  options.DeleteSource = 1;
  Events events;
  {
    // Every piece of random bytes outgrows the limit.
    test::FileSizeLimit limit(200000);
    ASSERT_TRUE(limit.ok());
    events = RunSplit(source, options, 4, dir.path());
  }
  ExpectPieceLinesThenFailure(events, 4);
  EXPECT_TRUE(test::ReadFile(source) == content);
}

TEST(ParallelPiecesTest, PauseHoldsEveryPieceThread) {
  PieceThreadsFor set(4);
  TempDir dir;
  const std::string source = dir.File("film.bin");
  const std::string content = MixedContent(6000000, 21);
  test::WriteFile(source, content);
  auto recorder = std::make_shared<Recorder>();
  // The third piece's line means two pieces are being compressed; pause there.
  test::JobLatch latch;
  test::ReleaseOnExit release(latch);
  const std::string third = "正在分割第3个文件,剩余1个文件...";
  recorder->OnLine([latch, third](const std::string& line) mutable {
    if (line == third) {
      latch.Release();
    }
  });
  TCWorkInfos options;
  options.Log = recorder;
  options.Compress = 1;
  options.Level = 3;
  auto worker = TCutFile::Create(source, options, 4, dir.path(), recorder);
  // Released from the worker's own line, without waiting for it: Arrive would block the worker
  // inside its pause gate.
  latch.Arrive();
  worker->Pause();
  const size_t events_at_pause = recorder->Count();
  // The pieces are still temporary files: every file in the folder counts.
  const auto sizes = [&dir] {
    std::vector<std::pair<std::string, uintmax_t>> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      found.emplace_back(entry.path().filename().string(), entry.file_size());
    }
    std::sort(found.begin(), found.end());
    return found;
  };
  const auto sizes_at_pause = sizes();
  EXPECT_GT(sizes_at_pause.size(), 1u);
  EXPECT_FALSE(recorder->WaitForMoreThan(events_at_pause, std::chrono::milliseconds(300)));
  EXPECT_EQ(sizes(), sizes_at_pause) << "a piece grew while paused";
  worker->Continue();
  ASSERT_TRUE(worker->WaitFinished(test::kJobDeadline));
  EXPECT_EQ(recorder->Events(),
            (Events{"正在搜集文件信息...", kBusy, "正在分割第1个文件,剩余3个文件...",
                    "正在分割第2个文件,剩余2个文件...", third, "正在分割第4个文件,剩余0个文件...",
                    "分割成功!", kIdle}));
  std::string joined;
  for (int32_t n = 1; n <= 4; ++n) {
    const auto part = DecompressFileToMemory(dir.File(PieceName("film", n)));
    joined.append(part.begin(), part.end());
  }
  EXPECT_TRUE(joined == content);
}

// A compressed five-piece set of `content` in `dir`, the source removed.
void MakeCompressedSet(const TempDir& dir, const std::string& name, const std::string& content) {
  const std::string source = dir.File(name);
  test::WriteFile(source, content);
  TCWorkInfos split;
  split.Compress = 1;
  split.Level = 1;
  ASSERT_EQ(RunSplit(source, split, 5, dir.path()).back(), kIdle);
  std::filesystem::remove(source);
}

TEST(ParallelPiecesTest, ADamagedPieceEndsTheMergeOnceAndLeavesNoOutput) {
  PieceThreadsFor set(4);
  TempDir dir;
  TempDir out;
  const std::string content = MixedContent(2500000, 17);
  MakeCompressedSet(dir, "part.bin", content);
  // Damage the deflate data of piece 2 early, so that it fails while others still run.
  const std::string piece2 = dir.File(PieceName("part", 2));
  std::string bytes = test::ReadFile(piece2);
  for (size_t i = 40; i < 400; ++i) {
    bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  }
  test::WriteFile(piece2, bytes);
  const Events events = RunMerge(dir.File(PieceName("part", 1)), {}, out.path());
  ASSERT_GE(events.size(), 5u);
  EXPECT_EQ(Events(events.end() - 3, events.end()),
            (Events{"文件合并:文件" + piece2 + "已损坏!", kMergeFailed, kIdle}));
  for (size_t i = 2; i + 3 < events.size(); ++i) {
    const auto n = static_cast<int32_t>(i - 1);
    EXPECT_EQ(events[i], MergeProgressLine(n, 5 - n));
  }
  // No half file, under its name or another.
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
  for (int32_t n = 1; n <= 5; ++n) {
    EXPECT_TRUE(FileExists(dir.File(PieceName("part", n))));
  }
}

// The reason reaches whoever started the job (the command line prints it), like every other
// failed write.
TEST(ParallelPiecesTest, AnOutputWriteFailureNamesTheOutputAndTheReason) {
  PieceThreadsFor set(4);
  TempDir dir;
  TempDir out;
  MakeCompressedSet(dir, "wide.bin", MixedContent(2500000, 19));
  auto recorder = std::make_shared<Recorder>();
  TMWorkInfos merge;
  merge.Log = recorder;
  JobOutcome outcome;
  {
    // The pieces after the second one land past the limit.
    test::FileSizeLimit limit(1000000);
    ASSERT_TRUE(limit.ok());
    auto worker = TMergerFile::Create(dir.File(PieceName("wide", 1)), merge, out.path(), recorder);
    ASSERT_TRUE(worker->WaitFinished(test::kJobDeadline));
    outcome = worker->Outcome();
  }
  EXPECT_EQ(outcome.result, JobResult::Failed);
  ASSERT_TRUE(outcome.failure.has_value());
  EXPECT_EQ(outcome.failure->error_number(), EFBIG);
  EXPECT_EQ(outcome.failure->path(), out.File("wide.bin"));
  EXPECT_NE(std::string(outcome.failure->what()).find(std::strerror(EFBIG)), std::string::npos)
      << outcome.failure->what();
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
}

TEST(ParallelPiecesTest, PauseHoldsEveryMergeThread) {
  PieceThreadsFor set(4);
  TempDir dir;
  TempDir out;
  const std::string content = MixedContent(8000000, 23);
  MakeCompressedSet(dir, "tape.bin", content);
  auto recorder = std::make_shared<Recorder>();
  test::JobLatch latch;
  test::ReleaseOnExit release(latch);
  const std::string third = MergeProgressLine(3, 2);
  recorder->OnLine([latch, third](const std::string& line) mutable {
    if (line == third) {
      latch.Release();
    }
  });
  TMWorkInfos options;
  options.Log = recorder;
  auto worker = TMergerFile::Create(dir.File(PieceName("tape", 4)), options, out.path(), recorder);
  latch.Arrive();
  worker->Pause();
  const size_t events_at_pause = recorder->Count();
  const std::string output = out.File("tape.bin");
  const std::string at_pause = FileExists(output) ? test::ReadFile(output) : "";
  EXPECT_FALSE(recorder->WaitForMoreThan(events_at_pause, std::chrono::milliseconds(300)));
  EXPECT_TRUE((FileExists(output) ? test::ReadFile(output) : "") == at_pause)
      << "the output changed while paused";
  worker->Continue();
  ASSERT_TRUE(worker->WaitFinished(test::kJobDeadline));
  Events expected{kBusy, "正在分析文件..."};
  for (int32_t n = 1; n <= 5; ++n) {
    expected.push_back(MergeProgressLine(n, 5 - n));
  }
  expected.insert(expected.end(), {"合并成功!", kIdle});
  EXPECT_EQ(recorder->Events(), expected);
  EXPECT_TRUE(test::ReadFile(output) == content);
}

// Peak resident memory of this process in KiB.
long PeakKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST(ParallelPiecesTest, ManyThreadsStayFarBelowSixtyFourMebibytes) {
  // In a child process, so that the peak belongs to this job alone.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SetPieceThreads(kMaxPieceThreads);
    TempDir dir;
    TempDir out;
    const std::string source = dir.File("large.bin");
    {
      // Written in slices, so that the test's own buffers do not set the peak.
      File file(source, OpenMode::Create, Share::Shared);
      for (uint32_t i = 0; i < 64; ++i) {
        const std::string slice = MixedContent(1 << 20, i);
        file.Write(slice.data(), slice.size());
      }
      file.Close();
    }
    const long before = PeakKib();
    TCWorkInfos split;
    split.Compress = 1;
    split.Level = 3;
    const bool split_ok = RunSplit(source, split, kMaxPieceThreads, dir.path()).back() == kIdle;
    std::filesystem::remove(source);
    const bool merge_ok = RunMerge(dir.File("large1.vrk"), {}, out.path()).back() == kIdle &&
                          std::filesystem::file_size(out.File("large.bin")) == 64u << 20;
    const long grown_mib = (PeakKib() - before) / 1024;
    std::fprintf(stderr, "peak grew by %ld MiB with %d threads\n", grown_mib, kMaxPieceThreads);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory in quarantine, so the peak is its own, not the job's.
    const bool within_budget = true;
#else
    const bool within_budget = grown_mib < 32;
#endif
    _exit(split_ok && merge_ok && within_budget ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace qarvo
