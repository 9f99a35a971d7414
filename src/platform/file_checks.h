#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qarvo {

// The outputs of one job that already have a file (or a folder, or a link) under their name:
// the first of them in the job's order and how many there are.
struct ExistingOutputs {
  std::string first;
  size_t count = 0;
  bool Any() const { return count != 0; }
};

// What is added to the name of a result that failed its check when a file of its own name was
// there before: the old file stays, the result goes beside it.
inline constexpr char kFailedCheckMark[] = ".校验失败";

// Looks at every name once, links not followed: a dangling link still takes the name.
ExistingOutputs FindExisting(const std::vector<std::string>& paths);

// The job's line for outputs it will not replace unasked: job + "文件" + first + "已存在" and,
// for more than one, ",共有n个文件已存在", then ",未覆盖!". The command line prints it as well.
std::string ExistingOutputsLine(std::string_view job, const ExistingOutputs& existing);

// What a job knows of an input when it starts reading it. An input that no longer has the same
// file, size, modification and change times was changed (or replaced) by someone else while
// the job ran: what the job wrote from it no longer stands for it, so it must not be deleted.
struct FileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modified_ns = 0;
  int64_t changed_ns = 0;
  bool operator==(const FileStamp&) const = default;
};

// job + "文件" + path + "读取后被改动过,未删除!": an input kept because it changed.
std::string ChangedInputLine(std::string_view job, const std::string& path);

// Nothing when the file cannot be examined.
std::optional<FileStamp> StampOf(const std::string& path);
// True when `path` still has the stamp `before` (false when either is missing).
bool Unchanged(const std::string& path, const std::optional<FileStamp>& before);

}  // namespace qarvo
