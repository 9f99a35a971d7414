#include "tools/sums_check.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include "codec/digest.h"
#include "codec/sums_file.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "text/checks.h"
#include "text/codepage.h"
#include "tools/compare_digest.h"

namespace qarvo {

namespace {

// A checksum file lists names and digests; anything this large is no checksum file, and is not
// read into memory.
constexpr int64_t kLargestSumsFile = int64_t{256} << 20;

// Line numbers named in the summary; more are counted only.
constexpr size_t kNamedBadLines = 10;

std::string ReasonOf(const FileError& error) {
  return std::strerror(error.error_number());
}

std::string BadLinesText(const std::vector<int>& lines) {
  std::string text = "有 " + std::to_string(lines.size()) + " 行无法识别: 第 ";
  for (size_t i = 0; i < lines.size() && i < kNamedBadLines; ++i) {
    text += (i == 0 ? "" : ", ") + std::to_string(lines[i]);
  }
  text += lines.size() > kNamedBadLines ? " 等行" : " 行";
  return text;
}

// A name as one log line can hold it: a line break or another control character in a name
// would break the line or hide what follows, so they are shown as escapes, as sha256sum does.
std::string OneLineName(const std::string& name) {
  std::string shown;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      shown += escape;
    } else {
      shown.push_back(c);
    }
  }
  return shown;
}

}  // namespace

std::string ListedFilePath(const std::string& dir, std::string_view raw_name, std::string* shown) {
  std::vector<std::string> names;
  if (IsValidUtf8(raw_name)) {
    names.emplace_back(raw_name);
  }
  names.push_back(Gb18030ToUtf8(raw_name));
  for (size_t i = 0, count = names.size(); i < count; ++i) {
    if (names[i].find('\\') != std::string::npos) {
      std::string slashed = names[i];
      std::replace(slashed.begin(), slashed.end(), '\\', '/');
      names.push_back(std::move(slashed));
    }
  }
  const auto path_of = [&](const std::string& name) {
    return !name.empty() && name.front() == '/' ? name : AddTrailingBackslash(dir) + name;
  };
  for (const std::string& name : names) {
    if (FileExists(path_of(name)) || DirectoryExists(path_of(name))) {
      if (shown != nullptr) {
        *shown = OneLineName(name);
      }
      return path_of(name);
    }
  }
  if (shown != nullptr) {
    *shown = OneLineName(names.front());
  }
  return path_of(names.front());
}

std::shared_ptr<TCheckSums> TCheckSums::Create(const std::string& sums_file, JobHost host) {
  return WorkerThread::Start(std::make_shared<TCheckSums>(sums_file, std::move(host)));
}

TCheckSums::TCheckSums(const std::string& sums_file, JobHost host)
    : WorkerThread(std::move(host)), sums_file_(sums_file) {}

std::optional<JobResult> TCheckSums::ReadList(std::string& text) {
  try {
    File file = OpenToCompare(sums_file_);
    const int64_t size = file.Size();
    if (size > kLargestSumsFile) {
      Log(std::string(kSumsCheckJob) + "文件太大,不是校验文件 " + sums_file_);
      return JobResult::Refused;
    }
    text.resize(static_cast<size_t>(size));
    text.resize(file.Read(text.data(), text.size()));
  } catch (const FileError& error) {
    NoteFailure(error);
    Log(std::string(kSumsCheckJob) + "无法读取文件 " + error.path() + " (" + ReasonOf(error) + ")");
    return JobResult::Failed;
  }
  return std::nullopt;
}

TCheckSums::Tally TCheckSums::CheckListed(const SumsList& list) {
  const std::string dir = DirectoryOf(sums_file_);
  struct Target {
    std::string path;
    std::string shown;
  };
  std::vector<Target> targets;
  int64_t total = 0;
  for (const SumEntry& entry : list.entries) {
    Target target;
    target.path = ListedFilePath(dir, entry.name, &target.shown);
    try {
      total += FileSizeOf(target.path);
    } catch (const FileError&) {
      // Missing or unreadable: told when its turn comes.
    }
    targets.push_back(std::move(target));
  }
  SetProgressTotal(total);

  Tally tally;
  for (size_t i = 0; i < list.entries.size(); ++i) {
    const SumEntry& entry = list.entries[i];
    const Target& target = targets[i];
    try {
      File file = OpenToCompare(target.path);
      if (SumHexOf(file, entry.kind, &Observer()) == entry.hex) {
        ++tally.matched;
        Log(target.shown + ": 相符");
      } else {
        ++tally.differing;
        Log(target.shown + ": 不相符");
      }
    } catch (const FileError& error) {
      if (error.error_number() == ENOENT || error.error_number() == ENOTDIR) {
        ++tally.missing;
        Log(target.shown + ": 文件不存在");
      } else {
        ++tally.unreadable;
        NoteFailure(error);
        Log(target.shown + ": 无法读取 (" + ReasonOf(error) + ")");
      }
    }
  }
  FinishProgress();
  return tally;
}

void TCheckSums::LogSummary(const SumsList& list, const Tally& tally) {
  if (!list.bad_lines.empty()) {
    Log(BadLinesText(list.bad_lines));
  }
  const size_t count = list.entries.size();
  if (tally.matched == count) {
    Log("共 " + std::to_string(count) + " 个文件,全部相符");
    return;
  }
  std::string summary = "共 " + std::to_string(count) +
                        " 个文件: " + std::to_string(tally.matched) + " 个相符, " +
                        std::to_string(tally.differing) + " 个不相符, " +
                        std::to_string(tally.missing) + " 个文件不存在";
  if (tally.unreadable != 0) {
    summary += ", " + std::to_string(tally.unreadable) + " 个无法读取";
  }
  Log(summary);
}

JobResult TCheckSums::Execute() {
  Log("正在检查校验文件 " + sums_file_ + " ...");
  std::string text;
  if (const std::optional<JobResult> ended = ReadList(text)) {
    return *ended;
  }
  const SumsList list = ParseSums(text, SumKindOfFileName(sums_file_));
  if (list.entries.empty()) {
    if (!list.bad_lines.empty()) {
      Log(BadLinesText(list.bad_lines));
    }
    Log(std::string(kSumsCheckJob) + "文件中没有可识别的校验行 " + sums_file_);
    return JobResult::Refused;
  }
  const Tally tally = CheckListed(list);
  LogSummary(list, tally);
  return tally.matched == list.entries.size() && list.bad_lines.empty() ? JobResult::Succeeded
                                                                        : JobResult::Mismatch;
}

}  // namespace qarvo
