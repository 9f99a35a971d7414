#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/progress_line.h"
#include "platform/file.h"
#include "split/paths.h"
#include "tools/bundle.h"
#include "tools/compare.h"
#include "tools/mp3cut.h"

namespace qarvo::cli {

namespace {

constexpr const char* kBundleUsage =
    "用法: qarvo bundle 头文件 尾文件 [--quiet]\n"
    "\n"
    "把尾文件的全部内容追加到头文件的末尾(就地修改头文件,尾文件不变)。\n"
    "两个文件都以独占方式打开:同一个文件不能既作头文件又作尾文件。\n"
    "\n"
    "选项:\n"
    "  --quiet    不在终端上显示进度行\n"
    "\n"
    "退出码: 0 添加完毕; 1 文件无法打开或写入失败; 2 用法错误或文件不存在。\n";

constexpr const char* kCompareUsage =
    "用法: qarvo compare 文件1 文件2 [--md5]\n"
    "\n"
    "比较两个文件的 CRC32 值(默认)或 MD5 值。\n"
    "\n"
    "选项:\n"
    "  --md5    用 MD5 值对比,而不是 CRC32 值\n"
    "\n"
    "退出码: 0 两文件相同; 1 两文件不相同; 2 用法错误或文件不存在。\n";

constexpr const char* kMp3CutUsage =
    "用法: qarvo mp3cut 源文件 --length 时:分:秒 --start 时:分:秒 --end 时:分:秒 [--out 目录]\n"
    "                   [--overwrite] [--quiet]\n"
    "\n"
    "按播放时间把源文件的一段剪辑到新文件 \"<源文件名去掉最后4个字节>剪辑.mp3\"。\n"
    "假定文件的字节均匀分布在整个播放时间内(固定码率),按字节比例剪辑。\n"
    "\n"
    "选项:\n"
    "  --length 时:分:秒   源文件的播放时间\n"
    "  --start 时:分:秒    起始时间\n"
    "  --end 时:分:秒      结束时间\n"
    "  --out 目录          释放到的目录(默认:源文件所在目录)\n"
    "  --overwrite         覆盖已经存在的同名文件(否则不剪辑)\n"
    "  --quiet             不在终端上显示进度行\n"
    "\n"
    "时、分、秒各为1到2位数字;分和秒不能大于60。\n"
    "播放时间必须大于0,起始时间不能晚于结束时间,两者都不能超过播放时间。\n"
    "\n"
    "退出码: 0 剪辑完毕; 1 剪辑失败; 2 用法错误、输入不正确或剪辑文件已存在。\n";

// Validation refusals are the window's message boxes: they go to stderr and start nothing.
int Refuse(const std::string& command, const char* message) {
  std::fprintf(stderr, "qarvo %s: %s\n", command.c_str(), message);
  return kExitNotStarted;
}

// One "H:M:S" field: one or two digits, as in the window's boxes.
bool ParseField(const std::string& text, int32_t& value) {
  if (text.empty() || text.size() > 2 || !IsAllDigits(text)) {
    return false;
  }
  value = std::stoi(text);
  return true;
}

// Minutes and seconds above 60 are refused here; the window cuts them to 60 as they are typed,
// which a command line cannot show.
bool ParseTime(const std::string& text, int32_t& seconds) {
  const size_t first = text.find(':');
  const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
  if (second == std::string::npos || text.find(':', second + 1) != std::string::npos) {
    return false;
  }
  int32_t hours = 0;
  int32_t minutes = 0;
  int32_t secs = 0;
  if (!ParseField(text.substr(0, first), hours) ||
      !ParseField(text.substr(first + 1, second - first - 1), minutes) ||
      !ParseField(text.substr(second + 1), secs) || minutes > 60 || secs > 60) {
    return false;
  }
  seconds = Mp3Seconds(hours, minutes, secs);
  return true;
}

}  // namespace

int RunBundle(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  int exit_code = kExitOk;
  if (!ParseOrHelp("bundle", args, {}, {"--quiet"}, kBundleUsage, parsed, exit_code)) {
    return exit_code;
  }
  if (parsed.positional.size() != 2) {
    return UsageError("bundle", "需要头文件和尾文件两个参数", kBundleUsage);
  }
  const std::string& head = parsed.positional[0];
  const std::string& tail = parsed.positional[1];
  if (!FileExists(head)) {
    return Refuse("bundle", "头文件不存在!");
  }
  if (!FileExists(tail)) {
    return Refuse("bundle", "尾文件不存在!");
  }
  auto log = std::make_shared<StdoutLog>();
  auto progress = StderrProgress(parsed);
  const auto worker = TAddFile::Create(
      head, tail, JobHost{std::make_shared<LogBesideProgress>(log, progress), progress});
  return FinishJob("bundle", *worker, *progress);
}

int RunCompare(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  int exit_code = kExitOk;
  if (!ParseOrHelp("compare", args, {}, {"--md5"}, kCompareUsage, parsed, exit_code)) {
    return exit_code;
  }
  if (parsed.positional.size() != 2) {
    return UsageError("compare", "需要文件1和文件2两个参数", kCompareUsage);
  }
  const std::string& file1 = parsed.positional[0];
  const std::string& file2 = parsed.positional[1];
  if (!FileExists(file1)) {
    return Refuse("compare", "文件1不存在!");
  }
  if (!FileExists(file2)) {
    return Refuse("compare", "文件2不存在!");
  }
  const ChecksumKind mode =
      parsed.flags.count("--md5") != 0 ? ChecksumKind::Md5 : ChecksumKind::Crc32;
  auto log = std::make_shared<StdoutLog>();
  const auto worker = TCmpFile::Create(mode, file1, file2, JobHost{log, nullptr});
  return FinishJob("compare", *worker);
}

int RunMp3Cut(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  int exit_code = kExitOk;
  if (!ParseOrHelp("mp3cut", args, {"--length", "--start", "--end", "--out"},
                   {"--overwrite", "--quiet"}, kMp3CutUsage, parsed, exit_code)) {
    return exit_code;
  }
  if (parsed.positional.size() != 1) {
    return UsageError("mp3cut", "需要一个源文件参数", kMp3CutUsage);
  }
  for (const char* required : {"--length", "--start", "--end"}) {
    if (parsed.values.count(required) == 0) {
      return UsageError("mp3cut", std::string("缺少选项 ") + required, kMp3CutUsage);
    }
  }
  const std::string& source = parsed.positional[0];
  const auto out = parsed.values.find("--out");
  const std::string dir = out != parsed.values.end() ? out->second : DirectoryOf(source);
  if (!FileExists(source)) {
    return Refuse("mp3cut", "文件不存在!");
  }
  if (!DirectoryExists(dir)) {
    return Refuse("mp3cut", "目录不存在!");
  }
  int32_t play = 0;
  int32_t start = 0;
  int32_t end = 0;
  if (!ParseTime(parsed.values["--length"], play) || !ParseTime(parsed.values["--start"], start) ||
      !ParseTime(parsed.values["--end"], end) || !Mp3TimesValid(play, start, end)) {
    return Refuse("mp3cut", kMp3BadTimes);
  }
  const bool overwrite = parsed.flags.count("--overwrite") != 0;
  if (RefusesExisting("mp3cut", parsed, {Mp3CutOutputPath(source, dir)})) {
    return kExitNotStarted;
  }
  auto log = std::make_shared<StdoutLog>();
  auto progress = StderrProgress(parsed);
  std::shared_ptr<TMp3Cut> worker;
  try {
    worker = TMp3Cut::Create(source, dir, start, end, play,
                             JobHost{std::make_shared<LogBesideProgress>(log, progress), progress},
                             overwrite);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qarvo mp3cut: %s\n", error.what());
    return kExitNotStarted;
  }
  return FinishJob("mp3cut", *worker, *progress);
}

}  // namespace qarvo::cli
