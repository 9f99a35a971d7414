#include "codec/envelope.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace qarvo {
namespace {

std::string AsString(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

uint32_t DeclaredLength(const std::string& envelope) {
  return static_cast<uint8_t>(envelope[0]) | (static_cast<uint8_t>(envelope[1]) << 8) |
         (static_cast<uint8_t>(envelope[2]) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(envelope[3])) << 24);
}

// Inflates with zlib directly, independently of the code under test.
std::string Inflate(const std::string& stream, size_t size) {
  std::string out(size, '\0');
  uLongf out_size = static_cast<uLongf>(size);
  const int result =
      uncompress(reinterpret_cast<Bytef*>(out.data()), &out_size,
                 reinterpret_cast<const Bytef*>(stream.data()), static_cast<uLong>(stream.size()));
  EXPECT_EQ(result, Z_OK);
  out.resize(out_size);
  return out;
}

std::string Content() {
  std::string text;
  for (int i = 0; i < 5000; ++i) {
    text += "line " + std::to_string(i) + " of a compressible piece\n";
  }
  return text + test::RandomBytes(100000, 3);
}

TEST(Envelope, RoundTripAtEveryLevelWithTheDocumentedLayout) {
  test::TempDir dir;
  const std::string content = Content();
  size_t previous_size = 0;
  for (int level = 0; level <= 3; ++level) {
    const std::string path = dir.File("piece");
    test::WriteFile(path, content);
    CompressFileInPlace(path, level);
    const std::string envelope = test::ReadFile(path);
    EXPECT_EQ(DeclaredLength(envelope), content.size());
    EXPECT_EQ(envelope[4], '\x78') << "zlib header expected after the length";
    EXPECT_EQ(Inflate(envelope.substr(4), content.size()), content);
    EXPECT_EQ(AsString(DecompressFileToMemory(path)), content) << level;
    if (level == 0) {
      // Stored blocks: the content appears verbatim.
      EXPECT_NE(envelope.find(content.substr(0, 1000)), std::string::npos);
    } else {
      EXPECT_LT(envelope.size(), previous_size) << level;
    }
    previous_size = envelope.size();
  }
  EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"piece"});
}

// Streams written by other deflaters may use any strategy, window and block layout that zlib
// can produce; each must read back to its content, also across the reader's input chunks.
TEST(Envelope, ReadsEveryKindOfValidStream) {
  test::TempDir dir;
  const std::string path = dir.File("piece");
  const std::string content = Content() + std::string(70000, 'z') + Content().substr(0, 90000);
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  for (const int strategy : strategies) {
    for (const int level : {0, 1, 6, 9}) {
      for (const int window : {9, 12, 15}) {
        for (const int flush : {Z_NO_FLUSH, Z_SYNC_FLUSH, Z_FULL_FLUSH}) {
          z_stream stream{};
          ASSERT_EQ(deflateInit2(&stream, level, Z_DEFLATED, window, 8, strategy), Z_OK);
          std::string compressed(deflateBound(&stream, content.size()) + 64, '\0');
          stream.next_out = reinterpret_cast<Bytef*>(compressed.data());
          stream.avail_out = static_cast<uInt>(compressed.size());
          // Flushes cut the data into blocks of odd sizes, with empty stored blocks between.
          for (size_t at = 0; at < content.size(); at += 40001) {
            const size_t part = std::min<size_t>(40001, content.size() - at);
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data() + at));
            stream.avail_in = static_cast<uInt>(part);
            const bool last = at + part == content.size();
            ASSERT_EQ(deflate(&stream, last ? Z_FINISH : flush), last ? Z_STREAM_END : Z_OK);
          }
          compressed.resize(stream.total_out);
          deflateEnd(&stream);
          const auto length = static_cast<uint32_t>(content.size());
          const std::string envelope{
              static_cast<char>(length & 0xFF), static_cast<char>((length >> 8) & 0xFF),
              static_cast<char>((length >> 16) & 0xFF), static_cast<char>(length >> 24)};
          test::WriteFile(path, envelope + compressed);
          EXPECT_EQ(AsString(DecompressFileToMemory(path)), content)
              << "strategy " << strategy << ", level " << level << ", window " << window
              << ", flush " << flush;
        }
      }
    }
  }
}

TEST(Envelope, EmptyFile) {
  test::TempDir dir;
  const std::string path = dir.File("empty");
  test::WriteFile(path, "");
  CompressFileInPlace(path, 2);
  const std::string envelope = test::ReadFile(path);
  ASSERT_GT(envelope.size(), 4U);
  EXPECT_EQ(envelope.substr(0, 4), std::string(4, '\0'));
  EXPECT_EQ(Inflate(envelope.substr(4), 0), "");
  EXPECT_TRUE(DecompressFileToMemory(path).empty());
}

TEST(Envelope, BytesAfterTheStreamAreIgnored) {
  test::TempDir dir;
  const std::string path = dir.File("piece");
  const std::string content = Content();
  test::WriteFile(path, content);
  CompressFileInPlace(path, 1);
  test::WriteFile(path, test::ReadFile(path) + test::RandomBytes(344, 9));
  EXPECT_EQ(AsString(DecompressFileToMemory(path)), content);
}

