#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/progress_line.h"
#include "codec/password_rule.h"
#include "platform/file.h"
#include "split/cut_file.h"
#include "split/merger_file.h"
#include "split/piece_plan.h"
#include "text/checks.h"

namespace qarvo::cli {

namespace {

constexpr const char* kSplitUsage =
    "用法: qarvo split 源文件 [--count 数量 | --size 大小] [--out 目录] [--password 密码]\n"
    "                  [--compress fastest|default|max] [--check md5|crc32] [--sums]\n"
    "                  [--delete-source] [--overwrite] [--quiet]\n"
    "\n"
    "把源文件分割成若干个分割文件: <源文件名去掉扩展名><序号>.vrk。\n"
    "每个分割文件的末尾都带有整个分割集的信息,合并时任选其中一个即可。\n"
    "\n"
    "选项:\n"
    "  --count 数量        分割数量(默认 3),最多9位数字;多于源文件字节数时按字节数分割\n"
    "  --size 大小         按大小分割: 取每个分割文件(连同末尾344字节的分割信息)都不超过\n"
    "                      这个大小的最少数量;压缩时按无法压缩的数据计算。大小是整数,\n"
    "                      可带单位 K、M、G、T(1024的幂)或 KB、MB、GB、TB(1000的幂),\n"
    "                      或者是 fat32(4GiB-1字节)、cd(700MiB)、dvd(4.7GB)、\n"
    "                      mail(18MB,base64编码后仍在25MB的邮件附件限制之内)。不能与 --count 同用\n"
    "  --out 目录          释放到的目录(默认:源文件所在目录)\n"
    "  --password 密码     加密分割文件:5到16个英文字母和数字,合并时须输入同一密码\n"
    "  --compress 级别     压缩分割文件: fastest 最快, default 默认, max 最大比例\n"
    "  --check 方式        启用文件校验,以便合并时检验文件是否和源文件相同: md5 或 crc32\n"
    "  --sums              生成校验文件 <源文件名去掉扩展名>.sha256: 每个分割文件一行SHA-256,\n"
    "                      格式与 sha256sum 相同,可用 sha256sum -c 检查;合并和校验时会用它\n"
    "                      找出损坏的分割文件\n"
    "  --delete-source     分割成功后删除源文件\n"
    "  --overwrite         覆盖已经存在的同名分割文件(否则不分割)\n"
    "  --quiet             不在终端上显示进度行\n"
    "\n"
    "标准输出只包含分割过程的记录行。\n"
    "退出码: 0 分割成功; 1 分割失败; 2 用法错误、输入不正确或分割文件已存在,分割未开始。\n";

constexpr const char* kMergeUsage =
    "用法: qarvo merge 分割文件 [--out 目录] [--password 密码] [--no-verify] [--delete-pieces]\n"
    "                  [--overwrite] [--quiet]\n"
    "\n"
    "由分割集中任意一个 .vrk 分割文件合并出原文件;其余分割文件须在同一目录下,\n"
    "并保持分割时的文件名。合并出的文件使用分割时记录的原文件名。\n"
    "分割文件旁有校验文件 <名称>.sha256 时,合并的同时检查每个分割文件;有损坏的\n"
    "分割文件时指出是哪一个,合并失败,不留下合并出的文件,也不删除任何文件。\n"
    "\n"
    "选项:\n"
    "  --out 目录          释放到的目录(默认:分割文件所在目录)\n"
    "  --password 密码     分割时设置的密码\n"
    "  --no-verify         即使有校验信息也不校验文件\n"
    "  --delete-pieces     合并后删除分割文件\n"
    "  --overwrite         覆盖已经存在的同名文件(否则不合并)\n"
    "  --quiet             不在终端上显示进度行\n"
    "\n"
    "覆盖时若校验结果与原文件不符,合并出的文件另存为 <文件名>.校验失败,原有的文件不动。\n"
    "标准输出只包含合并过程的记录行。\n"
    "退出码: 0 合并成功(有校验时与原文件相同); 1 合并失败、被拒绝或校验结果与原文件不符;\n"
    "        2 用法错误、输入不正确或合并出的文件已存在,合并未开始。\n";

// The window's validation lines are log lines: stdout.
int RefuseWithLine(const std::string& line) {
  StdoutLog().Add(line);
  return kExitNotStarted;
}

}  // namespace

namespace {

// The options of a split as the window's record holds them; an exit status when one of them is
// not usable, and then nothing has been looked at on disk.
std::optional<int> ReadSplitOptions(const ParsedArgs& parsed, TCWorkInfos& options) {
  options.DeleteSource = parsed.flags.count("--delete-source") != 0 ? 1 : 0;
  const auto size_value = parsed.values.find("--size");
  if (size_value != parsed.values.end() && parsed.values.count("--count") != 0) {
    return UsageError("split", "--size 和 --count 不能同时使用", kSplitUsage);
  }
  if (size_value != parsed.values.end()) {
    const std::optional<int64_t> size = ParsePieceSize(size_value->second);
    if (!size) {
      return UsageError("split",
                        "--size 应是整数,可带单位 K、M、G、T、KB、MB、GB、TB,"
                        "或是 fat32、cd、dvd、mail",
                        kSplitUsage);
    }
    // 0 asks for no plan at all: it is a size too small, refused as such.
    options.MaxPieceFile = std::max<int64_t>(*size, 1);
  }
  options.WriteSums = parsed.flags.count("--sums") != 0 ? 1 : 0;
  options.Overwrite = parsed.flags.count("--overwrite") != 0 ? 1 : 0;
  if (const auto level = parsed.values.find("--compress"); level != parsed.values.end()) {
    options.Compress = 1;
    if (level->second == "fastest") {
      options.Level = 1;
    } else if (level->second == "default") {
      options.Level = 2;
    } else if (level->second == "max") {
      options.Level = 3;
    } else {
      return UsageError("split", "--compress 只能是 fastest、default 或 max", kSplitUsage);
    }
  }
  if (const auto check = parsed.values.find("--check"); check != parsed.values.end()) {
    if (check->second == "md5") {
      options.CheckKind = ChecksumKind::Md5;
    } else if (check->second == "crc32") {
      options.CheckKind = ChecksumKind::Crc32;
    } else {
      return UsageError("split", "--check 只能是 md5 或 crc32", kSplitUsage);
    }
  }
  if (const auto password = parsed.values.find("--password"); password != parsed.values.end()) {
    if (const char* refusal = PasswordRefusal(password->second)) {
      return Refuse("split", refusal);
    }
    options.Password = password->second;
  }
  return std::nullopt;
}

// The window's checks of source, count and folder, then the pieces the split would write,
// which must not be there unless --overwrite: an exit status when the split may not start.
std::optional<int> CheckSplitTargets(const ParsedArgs& parsed, const TCWorkInfos& options,
                                     const std::string& count_text, const std::string& out_dir) {
  const std::string& source = parsed.positional[0];
  if (!FileExists(source)) {
    return RefuseWithLine("文件分割:文件不存在!");
  }
  // The window's count box holds at most nine digits.
  if (!IsAllDigits(count_text) || count_text.size() > 9) {
    return RefuseWithLine("文件分割:请输入正确的分割数量!");
  }
  if (!DirectoryExists(out_dir)) {
    return RefuseWithLine("文件分割:目录不存在!");
  }
  int32_t count = std::stoi(count_text);
  try {
    if (options.MaxPieceFile > 0) {
      // Refused before anything is written; the worker plans again with the size it reads.
      const SizePlan plan =
          PlanPiecesBySize(FileSizeOf(source), options.MaxPieceFile, options.Compress == 1);
      if (const char* refusal = SizePlanRefusalLine(plan.fault)) {
        return RefuseWithLine(refusal);
      }
      count = plan.count;
    }
    if (RefusesExisting("split", parsed,
                        SplitOutputPaths(source, count, out_dir, options.WriteSums == 1))) {
      return kExitNotStarted;
    }
  } catch (const std::exception& error) {
    return Refuse("split", std::string("无法读取源文件的大小: ") + error.what());
  }
  return std::nullopt;
}

}  // namespace

int RunSplit(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  int exit_code = kExitOk;
  if (!ParseCommand(
          {.name = "split",
           .valued = {"--count", "--size", "--out", "--password", "--compress", "--check"},
           .flags = {"--delete-source", "--sums", "--overwrite", "--quiet"},
           .usage = kSplitUsage,
           .files = 1},
          args, parsed, exit_code)) {
    return exit_code;
  }
  const std::string& source = parsed.positional[0];
  TCWorkInfos options;
  if (const std::optional<int> refused = ReadSplitOptions(parsed, options)) {
    return *refused;
  }
  const auto count_value = parsed.values.find("--count");
  const std::string count_text = count_value != parsed.values.end() ? count_value->second : "3";
  const auto out_value = parsed.values.find("--out");
  const std::string out_dir =
      out_value != parsed.values.end() ? out_value->second : DirectoryOf(source);
  if (const std::optional<int> refused = CheckSplitTargets(parsed, options, count_text, out_dir)) {
    return *refused;
  }

  auto progress = StderrProgress(parsed);
  options.Log = StdoutBesideProgress(progress);
  std::shared_ptr<TCutFile> worker;
  try {
    worker = TCutFile::Create(source, options, std::stoi(count_text), out_dir, progress);
  } catch (const std::exception& error) {
    return Refuse("split", std::string("无法读取源文件的大小: ") + error.what());
  }
  return FinishJob("split", *worker, *progress);
}

int RunMerge(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  int exit_code = kExitOk;
  if (!ParseCommand({.name = "merge",
                     .valued = {"--out", "--password"},
                     .flags = {"--no-verify", "--delete-pieces", "--overwrite", "--quiet"},
                     .usage = kMergeUsage,
                     .files = 1},
                    args, parsed, exit_code)) {
    return exit_code;
  }
  const std::string& piece = parsed.positional[0];
  const auto out_value = parsed.values.find("--out");
  const std::string out_dir =
      out_value != parsed.values.end() ? out_value->second : DirectoryOf(piece);
  if (!FileExists(piece)) {
    return RefuseWithLine("文件合并:文件不存在!");
  }
  if (!DirectoryExists(out_dir)) {
    return RefuseWithLine("文件合并:目录不存在!");
  }

  TMWorkInfos options;
  options.DeletePieces = parsed.flags.count("--delete-pieces") != 0 ? 1 : 0;
  options.SkipVerify = parsed.flags.count("--no-verify") != 0 ? 1 : 0;
  options.Overwrite = parsed.flags.count("--overwrite") != 0 ? 1 : 0;
  if (const auto password = parsed.values.find("--password"); password != parsed.values.end()) {
    options.Password = password->second;
  }
  if (const auto output = MergeOutputPath(piece, options.Password, out_dir);
      output && RefusesExisting("merge", parsed, {*output})) {
    return kExitNotStarted;
  }
  auto progress = StderrProgress(parsed);
  options.Log = StdoutBesideProgress(progress);
  const auto worker = TMergerFile::Create(piece, options, out_dir, progress);
  return FinishJob("merge", *worker, *progress);
}

}  // namespace qarvo::cli
