#include "trailer/trailer.h"

#include <gtest/gtest.h>

#include <string>

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
