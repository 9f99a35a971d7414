#include "cli/progress_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using qarvo::cli::ProgressLine;
using qarvo::test::ReadFile;
using qarvo::test::TempDir;
using qarvo::test::WriteFile;

// A pseudo-terminal pair, closed at the end.
struct Pty {
  int master = -1;
  int slave = -1;
  Pty() { EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0); }
  ~Pty() {
    if (master >= 0) {
      ::close(master);
    }
    if (slave >= 0) {
      ::close(slave);
    }
  }
  // What has arrived on the master side so far.
  std::string Drain() const {
    std::string text;
    char buffer[4096];
    pollfd ready{master, POLLIN, 0};
    while (::poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN) != 0) {
      const ssize_t got = ::read(master, buffer, sizeof buffer);
      if (got <= 0) {
        break;
      }
      text.append(buffer, static_cast<size_t>(got));
    }
    return text;
  }
};

// Runs the real executable with stderr on a new pseudo-terminal and stdout into a file;
// returns what the terminal received.
std::string RunOnTerminal(const std::vector<std::string>& args, const std::string& stdout_path,
                          int& status) {
  int master = -1;
  const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (child == 0) {
    const int out = ::open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, STDOUT_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(QARVO_CLI_PATH));
    for (const std::string& arg : args) {
      argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(QARVO_CLI_PATH, argv.data());
    ::_exit(127);
  }
  std::string text;
  if (child < 0) {
    status = -1;
    return text;
  }
  char buffer[4096];
  for (;;) {
    // The read ends with EIO once the child has closed its side of the terminal.
    const ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got <= 0) {
      break;
    }
    text.append(buffer, static_cast<size_t>(got));
  }
  int wait_status = 0;
  ::waitpid(child, &wait_status, 0);
  status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  ::close(master);
  return text;
}

TEST(ProgressLine, TextShowsPercentBytesSpeedAndTimeLeft) {
  EXPECT_EQ(ProgressLine::Text(50 * 1048576LL, 200 * 1048576LL, 2.0),
            " 25.0%  50.0 MB / 200.0 MB  25.0 MB/s  剩余 0:06");
  EXPECT_EQ(ProgressLine::Text(0, 1000, 0.0), "  0.0%  0 B / 1000 B  0 B/s  剩余 --:--");
  EXPECT_EQ(ProgressLine::Text(1024, 3 * 1024 * 1024 + 1024, 1.0),
            "  0.0%  1.0 KB / 3.0 MB  1.0 KB/s  剩余 51:12");
  EXPECT_EQ(ProgressLine::Text(1, 3600 * 2 + 2, 1.0).substr(0, 6), "  0.0%");
  EXPECT_NE(ProgressLine::Text(1, 3600 * 2 + 2, 1.0).find("剩余 2:00:01"), std::string::npos);
}

TEST(ProgressLine, DrawsOnATerminalOnlyAndWipesItself) {
  Pty pty;
  {
    ProgressLine line(pty.slave, true);
    EXPECT_TRUE(line.Drawing());
    line.Progress(0, 1000);
    const std::string first = pty.Drain();
    EXPECT_EQ(first.substr(0, 1), "\r");
    EXPECT_NE(first.find("  0.0%"), std::string::npos) << first;
    EXPECT_EQ(first.substr(first.size() - 3), "\033[K");
    // A redraw right after the first is held back.
    line.Progress(10, 1000);
    EXPECT_EQ(pty.Drain(), "");
    line.Clear();
    EXPECT_EQ(pty.Drain(), "\r\033[K");
    // Drawn again after a wipe, at once.
    line.Progress(500, 1000);
    EXPECT_NE(pty.Drain().find(" 50.0%"), std::string::npos);
    // The end is never drawn; the destructor wipes the line.
    line.Progress(1000, 1000);
  }
  EXPECT_EQ(pty.Drain(), "\r\033[K");

  // --quiet on a terminal, and a pipe: nothing at all.
  ProgressLine quiet(pty.slave, false);
  quiet.Progress(0, 10);
  quiet.Clear();
  EXPECT_EQ(pty.Drain(), "");
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  {
    ProgressLine piped(pipe_ends[1], true);
    EXPECT_FALSE(piped.Drawing());
    piped.Progress(0, 10);
  }
  ::close(pipe_ends[1]);
  char byte = 0;
  EXPECT_EQ(::read(pipe_ends[0], &byte, 1), 0);
  ::close(pipe_ends[0]);
}

TEST(ProgressLine, EveryLongCommandShowsItOnTheTerminalAndNeverOnStdout) {
  TempDir dir;
  WriteFile(dir.File("movie.avi"), qarvo::test::RandomBytes(3000000, 6));
  WriteFile(dir.File("tail.bin"), qarvo::test::RandomBytes(100000, 7));
  struct Run {
    std::vector<std::string> args;
  };
  // Each command runs twice into the same folder: --overwrite lets the second replace the first.
  const std::vector<Run> runs = {
      {{"split", dir.File("movie.avi"), "--overwrite", "--count", "3", "--compress", "fastest",
        "--check", "md5"}},
      {{"verify", dir.File("movie1.vrk")}},
      {{"merge", dir.File("movie1.vrk"), "--overwrite", "--out", dir.path() + "/"}},
      {{"pack", dir.File("movie.avi"), "--overwrite", "--out", dir.path(), "--name", "all.pak",
        "--check", "crc32"}},
      {{"unpack", dir.File("all.pak"), "--overwrite", "--out", dir.path()}},
      {{"bundle", dir.File("movie.avi"), dir.File("tail.bin")}},
  };
  for (const Run& run : runs) {
    SCOPED_TRACE(run.args[0]);
    int status = -1;
    const std::string out_path = dir.File("stdout");
    const std::string terminal = RunOnTerminal(run.args, out_path, status);
    EXPECT_EQ(status, 0) << ReadFile(out_path) << terminal;
    EXPECT_NE(terminal.find("%  "), std::string::npos) << terminal;
    EXPECT_NE(terminal.find("/s  剩余 "), std::string::npos) << terminal;
    // Wiped at the end: the terminal is left on an empty line.
    ASSERT_GE(terminal.size(), 4u);
    EXPECT_EQ(terminal.substr(terminal.size() - 4), "\r\033[K");
    const std::string out = ReadFile(out_path);
    EXPECT_EQ(out.find('%'), std::string::npos) << out;
    EXPECT_EQ(out.find('\r'), std::string::npos);
    EXPECT_EQ(out.find('\033'), std::string::npos);

    // Switched off by --quiet: the terminal gets nothing.
    std::vector<std::string> quiet = run.args;
    quiet.push_back("--quiet");
    if (run.args[0] == "pack") {
      quiet[quiet.size() - 4] = "quiet.pak";
    }
    EXPECT_EQ(RunOnTerminal(quiet, out_path, status), "");
    EXPECT_EQ(status, 0) << ReadFile(out_path);
  }
}

}  // namespace