TEST(Envelope, ASmallerDeclaredLengthReturnsOnlyThatMany) {
  test::TempDir dir;
  const std::string path = dir.File("piece");
  const std::string content = Content();
  test::WriteFile(path, content);
  CompressFileInPlace(path, 3);
  std::string envelope = test::ReadFile(path);
  envelope[0] = 10;
  envelope[1] = envelope[2] = envelope[3] = 0;
  test::WriteFile(path, envelope);
  EXPECT_EQ(AsString(DecompressFileToMemory(path)), content.substr(0, 10));
}

TEST(Envelope, StreamsThatEndEarlyFail) {
  test::TempDir dir;
  const std::string path = dir.File("piece");
  const std::string content = Content();
  test::WriteFile(path, content);
  CompressFileInPlace(path, 2);
  const std::string envelope = test::ReadFile(path);

  // The stream is complete but holds fewer bytes than declared.
  std::string longer = envelope;
  longer[3] = 1;
  test::WriteFile(path, longer);
  EXPECT_THROW(DecompressFileToMemory(path), CompressionError);

  // The file is cut inside the stream.
  test::WriteFile(path, envelope.substr(0, envelope.size() / 2));
  EXPECT_THROW(DecompressFileToMemory(path), CompressionError);

  // Only the length is there.
  test::WriteFile(path, envelope.substr(0, 4));
  EXPECT_THROW(DecompressFileToMemory(path), CompressionError);

  // Not even the length: a read error.
  test::WriteFile(path, envelope.substr(0, 3));
  EXPECT_THROW(DecompressFileToMemory(path), FileError);
  EXPECT_THROW(DecompressFileToMemory(dir.File("missing")), FileError);
}

TEST(Envelope, DamagedDataFailsWithTheCompressionError) {
  test::TempDir dir;
  const std::string path = dir.File("piece");
  test::WriteFile(path, Content());
  CompressFileInPlace(path, 2);
  std::string envelope = test::ReadFile(path);
  envelope[4] = 0x79;  // zlib header check fails
  test::WriteFile(path, envelope);
  try {
    DecompressFileToMemory(path);
    FAIL() << "damaged header accepted";
  } catch (const CompressionError& error) {
    EXPECT_STREQ(error.what(), "Error");
  }
  EXPECT_EQ(test::ReadFile(path), envelope) << "reading must not touch the file";

  // A wrong Adler-32 is seen when the stream's end is read with its last bytes, as it is for a
  // piece whose trailer follows the stream.
  envelope[4] = 0x78;
  std::string wrong_check = envelope;
  wrong_check.back() = static_cast<char>(wrong_check.back() ^ 1);
  test::WriteFile(path, wrong_check + std::string(344, 'T'));
  EXPECT_THROW(DecompressFileToMemory(path), CompressionError);

  // Damage inside the deflate data either breaks the stream or decodes to other bytes.
  const std::string content = Content();
  int caught = 0;
  for (size_t at = 6; at < 2000; at += 97) {
    std::string damaged = envelope;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x55);
    test::WriteFile(path, damaged);
    try {
      EXPECT_NE(AsString(DecompressFileToMemory(path)), content) << at;
    } catch (const CompressionError&) {
      ++caught;
    }
  }
  EXPECT_GT(caught, 0);
}

TEST(Envelope, ALyingLengthFailsQuicklyWithoutReservingIt) {
  test::TempDir dir;
  const std::string path = dir.File("liar");
  test::WriteFile(path, "x");
  CompressFileInPlace(path, 2);
  std::string envelope = test::ReadFile(path);
  envelope[0] = envelope[1] = envelope[2] = envelope[3] = '\xFF';
  envelope.resize(30, '\0');
  test::WriteFile(path, envelope);

  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(DecompressFileToMemory(path), CompressionError);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(elapsed, std::chrono::seconds(1));
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kilobytes of peak growth";
}

TEST(Envelope, RefusesAFileHeldWithoutSharing) {
  test::TempDir dir;
  const std::string path = dir.File("busy");
  test::WriteFile(path, "content");
  File holder(path, OpenMode::ReadWrite, Share::Exclusive);
  EXPECT_THROW(CompressFileInPlace(path, 1), FileError);
  EXPECT_EQ(test::ReadFile(path), "content");
  EXPECT_THROW(CompressFileInPlace(dir.File("missing"), 1), FileError);
  EXPECT_THROW(CompressFileInPlace(path, 4), CompressionError);
}

// A rewrite that fails half-way keeps the original file and leaves no temporary file behind.
TEST(Envelope, AFailedRewriteKeepsTheOriginal) {
  test::TempDir dir;
  const std::string path = dir.File("piece");
  const std::string content = test::RandomBytes(200000, 5);
  test::WriteFile(path, content);

  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = 100000;  // writes past this size fail with EFBIG
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool threw = false;
  try {
    CompressFileInPlace(path, 0);
  } catch (const FileError& error) {
    threw = true;
    EXPECT_EQ(error.error_number(), EFBIG);
  }
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_TRUE(threw);
  EXPECT_EQ(test::ReadFile(path), content);
  EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"piece"});
}

