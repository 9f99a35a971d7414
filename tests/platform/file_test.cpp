#include "platform/file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "support/test_support.h"

namespace qarvo {
namespace {

bool Mentions(const FileError& error, const std::string& text) {
  return std::string(error.what()).find(text) != std::string::npos;
}

TEST(File, ExclusiveOpensConflictEvenInOneProcess) {
  test::TempDir dir;
  const std::string path = dir.File("f");
  test::WriteFile(path, "data");
  {
    File first(path, OpenMode::Read, Share::Exclusive);
    try {
      File second(path, OpenMode::Read, Share::Exclusive);
      FAIL() << "second exclusive open succeeded";
    } catch (const FileError& error) {
      EXPECT_EQ(error.error_number(), EBUSY);
      EXPECT_EQ(error.path(), path);
      EXPECT_TRUE(Mentions(error, path)) << error.what();
    }
    // Shared opens take no lock and are not refused.
    File shared(path, OpenMode::Read, Share::Shared);
    char buffer[4];
    shared.ReadExact(buffer, 4);
    EXPECT_EQ(std::string(buffer, 4), "data");
  }
  // The lock goes with the file.
  File again(path, OpenMode::Read, Share::Exclusive);
  EXPECT_TRUE(again.IsOpen());
}

TEST(File, ExclusiveOpenConflictsAcrossProcesses) {
  test::TempDir dir;
  const std::string path = dir.File("f");
  test::WriteFile(path, "data");
  File holder(path, OpenMode::ReadWrite, Share::Exclusive);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int code = 0;
    try {
      File other(path, OpenMode::Read, Share::Exclusive);
    } catch (const FileError&) {
      code = 7;
    }
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
}

TEST(File, ARefusedCreateLeavesTheFileAlone) {
  test::TempDir dir;
  const std::string path = dir.File("f");
  test::WriteFile(path, "keep me");
  File holder(path, OpenMode::Read, Share::Exclusive);
  EXPECT_THROW(File(path, OpenMode::Create, Share::Exclusive), FileError);
  EXPECT_EQ(test::ReadFile(path), "keep me");
}

TEST(File, CreateTruncatesAndWrites) {
  test::TempDir dir;
  const std::string path = dir.File("f");
  test::WriteFile(path, "old longer content");
  File file(path, OpenMode::Create, Share::Exclusive);
  file.Write("new", 3);
  file.Close();
  EXPECT_EQ(test::ReadFile(path), "new");
}

TEST(File, SizesAndPositionsAre64Bit) {
  test::TempDir dir;
  const std::string path = dir.File("big");
  const int64_t size = (int64_t{5} << 30) + 3;
  File file(path, OpenMode::Create, Share::Exclusive);
  file.Truncate(size);
  EXPECT_EQ(file.Size(), size);
  file.SeekToEnd();
  EXPECT_EQ(file.Position(), size);
  file.Seek(size - 1);
  file.Write("z", 1);
  EXPECT_EQ(file.Position(), size);
  file.Close();
  File reader(path, OpenMode::Read, Share::Shared);
  reader.Seek(size - 2);
  char tail[4] = {};
  EXPECT_EQ(reader.Read(tail, sizeof(tail)), 2U);
  EXPECT_EQ(std::string(tail, 2), std::string("\0z", 2));
}

TEST(File, ErrorsNameTheFileAndTheReason) {
  test::TempDir dir;
  const std::string missing = dir.File("missing.bin");
  try {
    File file(missing, OpenMode::Read, Share::Shared);
    FAIL();
  } catch (const FileError& error) {
    EXPECT_EQ(error.error_number(), ENOENT);
    EXPECT_TRUE(Mentions(error, missing)) << error.what();
    EXPECT_TRUE(Mentions(error, std::strerror(ENOENT))) << error.what();
  }
  try {
    File folder(dir.path(), OpenMode::Read, Share::Shared);
    FAIL();
  } catch (const FileError& error) {
    EXPECT_EQ(error.error_number(), EISDIR);
  }
  test::WriteFile(dir.File("short"), "abc");
  File file(dir.File("short"), OpenMode::Read, Share::Shared);
  char buffer[8];
  try {
    file.ReadExact(buffer, 8);
    FAIL();
  } catch (const FileError& error) {
    EXPECT_TRUE(Mentions(error, dir.File("short"))) << error.what();
  }
}

TEST(File, AFullDeviceFailsTheWrite) {
  if (access("/dev/full", W_OK) != 0) {
    GTEST_SKIP() << "no /dev/full";
  }
  File full("/dev/full", OpenMode::ReadWrite, Share::Shared);
  const std::string block(4096, 'x');
  try {
    full.Write(block.data(), block.size());
    FAIL() << "writing to /dev/full succeeded";
  } catch (const FileError& error) {
    EXPECT_EQ(error.error_number(), ENOSPC);
    EXPECT_TRUE(Mentions(error, "/dev/full")) << error.what();
  }
}

TEST(File, MovedFilesKeepOneOwner) {
  test::TempDir dir;
  test::WriteFile(dir.File("f"), "x");
  File first(dir.File("f"), OpenMode::Read, Share::Exclusive);
  File second(std::move(first));
  EXPECT_FALSE(first.IsOpen());  // NOLINT(bugprone-use-after-move)
  EXPECT_TRUE(second.IsOpen());
  EXPECT_THROW(File(dir.File("f"), OpenMode::Read, Share::Exclusive), FileError);
  second.Close();
  second.Close();  // closing twice is harmless
  File third(dir.File("f"), OpenMode::Read, Share::Exclusive);
  EXPECT_TRUE(third.IsOpen());
}

TEST(FileSystem, ExistenceRenameDeleteAndIdentity) {
  test::TempDir dir;
  const std::string a = dir.File("a");
  const std::string b = dir.File("b");
  EXPECT_FALSE(FileExists(a));
  test::WriteFile(a, "1");
  EXPECT_TRUE(FileExists(a));
  EXPECT_FALSE(DirectoryExists(a));
  EXPECT_TRUE(DirectoryExists(dir.path()));
  EXPECT_FALSE(FileExists(dir.path()));
  EXPECT_TRUE(SameFile(a, dir.path() + "/./a"));
  test::WriteFile(b, "2");
  EXPECT_FALSE(SameFile(a, b));
  RenameFile(a, b);
  EXPECT_FALSE(FileExists(a));
  EXPECT_EQ(test::ReadFile(b), "1");
  try {
    RenameFile(a, b);
    FAIL();
  } catch (const FileError& error) {
    EXPECT_EQ(error.error_number(), ENOENT);
    EXPECT_TRUE(Mentions(error, a)) << error.what();
  }
  EXPECT_TRUE(DeleteFile(b));
  EXPECT_FALSE(DeleteFile(b));
  EXPECT_FALSE(SameFile(a, b));
}

}  // namespace
}  // namespace qarvo
