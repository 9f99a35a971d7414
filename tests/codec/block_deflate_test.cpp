#include "codec/block_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "codec/envelope.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

// Compressible, but not trivially: words drawn from a small vocabulary by a fixed generator,
// so that matches reach back across block boundaries as in real text.
std::string TextLike(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"split ", "merge ", "piece ",  "trailer ", "checksum ",
                                       "zlib ",  "block ", "window ", "数据 ",    "文件 ",
                                       "\n",     "0123 ",  "qarvo "};
  std::string out;
  uint32_t state = seed;
  while (out.size() < size) {
    state = state * 1103515245U + 12345U;
    out += kWords[(state >> 16) % (sizeof(kWords) / sizeof(kWords[0]))];
    if ((state >> 8) % 17 == 0) {
      out += std::to_string(state % 100000);
    }
  }
  out.resize(size);
  return out;
}

// One envelope made by the parallel deflater, the content handed in `chunk` bytes at a time.
std::string Envelope(const std::string& content, int level, int threads, size_t chunk) {
  std::string out;
  ParallelDeflater deflater(level, threads, nullptr);
  deflater.Begin(static_cast<int64_t>(content.size()),
                 [&](const uint8_t* data, size_t size) { out.append(data, data + size); });
  for (size_t at = 0; at < content.size(); at += chunk) {
    const size_t step = std::min(chunk, content.size() - at);
    deflater.Add(reinterpret_cast<const uint8_t*>(content.data() + at), step);
  }
  deflater.End(nullptr);
  deflater.Flush();
  return out;
}

// zlib's one-call reader, which knows nothing of blocks.
std::string Uncompress(const std::string& envelope, size_t size) {
  std::string out(size, '\0');
  uLongf out_size = static_cast<uLongf>(size);
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &out_size,
                       reinterpret_cast<const Bytef*>(envelope.data() + 4),
                       static_cast<uLong>(envelope.size() - 4)),
            Z_OK);
  out.resize(out_size);
  return out;
}

TEST(ParallelDeflaterTest, EveryLevelAndBoundaryGivesAConformingStreamOfTheContent) {
  const std::vector<size_t> sizes = {0,
                                     1,
                                     kDeflateWindow,
                                     kDeflateBlockSize - 1,
                                     kDeflateBlockSize,
                                     kDeflateBlockSize + 1,
                                     3 * kDeflateBlockSize + 4321};
  test::TempDir dir;
  for (int level = 0; level <= 3; ++level) {
    for (const size_t size : sizes) {
      SCOPED_TRACE("level " + std::to_string(level) + ", " + std::to_string(size) + " bytes");
      const std::string content = TextLike(size, static_cast<uint32_t>(size + 7));
      const std::string envelope = Envelope(content, level, 2, 10000);
      ASSERT_GE(envelope.size(), 6u);
      EXPECT_EQ(envelope.substr(0, 4),
                std::string({static_cast<char>(size), static_cast<char>(size >> 8),
                             static_cast<char>(size >> 16), static_cast<char>(size >> 24)}));
      // The header is the one zlib writes for this level.
      uLong check = (static_cast<uint8_t>(envelope[4]) << 8) | static_cast<uint8_t>(envelope[5]);
      EXPECT_EQ(check % 31, 0u);
      EXPECT_EQ(Uncompress(envelope, size), content);
      // And the program's own reader, with a trailer behind the stream, reads it too.
      const std::string path = dir.File("piece");
      test::WriteFile(path, envelope + std::string(344, 'T'));
      const std::vector<uint8_t> back = DecompressFileToMemory(path);
      EXPECT_EQ(std::string(back.begin(), back.end()), content);
    }
  }
}

TEST(ParallelDeflaterTest, BytesDependOnNeitherThreadsNorHowTheContentArrives) {
  const std::string content = TextLike(5 * kDeflateBlockSize + 999, 3);
  for (int level = 1; level <= 3; ++level) {
    const std::string reference = Envelope(content, level, 1, content.size());
    EXPECT_EQ(Envelope(content, level, 2, 4096), reference);
    EXPECT_EQ(Envelope(content, level, 8, 65536 + 3), reference);
  }
}

TEST(ParallelDeflaterTest, RatioStaysWithinOnePercentOfOneStream) {
  const std::string content = TextLike(2 << 20, 11) + test::RandomBytes(128 << 10, 5);
  for (int level = 1; level <= 3; ++level) {
    test::TempDir dir;
    const std::string path = dir.File("one");
    test::WriteFile(path, content);
    CompressFileInPlace(path, level);
    const double one_stream = static_cast<double>(test::ReadFile(path).size());
    const double blocks = static_cast<double>(Envelope(content, level, 4, 60000).size());
    EXPECT_LE(blocks, one_stream * 1.01) << "level " << level;
  }
}

TEST(ParallelDeflaterTest, EnvelopesInARowEachGetTheirOwnBytesInOrder) {
  const std::string first = TextLike(3 * kDeflateBlockSize + 5, 1);
  const std::string second = TextLike(7, 2);
  const std::string third = TextLike(kDeflateBlockSize * 2, 3);
  std::vector<std::string> out(3);
  std::vector<int> ended;
  ParallelDeflater deflater(2, 3, nullptr);
  int index = 0;
  for (const std::string* content : {&first, &second, &third}) {
    deflater.Begin(static_cast<int64_t>(content->size()),
                   [&out, index](const uint8_t* data, size_t size) {
                     out[static_cast<size_t>(index)].append(data, data + size);
                   });
    deflater.Add(reinterpret_cast<const uint8_t*>(content->data()), content->size());
    deflater.End([&ended, index] { ended.push_back(index); });
    ++index;
  }
  deflater.Flush();
  EXPECT_EQ(ended, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(Uncompress(out[0], first.size()), first);
  EXPECT_EQ(Uncompress(out[1], second.size()), second);
  EXPECT_EQ(Uncompress(out[2], third.size()), third);
  // Each is the envelope it would be on its own.
  EXPECT_EQ(out[0], Envelope(first, 2, 1, first.size()));
}

TEST(ParallelDeflaterTest, AWrongAmountOrAFailingSinkStopsTheJob) {
  const std::string content = TextLike(10 * kDeflateBlockSize, 9);
  {
    ParallelDeflater deflater(2, 2, nullptr);
    deflater.Begin(10, [](const uint8_t*, size_t) {});
    deflater.Add(reinterpret_cast<const uint8_t*>(content.data()), 4);
    EXPECT_THROW(deflater.End(nullptr), CompressionError);
    EXPECT_THROW(deflater.Add(reinterpret_cast<const uint8_t*>(content.data()), 7),
                 CompressionError);
  }
  EXPECT_THROW(ParallelDeflater(4, 1, nullptr), CompressionError);
  EXPECT_THROW(
      {
        ParallelDeflater deflater(2, 8, nullptr);
        deflater.Begin(static_cast<int64_t>(content.size()),
                       [](const uint8_t*, size_t) { throw std::runtime_error("disk full"); });
        deflater.Add(reinterpret_cast<const uint8_t*>(content.data()), content.size());
        deflater.End(nullptr);
        deflater.Flush();
      },
      std::runtime_error);
}

}  // namespace
}  // namespace qarvo
