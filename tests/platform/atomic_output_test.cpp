#include "platform/atomic_output.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/file_size_limit.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

TEST(AtomicOutput, TheFinalNameChangesOnlyAtThePublish) {
  test::TempDir dir;
  const std::string path = dir.File("out.bin");
  test::WriteFile(path, "older");
  AtomicOutput output(path);
  output.file().Write("new content", 11);
  // Written beside the final name, in the same folder, which still shows the older file.
  EXPECT_EQ(DirectoryOf(output.temp_path()), dir.path());
  EXPECT_EQ(test::ReadFile(path), "older");
  output.Seal(true);
  EXPECT_EQ(test::ReadFile(path), "older");
  output.Publish(true);
  EXPECT_EQ(test::ReadFile(path), "new content");
  EXPECT_FALSE(output.IsPending());
  EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"out.bin"});
  // The mode is an ordinary new file's, not a private temporary file's.
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IRGRP, 0u);
}

TEST(AtomicOutput, AnUnpublishedOutputLeavesNothingBehind) {
  test::TempDir dir;
  const std::string path = dir.File("out.bin");
  test::WriteFile(path, "older");
  {
    AtomicOutput output(path);
    output.file().Write("half", 4);
  }
  AtomicOutput sealed(path);
  sealed.file().Write("whole", 5);
  sealed.Seal(false);
  sealed.Discard();
  EXPECT_EQ(test::ReadFile(path), "older");
  EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"out.bin"});

  // Moving an output hands the temporary file on; only the last owner removes it.
  AtomicOutput moved;
  {
    AtomicOutput first(dir.File("m.bin"));
    moved = std::move(first);
  }
  EXPECT_TRUE(moved.IsPending());
  moved.Commit(false);
  EXPECT_EQ(test::NamesIn(dir.path()), (std::vector<std::string>{"m.bin", "out.bin"}));
}

TEST(AtomicOutput, ASymbolicLinkIsReplacedNotWrittenThrough) {
  test::TempDir dir;
  test::WriteFile(dir.File("victim"), "precious");
  std::filesystem::create_symlink(dir.File("victim"), dir.File("link"));
  AtomicOutput output(dir.File("link"));
  output.file().Write("new", 3);
  output.Commit(false);
  EXPECT_EQ(test::ReadFile(dir.File("victim")), "precious");
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("link")));
  EXPECT_EQ(test::ReadFile(dir.File("link")), "new");
}

TEST(AtomicOutput, ErrorsNameTheFinalFile) {
  test::TempDir dir;
  try {
    AtomicOutput output(dir.File("no-such-folder/out.bin"));
    FAIL() << "created a file in a missing folder";
  } catch (const FileError& error) {
    EXPECT_EQ(error.path(), dir.File("no-such-folder/out.bin"));
    EXPECT_EQ(error.error_number(), ENOENT);
    EXPECT_NE(std::string(error.what()).find(std::strerror(ENOENT)), std::string::npos);
  }

  // A full disk, as a file-size limit.
  AtomicOutput big(dir.File("big.bin"));
  const std::string block(4096, 'x');
  {
    test::FileSizeLimit limit(10000);
    ASSERT_TRUE(limit.ok());
    try {
      for (int i = 0; i < 4; ++i) {
        big.file().Write(block.data(), block.size());
      }
      FAIL() << "wrote past the limit";
    } catch (const FileError& error) {
      EXPECT_EQ(error.path(), dir.File("big.bin"));
      EXPECT_EQ(error.error_number(), EFBIG);
    }
  }
  big.Discard();

  // A folder under the final name refuses the rename, and the error says which name.
  std::filesystem::create_directory(dir.File("taken"));
  AtomicOutput blocked(dir.File("taken"));
  blocked.Seal(false);
  try {
    blocked.Publish(false);
    FAIL() << "replaced a folder";
  } catch (const FileError& error) {
    EXPECT_EQ(error.path(), dir.File("taken"));
  }
  EXPECT_TRUE(blocked.IsPending());
  blocked.Discard();
  EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"taken"});
}

TEST(AtomicOutput, TheTemporaryFileIsHeldWithoutSharing) {
  test::TempDir dir;
  AtomicOutput output(dir.File("out.bin"));
  EXPECT_THROW(File(output.temp_path(), OpenMode::Read, Share::Exclusive), FileError);
  // Two outputs for one name do not meet before their publish.
  AtomicOutput second(dir.File("out.bin"));
  EXPECT_NE(second.temp_path(), output.temp_path());
}

TEST(AtomicOutput, FoldersAndFlushes) {
  EXPECT_EQ(DirectoryOf("a/b/c.txt"), "a/b");
  EXPECT_EQ(DirectoryOf("/c.txt"), "/");
  EXPECT_EQ(DirectoryOf("c.txt"), ".");
  test::TempDir dir;
  EXPECT_NO_THROW(SyncDirectory(dir.path()));
  EXPECT_THROW(SyncDirectory(dir.File("missing")), FileError);
  test::WriteFile(dir.File("f"), "x");
  EXPECT_THROW(SyncDirectory(dir.File("f")), FileError);
  File file(dir.File("f"), OpenMode::ReadWrite, Share::Exclusive);
  EXPECT_NO_THROW(file.Sync());
}

}  // namespace
}  // namespace qarvo
