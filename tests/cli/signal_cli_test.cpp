// The real `qarvo` ended by a signal, and the leftovers of one that was killed outright.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "cli/run_qarvo.h"
#include "support/test_support.h"

extern char** environ;

namespace {

using qarvo::test::RunQarvo;
using qarvo::test::TempDir;

// A running `qarvo` whose stdout the test reads, line by line as it likes.
struct Child {
  pid_t pid = -1;
  int out = -1;
  int in = -1;  // the test's own copy of the pipe's write end, when kept
};

// With `keep_write_end` the test keeps a copy of the child's stdout, so that it can fill the pipe
// itself; the child's stdout then never ends before WaitExit.
Child Spawn(const std::vector<std::string>& args, bool keep_write_end = false) {
  Child child;
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) {
    return child;
  }
  std::vector<std::string> all = {QARVO_CLI_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    child.pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  if (keep_write_end) {
    child.in = pipe_fds[1];
  } else {
    ::close(pipe_fds[1]);
  }
  child.out = pipe_fds[0];
  return child;
}

// Reads the child's stdout until `text` has appeared; false when its stdout ended first.
bool ReadUntil(const Child& child, const std::string& text) {
  std::string got;
  char buffer[256];
  while (got.find(text) == std::string::npos) {
    const ssize_t n = ::read(child.out, buffer, sizeof buffer);
    if (n <= 0) {
      return false;
    }
    got.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

// Fills the child's stdout pipe from the test's side, up to the last byte: the child's next line
// then blocks in its write for good, since the test reads no more. False when it could not.
bool FillPipe(const Child& child) {
  if (child.in < 0 || ::fcntl(child.in, F_SETFL, O_NONBLOCK) != 0) {
    return false;
  }
  const std::string filler(4096, '.');
  for (;;) {
    const ssize_t n = ::write(child.in, filler.data(), filler.size());
    if (n < 0) {
      return errno == EAGAIN;
    }
  }
}

// The exit status, or -1 when the child did not exit by itself (killed by the signal).
int WaitExit(Child& child) {
  int status = 0;
  if (::waitpid(child.pid, &status, 0) != child.pid) {
    return -2;
  }
  ::close(child.out);
  if (child.in >= 0) {
    ::close(child.in);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> TemporaryFilesIn(const std::string& dir) {
  std::vector<std::string> found;
  for (const std::string& name : qarvo::test::NamesIn(dir)) {
    if (name.rfind(".qarvo-", 0) == 0) {
      found.push_back(name);
    }
  }
  return found;
}

// A merge of many tiny pieces logs far more lines than a pipe holds: with its reader gone quiet
// after the first piece's line, it cannot end before the signal, whatever the machine's speed,
// and it holds its output's temporary file all the while.
TEST(SignalCli, EndsWithTheShellsStatusAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string source = dir.File("many.bin");
  qarvo::test::WriteFile(source, qarvo::test::RandomBytes(4000, 8));
  const auto split = RunQarvo({"split", source, "--count", "4000", "--quiet"});
  ASSERT_EQ(split.status, 0) << split.err;
  std::filesystem::remove(source);
  const size_t set_files = qarvo::test::NamesIn(dir.path()).size();
  ASSERT_EQ(set_files, 4000u);

  const std::vector<std::pair<int, int>> signals = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
  for (const auto& [signal_number, status] : signals) {
    TempDir out;
    Child child = Spawn({"merge", dir.File("many1.vrk"), "--out", out.path(), "--quiet"},
                        signal_number == SIGTERM);
    ASSERT_GT(child.pid, 0);
    ASSERT_TRUE(ReadUntil(child, "正在合并第1个文件"));
    EXPECT_EQ(TemporaryFilesIn(out.path()).size(), 1u);
    // A job that is or will be stuck in a write cannot unwind by itself: the program removes its
    // file for it.
    if (signal_number == SIGTERM) {
      ASSERT_TRUE(FillPipe(child));
    }
    ASSERT_EQ(::kill(child.pid, signal_number), 0);
    EXPECT_EQ(WaitExit(child), status) << "signal " << signal_number;
    EXPECT_TRUE(qarvo::test::NamesIn(out.path()).empty()) << "signal " << signal_number;
    EXPECT_EQ(qarvo::test::NamesIn(dir.path()).size(), set_files);
  }

  // Killed outright, it cannot clean up: the next job that writes into the folder does.
  TempDir out;
  Child child = Spawn({"merge", dir.File("many1.vrk"), "--out", out.path(), "--quiet"});
  ASSERT_GT(child.pid, 0);
  ASSERT_TRUE(ReadUntil(child, "正在合并第1个文件"));
  ASSERT_EQ(::kill(child.pid, SIGKILL), 0);
  EXPECT_EQ(WaitExit(child), -1);
  ASSERT_EQ(TemporaryFilesIn(out.path()).size(), 1u);
  qarvo::test::WriteFile(source, "next");
  const auto next = RunQarvo({"split", source, "--count", "2", "--out", out.path()});
  ASSERT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(qarvo::test::NamesIn(out.path()), (std::vector<std::string>{"many1.vrk", "many2.vrk"}));
}

TEST(SignalCli, LeftoversOfEndedProcessesGoThoseOfRunningOnesStay) {
  TempDir dir;
  const std::string source = dir.File("photo.raw");
  qarvo::test::WriteFile(source, qarvo::test::RandomBytes(50000, 2));
  const std::string stale = ".qarvo-" + std::to_string(qarvo::test::EndedProcessId()) + "-0.tmp";
  // This test's own process runs: its file is in use, for all the next job can tell.
  const std::string live = ".qarvo-" + std::to_string(::getpid()) + "-7.tmp";
  qarvo::test::WriteFile(dir.File(stale), "half a piece");
  qarvo::test::WriteFile(dir.File(live), "being written");
  const auto run = RunQarvo({"split", source, "--count", "2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(qarvo::test::NamesIn(dir.path()),
            (std::vector<std::string>{live, "photo.raw", "photo1.vrk", "photo2.vrk"}));
}

// Inputs that are there but are no files are named as what they are, and a pack name that names
// a folder is refused like any other bad name.
TEST(SignalCli, InputsThatAreNoFilesAreNamed) {
  TempDir dir;
  const std::string head = dir.File("head.bin");
  qarvo::test::WriteFile(head, "head");
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto run = RunQarvo({"bundle", head, fifo});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "qarvo bundle: 尾文件是一个命名管道,不是普通文件!\n");
  run = RunQarvo({"bundle", head, dir.path()});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "qarvo bundle: 尾文件是一个文件夹,不是普通文件!\n");
  run = RunQarvo({"bundle", "/dev/null", head});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "qarvo bundle: 头文件是一个设备,不是普通文件!\n");
  EXPECT_EQ(qarvo::test::ReadFile(head), "head");

  for (const std::string name : {"..", "."}) {
    run = RunQarvo({"pack", head, "--out", dir.path(), "--name", name});
    EXPECT_EQ(run.status, 2) << name;
    EXPECT_NE(run.err.find("输出文件名不符合格式!"), std::string::npos) << run.err;
  }
}

}  // namespace
