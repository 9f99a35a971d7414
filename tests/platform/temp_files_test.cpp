// Temporary files of outputs: those of a process that no longer runs are cleared away by the
// next output in their folder, those of a running one never; an ending process removes its own.

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/atomic_output.h"
#include "platform/file.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

std::string TempName(pid_t pid, int n) {
  return ".qarvo-" + std::to_string(pid) + "-" + std::to_string(n) + ".tmp";
}

TEST(StaleTemporaryFiles, OnlyThoseOfEndedProcessesGo) {
  test::TempDir dir;
  const pid_t ended = test::EndedProcessId();
  const std::string stale = TempName(ended, 0);
  const std::string mine = TempName(::getpid(), 900);
  const std::string of_init = TempName(1, 3);  // runs since the boot, long before this file
  const std::string held = TempName(ended, 1);
  // Names that only look alike are the user's.
  const std::vector<std::string> others = {"qarvo-" + std::to_string(ended) + "-0.tmp",
                                           ".qarvo-" + std::to_string(ended) + "-0.tmp.bak",
                                           ".qarvo-envelope-" + std::to_string(ended) + ".tmp",
                                           ".qarvo-" + std::to_string(ended) + "-x.tmp"};
  for (const std::string& name : others) {
    test::WriteFile(dir.File(name), "user");
  }
  for (const std::string& name : {stale, mine, of_init, held}) {
    test::WriteFile(dir.File(name), "left");
  }
  // Something still writes to this one, whatever the name says.
  const int holder = ::open(dir.File(held).c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);

  AtomicOutput output(dir.File("result.bin"));
  const std::vector<std::string> names = test::NamesIn(dir.path());
  const auto has = [&](const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  EXPECT_FALSE(has(stale));
  EXPECT_TRUE(has(mine));
  EXPECT_TRUE(has(of_init));
  EXPECT_TRUE(has(held));
  for (const std::string& name : others) {
    EXPECT_TRUE(has(name)) << name;
  }
  ::close(holder);
  // The new output's own temporary file is one of this process and stays until it ends.
  EXPECT_TRUE(has(output.temp_path().substr(dir.path().size() + 1)));
  RemoveStaleTemporaryFiles(dir.path());
  EXPECT_TRUE(FileExists(output.temp_path()));
}

// What a signal's end of the program does: every pending output's temporary file goes, the
// published ones and the folder's other files stay, and the status is the one asked for.
TEST(StaleTemporaryFiles, AnEndingProcessRemovesItsOwn) {
  test::TempDir dir;
  test::WriteFile(dir.File("keep.txt"), "user");
  const pid_t child = ::fork();
  if (child == 0) {
    AtomicOutput done(dir.File("done.bin"));
    done.file().Write("whole", 5);
    done.Commit(false);
    AtomicOutput first(dir.File("a.bin"));
    AtomicOutput second(dir.File("b.bin"));
    first.file().Write("half", 4);
    RemoveTemporaryFilesAndExit(143);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 143);
  EXPECT_EQ(test::NamesIn(dir.path()), (std::vector<std::string>{"done.bin", "keep.txt"}));
}

}  // namespace
}  // namespace qarvo
