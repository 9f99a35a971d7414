#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "jobs/stop_on_signal.h"

namespace {

struct Command {
  const char* name;
  int (*run)(const std::vector<std::string>&);
  const char* summary;
};

constexpr Command kCommands[] = {
    {"split", qarvo::cli::RunSplit, "把一个文件分割成若干个 .vrk 分割文件"},
    {"merge", qarvo::cli::RunMerge, "由任意一个分割文件合并出原文件"},
    {"verify", qarvo::cli::RunVerify, "检查分割集能否合并出原文件,不写任何文件"},
    {"pack", qarvo::cli::RunPack, "把多个文件打包到一个文件"},
    {"unpack", qarvo::cli::RunUnpack, "把打包文件解包"},
    {"bundle", qarvo::cli::RunBundle, "把一个文件捆绑到另一个文件的末尾"},
    {"compare", qarvo::cli::RunCompare, "比较两个文件是否相同,或检查文件是否与校验值相符"},
    {"check", qarvo::cli::RunCheck, "检查校验文件(.sha256/.sha1/.md5/.sfv)列出的每个文件"},
    {"mp3cut", qarvo::cli::RunMp3Cut, "按播放时间剪辑MP3文件"},
};

void PrintHelp(std::FILE* to) {
  std::fprintf(to,
               "Qarvo文件分割助手 命令行版\n"
               "\n"
               "用法: qarvo 命令 [参数...]\n"
               "\n"
               "命令:\n");
  for (const Command& command : kCommands) {
    std::fprintf(to, "  %-8s %s\n", command.name, command.summary);
  }
  std::fprintf(
      to,
      "\n"
      "每个命令的参数请用 qarvo 命令 --help 查看。\n"
      "标准输出只包含任务的记录行;用法错误和提示信息写到标准错误。\n"
      "退出码: 0 成功; 1 任务失败、被拒绝或校验不符; 2 任务未开始(用法错误或输入不正确)。\n"
      "被 SIGINT、SIGTERM 或 SIGHUP 中断时,删除未完成的临时文件后退出,退出码为 130、143 或 "
      "129。\n");
}

// Output that never reached its reader is a failure, whatever the job did: checked once more at
// the close, where buffered text is written out.
int CloseStdout(int exit_code) {
  int error = qarvo::cli::StdoutError();
  const bool stream_failed = std::ferror(stdout) != 0;
  errno = 0;
  if (std::fclose(stdout) != 0 && error == 0) {
    error = errno != 0 ? errno : EIO;
  }
  if (stream_failed && error == 0) {
    error = EIO;
  }
  if (error == 0) {
    return exit_code;
  }
  std::fprintf(stderr, "qarvo: 写入标准输出失败: %s\n", std::strerror(error));
  return exit_code == qarvo::cli::kExitOk ? qarvo::cli::kExitJobFailed : exit_code;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any job's thread starts, which inherits the blocked signals.
  qarvo::StopJobsOnSignals();
  if (argc < 2) {
    PrintHelp(stderr);
    return qarvo::cli::kExitNotStarted;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintHelp(stdout);
    return CloseStdout(qarvo::cli::kExitOk);
  }
  for (const Command& command : kCommands) {
    if (name == command.name) {
      const int status = command.run(std::vector<std::string>(argv + 2, argv + argc));
      if (qarvo::SignalReceived()) {
        qarvo::AwaitSignalExit();
      }
      return CloseStdout(status);
    }
  }
  std::fprintf(stderr, "qarvo: 未知命令 \"%s\"\n\n", name.c_str());
  PrintHelp(stderr);
  return qarvo::cli::kExitNotStarted;
}
