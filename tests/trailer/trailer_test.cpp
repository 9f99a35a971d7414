#include "trailer/trailer.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "codec/des.h"
#include "platform/file.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(Trailer, ReadTrailerTakesTheLastBytesOrNothing) {
  TempDir dir;
  WriteFile(dir.File("f"), "data" + std::string("TRAILER"));
  File file(dir.File("f"), OpenMode::Read, Share::Shared);
  std::string block = "untouched";
  EXPECT_FALSE(ReadTrailer(file, file.Size(), 12, block));
  EXPECT_EQ(block, "untouched");
  ASSERT_TRUE(ReadTrailer(file, file.Size(), 7, block));
  EXPECT_EQ(block, "TRAILER");
  // A file exactly the block's size is all trailer.
  ASSERT_TRUE(ReadTrailer(file, file.Size(), 11, block));
  EXPECT_EQ(block, "dataTRAILER");
}

// The reader sees exactly the file's last block; a file below the least size never reaches it;
// the file stays open without sharing, so a second opener is refused like a busy file.
TEST(Trailer, OpenAndReadHeaderHandsTheLastBlockToTheFormatsReader) {
  TempDir dir;
  WriteFile(dir.File("f"), "data" + std::string("TRAILER"));
  int calls = 0;
  std::string seen;
  const auto reader = [&](std::string_view block) {
    ++calls;
    seen = block;
    return HeaderStatus::WrongPassword;
  };
  File file;
  std::string block;
  EXPECT_EQ(OpenAndReadHeader(dir.File("f"), 7, 12, file, block, reader),
            HeaderStatus::NotRecognised);
  EXPECT_EQ(calls, 0);
  file = File();
  EXPECT_EQ(OpenAndReadHeader(dir.File("f"), 7, 8, file, block, reader),
            HeaderStatus::WrongPassword);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seen, "TRAILER");
  EXPECT_EQ(block, "TRAILER");
  File second;
  EXPECT_THROW(OpenAndReadHeader(dir.File("f"), 7, 8, second, block, reader), FileError);
  file = File();
  EXPECT_THROW(OpenAndReadHeader(dir.File("missing"), 7, 8, second, block, reader), FileError);
  EXPECT_EQ(calls, 1);
}

TEST(Trailer, BlockRoundTripsThroughTheFieldReader) {
  const std::string text = std::string(kHeaderMagic) + PasswordDigestField("abc12") + "|7|x|";
  const std::string block = MakeTrailerBlock(EncryptHeaderWithFiller(text), 174);
  ASSERT_EQ(block.size(), 174u);
  const std::string plain = DecryptTrailerBlock(block);
  HeaderFieldReader wrong(plain);
  EXPECT_EQ(wrong.ReadMagicAndPassword("other"), HeaderStatus::WrongPassword);
  HeaderFieldReader reader(plain);
  ASSERT_EQ(reader.ReadMagicAndPassword("abc12"), HeaderStatus::Ok);
  std::string_view field;
  ASSERT_TRUE(reader.Next(2, field));
  EXPECT_EQ(field, "7");
  // The second field's "|" lies past position 1.
  EXPECT_FALSE(reader.Next(1, field));
  EXPECT_THROW(MakeTrailerBlock(std::string(175, 'x'), 174), std::length_error);
}

}  // namespace
}  // namespace qarvo
