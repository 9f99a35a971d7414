#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/progress_line.h"
#include "platform/file.h"
#include "split/set_check.h"

namespace qarvo::cli {

namespace {

constexpr const char* kVerifyUsage =
    "用法: qarvo verify 分割文件 [--password 密码] [--quiet]\n"
    "\n"
    "像合并一样读取分割集,但不写任何文件: 每个分割文件都在、都属于同一个分割集、\n"
    "大小符合分割规则、压缩数据完好;分割集带有MD5或CRC32校验信息时,\n"
    "还计算合并后内容的校验值并与之比较。分割文件旁有校验文件 <名称>.sha256 时,\n"
    "逐个核对每个分割文件的SHA-256: 相符的记为完好,不符的指出已损坏;没有校验文件时,\n"
    "每个分割文件一行说明检查了什么,不称其为完好。\n"
    "\n"
    "选项:\n"
    "  --password 密码     分割时设置的密码\n"
    "  --quiet             不在终端上显示进度行\n"
    "\n"
    "标准输出每个分割文件一行,最后一行是校验结果。\n"
    "退出码: 0 分割集可以合并出原文件; 1 缺少文件、文件不属于分割集、已损坏、密码不对\n"
    "        或校验结果与原文件不符; 2 用法错误或文件不存在,校验未开始。\n";

}  // namespace

int RunVerify(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  int exit_code = kExitOk;
  if (!ParseCommand({.name = "verify",
                     .valued = {"--password"},
                     .flags = {"--quiet"},
                     .usage = kVerifyUsage,
                     .files = 1},
                    args, parsed, exit_code)) {
    return exit_code;
  }
  const std::string& piece = parsed.positional[0];
  if (!FileExists(piece)) {
    StdoutLog().Add("文件校验:文件不存在!");
    return kExitNotStarted;
  }
  const auto password = parsed.values.find("--password");
  auto progress = StderrProgress(parsed);
  LogBesideProgress log(std::make_shared<StdoutLog>(), progress);
  const bool joins = VerifySet(piece, password != parsed.values.end() ? password->second : "", log,
                               progress.get());
  progress->Clear();
  return joins ? kExitOk : kExitJobFailed;
}

}  // namespace qarvo::cli
