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
#include "text/checks.h"
#include "tools/bundle.h"
#include "tools/compare.h"
#include "tools/mp3cut.h"
#include "tools/sums_check.h"

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
    "用法: qarvo compare 文件1 文件2 [--md5 | --sha256 | --bytes] [--quiet]\n"
    "      qarvo compare 文件 --expect 校验值 [--quiet]\n"
    "\n"
    "比较两个文件的 CRC32 值(默认)、MD5 值或 SHA256 值,或逐字节比较两个文件;\n"
    "或者检查一个文件是否与给出的校验值相符。\n"
    "\n"
    "选项:\n"
    "  --md5            用 MD5 值对比,而不是 CRC32 值\n"
    "  --sha256         用 SHA256 值对比\n"
    "  --bytes          逐字节比较:同时读两个文件,在第一处不同停下,给出它的偏移\n"
    "                   (十进制和十六进制)和两边的字节值;一个文件是另一个的开头部分时,\n"
    "                   给出较短的文件和它结束的偏移\n"
    "  --expect 校验值  与校验值对比:8位十六进制数字为 CRC32,32位为 MD5,40位为 SHA1,\n"
    "                   64位为 SHA256;不分大小写,前后的空白不计\n"
    "  --quiet          不在终端上显示进度行\n"
    "\n"
    "退出码: 0 两文件相同或与校验值相符; 1 不相同、不相符或文件无法读取;\n"
    "        2 用法错误、文件不存在或校验值不正确。\n";

constexpr const char* kCheckUsage =
    "用法: qarvo check 校验文件 [--quiet]\n"
    "\n"
    "检查校验文件中列出的每个文件:.sha256、.sha1、.md5(GNU 格式 \"校验值  文件名\" 或\n"
    "BSD 格式 \"SHA256 (文件名) = 校验值\")和 .sfv(\"文件名 CRC32\")。其它扩展名按每个\n"
    "校验值的长度判断种类。文件名相对于校验文件所在的目录;UTF-8 或 GB18030 编码的文件名都能识别。\n"
    "每个文件一行(相符 / 不相符 / 文件不存在),最后一行是汇总;无法识别的行只计数并列出,\n"
    "不中断检查。不写任何文件。\n"
    "\n"
    "选项:\n"
    "  --quiet    不在终端上显示进度行\n"
    "\n"
    "退出码: 0 每个文件都相符; 1 有文件不相符、不存在、无法读取,或有无法识别的行;\n"
    "        2 用法错误、校验文件不存在,或其中没有可识别的校验行。\n";

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
  if (!ParseCommand({.name = "bundle",
                     .valued = {},
                     .flags = {"--quiet"},
                     .usage = kBundleUsage,
                     .files = 2,
                     .files_error = "需要头文件和尾文件两个参数"},
                    args, parsed, exit_code)) {
    return exit_code;
  }
  const std::string& head = parsed.positional[0];
  const std::string& tail = parsed.positional[1];
  if (!FileExists(head)) {
    return Refuse("bundle", BundleInputLine("头文件", head));
  }
  if (!FileExists(tail)) {
    return Refuse("bundle", BundleInputLine("尾文件", tail));
  }
  auto progress = StderrProgress(parsed);
  const auto worker =
      TAddFile::Create(head, tail, JobHost{StdoutBesideProgress(progress), progress});
  return FinishJob("bundle", *worker, *progress);
}

int RunCompare(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  int exit_code = kExitOk;
  if (!ParseOrHelp("compare", args, {"--expect"}, {"--md5", "--sha256", "--bytes", "--quiet"},
                   kCompareUsage, parsed, exit_code)) {
    return exit_code;
  }
  const size_t modes =
      parsed.flags.count("--md5") + parsed.flags.count("--sha256") + parsed.flags.count("--bytes");
  const auto expect = parsed.values.find("--expect");
  if (expect != parsed.values.end()) {
    if (modes != 0) {
      return UsageError("compare", "--expect 不能与 --md5、--sha256 或 --bytes 同用",
                        kCompareUsage);
    }
    if (parsed.positional.size() != 1) {
      return UsageError("compare", "与校验值对比只需要一个文件参数", kCompareUsage);
    }
  } else if (parsed.positional.size() != 2) {
    return UsageError("compare", "需要文件1和文件2两个参数", kCompareUsage);
  } else if (modes > 1) {
    return UsageError("compare", "--md5、--sha256 和 --bytes 只能选一个", kCompareUsage);
  }
  const std::string& file1 = parsed.positional[0];
  if (!FileExists(file1)) {
    return Refuse("compare", expect != parsed.values.end() ? "文件不存在!" : "文件1不存在!");
  }
  auto progress = StderrProgress(parsed);
  const JobHost host{StdoutBesideProgress(progress), progress};
  if (expect != parsed.values.end()) {
    // A text that is no checksum is turned away before the file is read.
    if (!ParseExpectedSum(expect->second)) {
      return Refuse("compare", kBadExpectedSum);
    }
    const auto worker = TCmpExpected::Create(file1, expect->second, host);
    return FinishJob("compare", *worker, *progress);
  }
  const std::string& file2 = parsed.positional[1];
  if (!FileExists(file2)) {
    return Refuse("compare", "文件2不存在!");
  }
  const CompareMode mode = parsed.flags.count("--md5") != 0      ? CompareMode::Md5
                           : parsed.flags.count("--sha256") != 0 ? CompareMode::Sha256
                           : parsed.flags.count("--bytes") != 0  ? CompareMode::Bytes
                                                                 : CompareMode::Crc32;
  const auto worker = TCmpFile::Create(mode, file1, file2, host);
  return FinishJob("compare", *worker, *progress);
}

int RunCheck(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  int exit_code = kExitOk;
  if (!ParseCommand({.name = "check",
                     .valued = {},
                     .flags = {"--quiet"},
                     .usage = kCheckUsage,
                     .files = 1,
                     .files_error = "需要一个校验文件参数"},
                    args, parsed, exit_code)) {
    return exit_code;
  }
  const std::string& sums = parsed.positional[0];
  if (!FileExists(sums)) {
    return Refuse("check", "校验文件不存在!");
  }
  auto progress = StderrProgress(parsed);
  const auto worker = TCheckSums::Create(sums, JobHost{StdoutBesideProgress(progress), progress});
  const int status = FinishJob("check", *worker, *progress);
  // A file with no line to check was never a list of files: the job did not start.
  return worker->Outcome().result == JobResult::Refused ? kExitNotStarted : status;
}

int RunMp3Cut(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  int exit_code = kExitOk;
  if (!ParseCommand({.name = "mp3cut",
                     .valued = {"--length", "--start", "--end", "--out"},
                     .flags = {"--overwrite", "--quiet"},
                     .usage = kMp3CutUsage,
                     .files = 1,
                     .files_error = "需要一个源文件参数"},
                    args, parsed, exit_code)) {
    return exit_code;
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
  auto progress = StderrProgress(parsed);
  std::shared_ptr<TMp3Cut> worker;
  try {
    worker = TMp3Cut::Create(source, dir, start, end, play,
                             JobHost{StdoutBesideProgress(progress), progress}, overwrite);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qarvo mp3cut: %s\n", error.what());
    return kExitNotStarted;
  }
  return FinishJob("mp3cut", *worker, *progress);
}

}  // namespace qarvo::cli
