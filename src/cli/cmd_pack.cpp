#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/progress_line.h"
#include "codec/digest.h"
#include "codec/password_rule.h"
#include "platform/file.h"
#include "tools/pack.h"
#include "tools/unpack.h"

namespace qarvo::cli {

namespace {

constexpr char kPackUsage[] =
    "用法: qarvo pack 文件... --out 目录 --name 文件名 [选项]\n"
    "\n"
    "把多个文件打包到一个文件(可以用 qarvo unpack 解包)。\n"
    "\n"
    "  --out 目录          输出目录(必须已经存在)\n"
    "  --name 文件名       输出文件名,长度不能大于50,不能含有 \\ / : ? * < > | \"\n"
    "  --check md5|crc32   对每个文件生成校验信息(MD5校验或CRC32校验)\n"
    "  --password 密码     加密打包文件:5到16个英文字母和数字\n"
    "  --delete-sources    打包后删除源文件\n"
    "  --overwrite         覆盖已经存在的同名打包文件(否则不打包)\n"
    "  --quiet             不在终端上显示进度行\n"
    "  --help              显示本说明\n"
    "\n"
    "不存在或大小为0的文件不打包。标准输出是任务的记录行;\n"
    "两个文件的文件名相同时不打包(解包时后一个会覆盖前一个)。\n"
    "退出码: 0 打包完成; 1 任务中途结束或被拒绝; 2 任务未开始(如打包文件已存在)。\n";

constexpr char kUnpackUsage[] =
    "用法: qarvo unpack 打包文件 [选项]\n"
    "\n"
    "把打包文件解包。\n"
    "\n"
    "  --out 目录          释放到的目录(默认为打包文件所在的目录)\n"
    "  --password 密码     解包密码\n"
    "  --no-verify         即使有校验信息也不校验文件\n"
    "  --delete-pack       解包后删除源文件\n"
    "  --overwrite         覆盖已经存在的同名文件(否则不解包)\n"
    "  --quiet             不在终端上显示进度行\n"
    "  --help              显示本说明\n"
    "\n"
    "覆盖时与原文件不相符的文件另存为 <文件名>.校验失败,原有的文件不动。\n"
    "打包文件中有同名的文件时,后面的文件改名为 \"名称 (2)\" 等,不覆盖前面的文件。\n"
    "标准输出是任务的记录行;\n"
    "退出码: 0 解包完成且校验相符; 1 文件无法识别、密码不对、任务中途结束或校验不相符;\n"
    "2 任务未开始(如要释放的文件已存在)。\n";

int Refuse(const char* text) {
  std::fprintf(stderr, "%s\n", text);
  return kExitNotStarted;
}

}  // namespace

int RunPack(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  int exit_code = kExitOk;
  if (!ParseOrHelp("pack", args, {"--out", "--name", "--check", "--password"},
                   {"--delete-sources", "--overwrite", "--quiet"}, kPackUsage, parsed, exit_code)) {
    return exit_code;
  }
  if (parsed.values.count("--out") == 0 || parsed.values.count("--name") == 0) {
    return UsageError("pack", "需要 --out 和 --name", kPackUsage);
  }
  TSMWorkInfos infos;
  if (parsed.values.count("--check") != 0) {
    const std::string& check = parsed.values["--check"];
    if (check == "md5") {
      infos.CheckKind = ChecksumKind::Md5;
    } else if (check == "crc32") {
      infos.CheckKind = ChecksumKind::Crc32;
    } else {
      return UsageError("pack", "--check 只能是 md5 或 crc32", kPackUsage);
    }
  }
  if (parsed.values.count("--password") != 0) {
    infos.Password = parsed.values["--password"];
    if (const char* refusal = PasswordRefusal(infos.Password)) {
      return Refuse(refusal);
    }
  }
  // The window's checks, in its order.
  if (parsed.positional.empty()) {
    return Refuse("请先导入文件!");
  }
  const std::string out_dir = parsed.values["--out"];
  if (!DirectoryExists(out_dir)) {
    return Refuse("输出目录不存在!");
  }
  infos.OutName = parsed.values["--name"];
  if (!IsValidOutName(infos.OutName)) {
    return Refuse("输出文件名不符合格式!");
  }
  for (const std::string& path : parsed.positional) {
    int64_t size = 0;
    try {
      size = FileExists(path) ? FileSizeOf(path) : 0;
    } catch (const FileError&) {
      size = 0;
    }
    if (size <= 0) {
      std::fprintf(stderr, "qarvo pack: 跳过不存在或大小为0的文件 %s\n", path.c_str());
      continue;
    }
    infos.Paths.push_back(path);
    infos.Sizes.push_back(std::to_string(size));
  }
  infos.DeleteSource = parsed.flags.count("--delete-sources") != 0;
  infos.Overwrite = parsed.flags.count("--overwrite") != 0;
  if (RefusesExisting("pack", parsed, {PackOutputPath(out_dir, infos.OutName)})) {
    return kExitNotStarted;
  }

  auto progress = StderrProgress(parsed);
  auto worker = TSMfile::Create(out_dir, infos, JobHost{StdoutBesideProgress(progress), progress});
  return FinishJob("pack", *worker, *progress);
}

int RunUnpack(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  int exit_code = kExitOk;
  if (!ParseCommand({.name = "unpack",
                     .valued = {"--out", "--password"},
                     .flags = {"--no-verify", "--delete-pack", "--overwrite", "--quiet"},
                     .usage = kUnpackUsage,
                     .files = 1,
                     .files_error = "需要一个打包文件"},
                    args, parsed, exit_code)) {
    return exit_code;
  }
  const std::string pack = parsed.positional.front();
  if (!FileExists(pack)) {
    return Refuse("文件不存在!");
  }
  const std::string out_dir =
      parsed.values.count("--out") != 0 ? parsed.values["--out"] : DirectoryOf(pack);
  if (!DirectoryExists(out_dir)) {
    return Refuse("目的目录不存在!");
  }
  TSMWorkInfos infos;
  infos.DeleteSource = parsed.flags.count("--delete-pack") != 0;
  infos.SkipVerify = parsed.flags.count("--no-verify") != 0;
  infos.Overwrite = parsed.flags.count("--overwrite") != 0;
  if (parsed.values.count("--password") != 0) {
    infos.Password = parsed.values["--password"];
  }
  if (RefusesExisting("unpack", parsed, TSDfile::OutputPaths(pack, infos.Password, out_dir))) {
    return kExitNotStarted;
  }
  auto progress = StderrProgress(parsed);
  auto worker =
      TSDfile::Create(pack, infos, out_dir, JobHost{StdoutBesideProgress(progress), progress});
  return FinishJob("unpack", *worker, *progress);
}

}  // namespace qarvo::cli