TEST(Envelope, KeepsTheFilePermissions) {
  test::TempDir dir;
  const std::string path = dir.File("piece");
  test::WriteFile(path, "abc");
  std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read);
  CompressFileInPlace(path, 1);
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::owner_write |
                                                             std::filesystem::perms::group_read);
}

class SumObserver : public CopyObserver {
 public:
  std::unique_lock<std::mutex> BeforeBlock() override {
    return std::unique_lock<std::mutex>(mutex_);
  }
  void Advanced(int64_t bytes) override {
    total += bytes;
    largest = std::max(largest, bytes);
  }
  int64_t total = 0;
  int64_t largest = 0;

 private:
  std::mutex mutex_;
};

// The streaming forms write the same bytes as the whole-file operation and read a range of a
// larger file.
TEST(EnvelopeStreams, SameBytesAsTheWholeFileForm) {
  test::TempDir dir;
  const std::string content = Content();
  const std::string source = dir.File("source");
  test::WriteFile(source, "PREFIX" + content + "SUFFIX");
  test::WriteFile(dir.File("whole"), content);
  CompressFileInPlace(dir.File("whole"), 2);

  {
    File in(source, OpenMode::Read, Share::Shared);
    in.Seek(6);
    File out(dir.File("streamed"), OpenMode::Create, Share::Exclusive);
    out.Write("HEAD", 4);
    SumObserver observer;
    CompressToEnvelope(in, static_cast<int64_t>(content.size()), out, 2, &observer);
    EXPECT_EQ(observer.total, static_cast<int64_t>(content.size()));
    EXPECT_LE(observer.largest, static_cast<int64_t>(kCopyBlockSize));
    out.Write("TAIL", 4);
    out.Close();
  }
  const std::string streamed = test::ReadFile(dir.File("streamed"));
  const std::string whole = test::ReadFile(dir.File("whole"));
  EXPECT_EQ(streamed, "HEAD" + whole + "TAIL");

  File in(dir.File("streamed"), OpenMode::Read, Share::Shared);
  in.Seek(4);
  File out(dir.File("joined"), OpenMode::Create, Share::Exclusive);
  SumObserver observer;
  EXPECT_EQ(DecompressEnvelope(in, static_cast<int64_t>(whole.size()), out, &observer),
            static_cast<int64_t>(content.size()));
  out.Close();
  EXPECT_EQ(observer.total, static_cast<int64_t>(content.size()));
  EXPECT_EQ(test::ReadFile(dir.File("joined")), content);
}

TEST(EnvelopeStreams, RefusesWhatDoesNotFitOrIsNotThere) {
  test::TempDir dir;
  test::WriteFile(dir.File("small"), "12345");
  File in(dir.File("small"), OpenMode::Read, Share::Shared);
  File out(dir.File("out"), OpenMode::Create, Share::Exclusive);
  EXPECT_THROW(CompressToEnvelope(in, int64_t{1} << 32, out, 1, nullptr), CompressionError);
  EXPECT_THROW(CompressToEnvelope(in, 6, out, 1, nullptr), FileError);

  // The reader looks at no more than it is given, even when the file goes on.
  test::WriteFile(dir.File("env"), "x");
  CompressFileInPlace(dir.File("env"), 1);
  const std::string envelope = test::ReadFile(dir.File("env"));
  test::WriteFile(dir.File("env"), envelope + envelope);
  File env(dir.File("env"), OpenMode::Read, Share::Shared);
  EXPECT_THROW(DecompressEnvelope(env, 3, out, nullptr), FileError);
  env.Seek(0);
  EXPECT_THROW(DecompressEnvelope(env, 6, out, nullptr), CompressionError);
  env.Seek(0);
  EXPECT_EQ(DecompressEnvelope(env, static_cast<int64_t>(envelope.size()), out, nullptr), 1);
}

// Pieces made by an independent implementation: each payload is an envelope followed by the
// 344-byte trailer.
TEST(EnvelopeStreams, ReadsTheInteroperabilityPieces) {
  const std::string dir = test::VectorsDir() + "/split-md5-compressed/";
  std::string joined;
  for (int n = 1; n <= 4; ++n) {
    const std::string piece = dir + "data" + std::to_string(n) + ".vrk";
    joined += AsString(DecompressFileToMemory(piece));
  }
  EXPECT_EQ(joined, test::ReadFile(dir + "data.bin"));

  test::TempDir out_dir;
  File out(out_dir.File("data.bin"), OpenMode::Create, Share::Exclusive);
  for (int n = 1; n <= 4; ++n) {
    File piece(dir + "data" + std::to_string(n) + ".vrk", OpenMode::Read, Share::Shared);
    DecompressEnvelope(piece, piece.Size() - 344, out, nullptr);
  }
  out.Close();
  EXPECT_EQ(test::ReadFile(out_dir.File("data.bin")), joined);
}

}  // namespace
}  // namespace qarvo
