#include "platform/paths.h"

#include <gtest/gtest.h>

namespace qarvo {
namespace {

TEST(Paths, AddTrailingBackslash) {
  EXPECT_EQ(AddTrailingBackslash(""), "/");
  EXPECT_EQ(AddTrailingBackslash("/tmp"), "/tmp/");
  EXPECT_EQ(AddTrailingBackslash("/tmp/"), "/tmp/");
  EXPECT_EQ(AddTrailingBackslash("rel/dir"), "rel/dir/");
}

TEST(Paths, FileAndDirectoryParts) {
  EXPECT_EQ(FileNameOf("/a/b/movie.avi"), "movie.avi");
  EXPECT_EQ(FileNameOf("movie.avi"), "movie.avi");
  EXPECT_EQ(FileNameOf("/a/b/"), "");
  EXPECT_EQ(DirectoryOf("/a/b/movie.avi"), "/a/b");
  EXPECT_EQ(DirectoryOf("/movie.avi"), "/");
  EXPECT_EQ(DirectoryOf("movie.avi"), ".");
}

// Split names pieces by BaseNameOf(source), merge by StripExtension(stored name): they agree.
TEST(Paths, StemsAgree) {
  const std::pair<const char*, const char*> cases[] = {
      {"/x/movie.avi", "movie"}, {"/x/README", "README"}, {"/x/a.b.c", "a.b"},
      {"/x.d/noext", "noext"},   {"/x/.hidden", ""},      {"/x/样本.txt", "样本"},
      {"/x/trail.", "trail"},
  };
  for (const auto& [path, stem] : cases) {
    EXPECT_EQ(BaseNameOf(path), stem) << path;
    EXPECT_EQ(StripExtension(FileNameOf(path)), stem) << path;
  }
}

}  // namespace
}  // namespace qarvo
