#include "codec/block_pipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "support/test_support.h"

namespace qarvo {
namespace {

TEST(BlockPipeTest, TheConsumerGetsEveryBlockInOrderAndTheChecksumMatchesOneRead) {
  const std::string data = test::RandomBytes(1000003, 4);
  test::TempDir dir;
  test::WriteFile(dir.File("data"), data);
  for (const ChecksumKind kind : {ChecksumKind::Md5, ChecksumKind::Crc32}) {
    File in(dir.File("data"), OpenMode::Read, Share::Shared);
    const std::string expected =
        ChecksumTextOf(in, static_cast<int64_t>(data.size()), kind, nullptr);
    RunningChecksum checksum(kind);
    std::string seen;
    BlockPipe pipe(4096, 2, [&](const uint8_t* block, size_t size) {
      checksum.Update(block, size);
      seen.append(block, block + size);
    });
    for (size_t at = 0; at < data.size();) {
      const size_t step = std::min<size_t>(pipe.block_size() - (at % 7), data.size() - at);
      std::memcpy(pipe.Acquire(), data.data() + at, step);
      pipe.Push(step);
      at += step;
    }
    pipe.Finish();
    EXPECT_EQ(seen, data);
    EXPECT_EQ(checksum.Text(), expected);
  }
}

TEST(BlockPipeTest, AFailingConsumerStopsTheProducerAndALeavingProducerStopsTheConsumer) {
  std::atomic<int> taken{0};
  {
    BlockPipe pipe(16, 2, [&](const uint8_t*, size_t) {
      if (++taken == 3) {
        throw std::runtime_error("digest failed");
      }
    });
    // The producer learns of the failure at its next step, at the latest when it finishes.
    EXPECT_THROW(
        {
          for (int i = 0; i < 1000; ++i) {
            pipe.Acquire();
            pipe.Push(16);
          }
          pipe.Finish();
        },
        std::runtime_error);
  }
  EXPECT_EQ(taken.load(), 3);

  // A producer that fails mid-way lets the pipe go: the consumer stops without the rest.
  std::atomic<int> consumed{0};
  {
    BlockPipe pipe(16, 4, [&](const uint8_t*, size_t) { ++consumed; });
    for (int i = 0; i < 3; ++i) {
      pipe.Acquire();
      pipe.Push(16);
    }
  }
  EXPECT_LE(consumed.load(), 3);
}

TEST(FileFollowerTest, DigestsWhatIsWrittenAsItIsWrittenAndFailsOnWhatIsNotThere) {
  const std::string data = test::RandomBytes(700001, 6);
  test::TempDir dir;
  for (const ChecksumKind kind : {ChecksumKind::Md5, ChecksumKind::Crc32}) {
    File out(dir.File("out"), OpenMode::CreateNew, Share::Shared);
    FileFollower follower(out, kind);
    for (size_t at = 0; at < data.size(); at += 50000) {
      const size_t step = std::min<size_t>(50000, data.size() - at);
      out.Write(data.data() + at, step);
      follower.WrittenUpTo(static_cast<int64_t>(at + step));
    }
    File in(dir.File("out"), OpenMode::Read, Share::Shared);
    EXPECT_EQ(follower.Finish(static_cast<int64_t>(data.size())),
              ChecksumTextOf(in, static_cast<int64_t>(data.size()), kind, nullptr));
    out.Close();
    std::remove(dir.File("out").c_str());
  }
  // Reported as written, but the file ends before: the follower's read fails, and says so.
  File out(dir.File("short"), OpenMode::CreateNew, Share::Shared);
  out.Write(data.data(), 1000);
  FileFollower follower(out, ChecksumKind::Md5);
  EXPECT_THROW(follower.Finish(5000), FileError);
  // A follower let go while the writer still runs stops without the rest.
  FileFollower abandoned(out, ChecksumKind::Crc32);
  abandoned.WrittenUpTo(1000);
}

}  // namespace
}  // namespace qarvo
