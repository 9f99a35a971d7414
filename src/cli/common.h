#pragma once

// The command line: one file per group of subcommands (cmd_*.cpp), this header for what they
// share: stdout as the log, argument parsing, and the exit status taken from a job's outcome.
// A new subcommand goes into commands.h and main.cpp's table; it validates like the window
// does, starts the same worker and returns FinishJob.

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "jobs/job_host.h"
#include "jobs/worker.h"

namespace qarvo::cli {

class ProgressLine;

// Prints every log line on stdout as it comes. How the job ended is its outcome, not its lines.
class StdoutLog : public LogSink {
 public:
  void Add(const std::string& line) override;

 private:
  std::mutex mutex_;
};

// The log of a command's job: its lines on stdout, kept clear of the progress line on stderr.
std::shared_ptr<LogSink> StdoutBesideProgress(std::shared_ptr<ProgressLine> progress);

// True once a write of a log line to stdout failed (a full disk, a closed pipe): the command
// must not then exit as if everything had been shown. Keeps the system's error number.
bool StdoutFailed();
int StdoutError();

// The end of every job: waits for it, takes the exit status from its outcome (0 only when it
// succeeded), prints the reason of the file operation that failed it on stderr
// ("qarvo COMMAND: cannot open "path": reason", as coreutils name the file and the reason),
// and never lets such a job exit 0.
int FinishJob(const std::string& command, WorkerThread& worker);

struct ParsedArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;  // --name VALUE
  std::set<std::string> flags;                // --name
  bool help = false;
};

// Parses `args`: `valued` lists the options that take a value, `flags` those that do not
// (both with their leading "--"). On a usage error returns false with `error` set.
bool ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& valued,
               const std::set<std::string>& flags, ParsedArgs& out, std::string& error);

// ParseArgs, then the usage on a usage error (stderr) or for --help (stdout). Returns false
// when the command must end now, with `exit_code` set.
bool ParseOrHelp(const std::string& command, const std::vector<std::string>& args,
                 const std::set<std::string>& valued, const std::set<std::string>& flags,
                 const char* usage, ParsedArgs& parsed, int& exit_code);

// What a subcommand accepts: the options that take a value and those that do not, its usage
// text, and how many file arguments it takes (not counted with kAnyFiles).
inline constexpr size_t kAnyFiles = static_cast<size_t>(-1);
struct CommandSyntax {
  const char* name;
  std::set<std::string> valued;
  std::set<std::string> flags;
  const char* usage;
  size_t files = kAnyFiles;
  // The usage error when the number of files differs; without it "缺少文件参数" or
  // "只能给出一个文件参数".
  const char* files_error = nullptr;
};

// ParseOrHelp, then the number of files. Returns false when the command must end now, with
// `exit_code` set.
bool ParseCommand(const CommandSyntax& syntax, const std::vector<std::string>& args,
                  ParsedArgs& parsed, int& exit_code);

// A refusal of the window's message boxes: "qarvo COMMAND: message" on stderr; nothing was
// started, so it returns kExitNotStarted.
int Refuse(const std::string& command, const std::string& message);

// Without --overwrite, a job whose outputs (`paths`) already exist does not start: prints
// "qarvo COMMAND: " and the job's line for them on stderr and returns true (exit
// kExitNotStarted). The worker refuses too, should a file appear after this look.
bool RefusesExisting(const std::string& command, const ParsedArgs& parsed,
                     const std::vector<std::string>& paths);

// Prints "qarvo COMMAND: error" and the usage text on stderr; returns kExitNotStarted.
int UsageError(const std::string& command, const std::string& error, const char* usage);

}  // namespace qarvo::cli
