#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "codec/digest.h"
#include "platform/file.h"
#include "support/read_fault.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

using test::ReadFaultGuard;
using test::TempDir;
using test::WriteFile;

// A read that fails half way through a file is an error of that file, never the end of it:
// every file digest throws FileError with the path and the system's reason.
TEST(DigestReadFault, AFailedReadInTheMiddleIsAnErrorOfThatFile) {
  TempDir dir;
  const std::string path = dir.File("big");
  WriteFile(path, test::RandomBytes(1 << 20, 3));
  ReadFaultGuard fault(path, 300000);
  for (const ChecksumKind kind : {ChecksumKind::Md5, ChecksumKind::Crc32}) {
    try {
      ChecksumTextOfFile(path, kind);
      ADD_FAILURE() << "a digest over part of the file was handed out";
    } catch (const FileError& error) {
      EXPECT_EQ(error.path(), path);
      EXPECT_EQ(error.error_number(), EIO);
    }
  }
  EXPECT_THROW(Md5OfFile(path), FileError);
  EXPECT_THROW(Crc32OfFile(path), FileError);
  File open(path, OpenMode::Read, Share::Shared);
  EXPECT_THROW(ChecksumTextOf(open, 1 << 20, ChecksumKind::Md5, nullptr), FileError);
  EXPECT_GE(fault.Failures(), 5);
}

TEST(DigestReadFault, TheBytesBeforeTheFaultAndOtherFilesStillRead) {
  TempDir dir;
  const std::string path = dir.File("f");
  const std::string content = test::RandomBytes(200000, 4);
  WriteFile(path, content);
  WriteFile(dir.File("other"), content);
  ReadFaultGuard fault(path, 150000);
  File open(path, OpenMode::Read, Share::Shared);
  EXPECT_EQ(ChecksumTextOf(open, 100000, ChecksumKind::Crc32, nullptr),
            Crc32Text(Crc32Update(0, content.data(), 100000)));
  EXPECT_EQ(ChecksumTextOfFile(dir.File("other"), ChecksumKind::Md5), Md5Hex(Md5OfText(content)));
  EXPECT_EQ(fault.Failures(), 0);
}

}  // namespace
}  // namespace qarvo
