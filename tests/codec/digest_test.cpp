#include "codec/digest.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

constexpr char kEmptyMd5[] = "d41d8cd98f00b204e9800998ecf8427e";

// Counts the blocks a digest reads.
class CountingObserver : public CopyObserver {
 public:
  std::unique_lock<std::mutex> BeforeBlock() override {
    ++before;
    return std::unique_lock<std::mutex>(mutex_);
  }
  void Advanced(int64_t bytes) override { blocks.push_back(bytes); }
  int before = 0;
  std::vector<int64_t> blocks;

 private:
  std::mutex mutex_;
};

TEST(Md5, Rfc1321Suite) {
  EXPECT_EQ(Md5Hex(Md5OfText("")), kEmptyMd5);
  EXPECT_EQ(Md5Hex(Md5OfText("abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex(Md5OfText("a")), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Md5Hex(Md5OfText("message digest")), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Md5Hex(Md5OfText("abcdefghijklmnopqrstuvwxyz")), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Md5Hex(Md5OfText("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(Md5Hex(Md5OfText("1234567890123456789012345678901234567890123456789012345678901234"
                             "5678901234567890")),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, PaddingBoundaries) {
  // Lengths around the 56-byte padding limit and the 64-byte block.
  const std::pair<size_t, const char*> cases[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"},  {56, "3b0c8ac703f828b04c6c197006d17218"},
      {57, "652b906d60af96844ebd21b674f35e93"},  {63, "b06521f39153d618550606be297466d5"},
      {64, "014842d480b571495a4a0363793f7367"},  {65, "c743a45e0d2e6a95cb859adae0248435"},
      {119, "8a7bd0732ed6a28ce75f6dabc90e1613"}, {120, "5f61c0ccad4cac44c75ff505e1f1e537"},
      {128, "e510683b3f5ffe4093d021808bc6ff70"},
  };
  for (const auto& [length, hex] : cases) {
    EXPECT_EQ(Md5Hex(Md5OfText(std::string(length, 'a'))), hex) << length;
  }
}

TEST(Md5, PiecewiseUpdatesEqualOnePass) {
  const std::string data = test::RandomBytes(1000, 7);
  const std::string expected = Md5Hex(Md5OfText(data));
  for (const size_t step : {1U, 3U, 63U, 64U, 65U, 127U, 999U}) {
    Md5 md5;
    for (size_t at = 0; at < data.size(); at += step) {
      const size_t size = std::min(step, data.size() - at);
      md5.Update(data.data() + at, size);
    }
    EXPECT_EQ(Md5Hex(md5.Final()), expected) << step;
  }
}

TEST(Md5, TextIsDigestedAsStoredBytes) {
  // Callers pass GB18030 bytes: "密码" as GB18030 and as UTF-8 give different digests.
  EXPECT_EQ(Md5Hex(Md5OfText("\xC3\xDC\xC2\xEB")), "d2293e30f0c964c5f6242486aa8a483c");
  EXPECT_EQ(Md5Hex(Md5OfText("\xE5\xAF\x86\xE7\xA0\x81")), "a8105204604a0b11e916f3879aae3b0b");
}

TEST(Md5OfFile, MatchesTheContentAcrossReadBlocks) {
  test::TempDir dir;
  for (const size_t size : {1U, 65536U, 245760U, 245761U, 1000000U}) {
    const std::string data = test::RandomBytes(size, static_cast<uint32_t>(size));
    test::WriteFile(dir.File("f"), data);
    EXPECT_EQ(Md5OfFile(dir.File("f")), Md5OfText(data)) << size;
  }
}

TEST(Md5OfFile, UnreadableFilesGiveTheDigestOfNothing) {
  test::TempDir dir;
  test::WriteFile(dir.File("empty"), "");
  EXPECT_EQ(Md5Hex(Md5OfFile(dir.File("empty"))), kEmptyMd5);
  EXPECT_EQ(Md5Hex(Md5OfFile(dir.File("missing"))), kEmptyMd5);
  EXPECT_EQ(Md5Hex(Md5OfFile(dir.path())), kEmptyMd5);
  EXPECT_EQ(Crc32OfFileText(dir.File("empty")), "");
  EXPECT_EQ(Crc32OfFileText(dir.File("missing")), "");
  EXPECT_EQ(Crc32OfFile(dir.path()), 0U);
}

TEST(Md5OfFile, ReadsAFileHeldOpenWithoutSharing) {
  test::TempDir dir;
  test::WriteFile(dir.File("busy"), "abc");
  File holder(dir.File("busy"), OpenMode::ReadWrite, Share::Exclusive);
  EXPECT_EQ(Md5Hex(Md5OfFile(dir.File("busy"))), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Crc32OfFileText(dir.File("busy")), "352441C2");
  EXPECT_EQ(FileSizeOf(dir.File("busy")), 3);
}

TEST(Crc32, CheckValueAndTextRules) {
  EXPECT_EQ(Crc32Update(0, "123456789", 9), 0xCBF43926U);
  EXPECT_EQ(Crc32Text(0), "");
  EXPECT_EQ(Crc32Text(0xABCD), "00ABCD");
  EXPECT_EQ(Crc32Text(0x12345), "012345");
  EXPECT_EQ(Crc32Text(0xABCDEF), "ABCDEF");
  EXPECT_EQ(Crc32Text(0x1234567), "1234567");
  EXPECT_EQ(Crc32Text(0xABCDEF1), "ABCDEF1");
  EXPECT_EQ(Crc32Text(0xCBF43926), "CBF43926");
  EXPECT_EQ(Crc32Text(1), "000001");
}

TEST(Crc32OfFile, TextsOfRealFiles) {
  test::TempDir dir;
  // Contents chosen for their CRCs: 0xA8653 (six digits with a leading zero) and 0x5EC2315
  // (seven digits).
  const std::pair<const char*, const char*> cases[] = {
      {"123456789", "CBF43926"}, {"qarvo-33", "0A8653"}, {"qarvo-3", "5EC2315"}};
  for (const auto& [content, text] : cases) {
    test::WriteFile(dir.File("f"), content);
    EXPECT_EQ(Crc32OfFileText(dir.File("f")), text) << content;
  }
}

TEST(Crc32OfFile, ReadsIn65521ByteBlocks) {
  test::TempDir dir;
  for (const size_t size : {65521U, 65522U, 3U * 65521U + 7U}) {
    const std::string data = test::RandomBytes(size, static_cast<uint32_t>(size));
    test::WriteFile(dir.File("f"), data);
    CountingObserver observer;
    const uint32_t crc = Crc32OfFile(dir.File("f"), &observer);
    EXPECT_EQ(crc, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                                               static_cast<uInt>(data.size()))));
    ASSERT_FALSE(observer.blocks.empty());
    for (size_t i = 0; i + 1 < observer.blocks.size(); ++i) {
      EXPECT_EQ(observer.blocks[i], 65521);
    }
    EXPECT_EQ(observer.blocks.size(), (size + 65520) / 65521) << size;
    // One more look for the empty read that ends the loop.
    EXPECT_EQ(observer.before, static_cast<int>(observer.blocks.size()) + 1);
  }
}

TEST(FileSizeOf, FailureNamesTheFileAndTheReason) {
  test::TempDir dir;
  const std::string missing = dir.File("no such file.bin");
  try {
    FileSizeOf(missing);
    FAIL() << "no error for a missing file";
  } catch (const FileError& error) {
    EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find(std::strerror(ENOENT)), std::string::npos)
        << error.what();
    EXPECT_EQ(error.error_number(), ENOENT);
  }
  test::WriteFile(dir.File("ten"), "0123456789");
  EXPECT_EQ(FileSizeOf(dir.File("ten")), 10);
}

// A sparse file past 4 GiB: its size and both digests must take every byte into account.
// The expected values come from an independent implementation over the same bytes.
TEST(LargeFile, SizeAndDigestsOfASparseFileAbove4GiB) {
  test::TempDir dir;
  const std::string path = dir.File("sparse.bin");
  const int64_t size = (int64_t{1} << 32) + 4096 + 5;
  {
    File file(path, OpenMode::Create, Share::Exclusive);
    file.Write("head", 4);
    file.Truncate(size - 5);
    file.SeekToEnd();
    file.Write("qarvo", 5);
    file.Close();
  }
  EXPECT_EQ(FileSizeOf(path), size);
  EXPECT_EQ(Md5Hex(Md5OfFile(path)), "c2e891e62458fd7d09b774be2ace0a4d");
  EXPECT_EQ(Crc32OfFileText(path), "AF7AE6F8");
}

}  // namespace
}  // namespace qarvo
