#include "cli/common.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <utility>

#include "cli/commands.h"
#include "cli/progress_line.h"
#include "jobs/stop_on_signal.h"
#include "platform/file_checks.h"

namespace qarvo::cli {

namespace {
std::atomic<int> g_stdout_error{0};
}  // namespace

bool StdoutFailed() {
  return g_stdout_error.load() != 0;
}

int StdoutError() {
  return g_stdout_error.load();
}

void StdoutLog::Add(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  errno = 0;
  const bool written = std::fwrite(line.data(), 1, line.size(), stdout) == line.size() &&
                       std::fputc('\n', stdout) != EOF && std::fflush(stdout) == 0;
  if (!written) {
    int expected = 0;
    g_stdout_error.compare_exchange_strong(expected, errno != 0 ? errno : EIO);
  }
}

int FinishJob(const std::string& command, WorkerThread& worker) {
  worker.WaitFinished();
  // A job stopped by a signal is no failure to report: the program ends with the signal's status.
  if (SignalReceived()) {
    AwaitSignalExit();
  }
  const JobOutcome outcome = worker.Outcome();
  if (!outcome.failure) {
    return outcome.Succeeded() ? kExitOk : kExitJobFailed;
  }
  std::fprintf(stderr, "qarvo %s: %s\n", command.c_str(), outcome.failure->what());
  return kExitJobFailed;
}

int FinishJob(const std::string& command, WorkerThread& worker, ProgressLine& progress) {
  worker.WaitFinished();
  progress.Clear();
  return FinishJob(command, worker);
}

bool RefusesExisting(const std::string& command, const ParsedArgs& parsed,
                     const std::vector<std::string>& paths) {
  if (parsed.flags.count("--overwrite") != 0) {
    return false;
  }
  const ExistingOutputs existing = FindExisting(paths);
  if (!existing.Any()) {
    return false;
  }
  std::fprintf(stderr, "qarvo %s: %s(加上 --overwrite 才覆盖已有的文件)\n", command.c_str(),
               ExistingOutputsLine("", existing).c_str());
  return true;
}

bool ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& valued,
               const std::set<std::string>& flags, ParsedArgs& out, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      out.help = true;
      continue;
    }
    if (arg == "--") {
      out.positional.insert(out.positional.end(), args.begin() + static_cast<long>(i) + 1,
                            args.end());
      break;
    }
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      std::string name = arg;
      std::string value;
      bool has_value = false;
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        has_value = true;
      }
      if (valued.count(name) != 0) {
        if (!has_value) {
          if (i + 1 >= args.size()) {
            error = "选项 " + name + " 需要一个值";
            return false;
          }
          value = args[++i];
        }
        out.values[name] = value;
      } else if (flags.count(name) != 0 && !has_value) {
        out.flags.insert(name);
      } else {
        error = "未知选项 " + arg;
        return false;
      }
      continue;
    }
    out.positional.push_back(arg);
  }
  return true;
}

bool ParseOrHelp(const std::string& command, const std::vector<std::string>& args,
                 const std::set<std::string>& valued, const std::set<std::string>& flags,
                 const char* usage, ParsedArgs& parsed, int& exit_code) {
  std::string error;
  if (!ParseArgs(args, valued, flags, parsed, error)) {
    exit_code = UsageError(command, error, usage);
    return false;
  }
  if (parsed.help) {
    std::fputs(usage, stdout);
    exit_code = kExitOk;
    return false;
  }
  return true;
}

bool ParseCommand(const CommandSyntax& syntax, const std::vector<std::string>& args,
                  ParsedArgs& parsed, int& exit_code) {
  if (!ParseOrHelp(syntax.name, args, syntax.valued, syntax.flags, syntax.usage, parsed,
                   exit_code)) {
    return false;
  }
  if (syntax.files == kAnyFiles || parsed.positional.size() == syntax.files) {
    return true;
  }
  const char* error = syntax.files_error != nullptr ? syntax.files_error
                      : parsed.positional.empty()   ? "缺少文件参数"
                                                    : "只能给出一个文件参数";
  exit_code = UsageError(syntax.name, error, syntax.usage);
  return false;
}

std::shared_ptr<LogSink> StdoutBesideProgress(std::shared_ptr<ProgressLine> progress) {
  return std::make_shared<LogBesideProgress>(std::make_shared<StdoutLog>(), std::move(progress));
}

int Refuse(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "qarvo %s: %s\n", command.c_str(), message.c_str());
  return kExitNotStarted;
}

int UsageError(const std::string& command, const std::string& error, const char* usage) {
  std::fprintf(stderr, "qarvo %s: %s\n\n%s", command.c_str(), error.c_str(), usage);
  return kExitNotStarted;
}

}  // namespace qarvo::cli
