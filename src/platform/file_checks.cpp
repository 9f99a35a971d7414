#include "platform/file_checks.h"

#include <sys/stat.h>

namespace qarvo {

ExistingOutputs FindExisting(const std::vector<std::string>& paths) {
  ExistingOutputs existing;
  for (const std::string& path : paths) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
      if (existing.count == 0) {
        existing.first = path;
      }
      ++existing.count;
    }
  }
  return existing;
}

std::string ExistingOutputsLine(std::string_view job, const ExistingOutputs& existing) {
  std::string line = std::string(job) + "文件" + existing.first + "已存在";
  if (existing.count > 1) {
    line += ",共有" + std::to_string(existing.count) + "个文件已存在";
  }
  return line + ",未覆盖!";
}

std::string ChangedInputLine(std::string_view job, const std::string& path) {
  return std::string(job) + "文件" + path + "读取后被改动过,未删除!";
}

namespace {

int64_t Nanoseconds(const struct timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * 1000000000 + static_cast<int64_t>(time.tv_nsec);
}

}  // namespace

std::optional<FileStamp> StampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return std::nullopt;
  }
  FileStamp stamp;
  stamp.device = static_cast<uint64_t>(info.st_dev);
  stamp.inode = static_cast<uint64_t>(info.st_ino);
  stamp.size = static_cast<int64_t>(info.st_size);
  stamp.modified_ns = Nanoseconds(info.st_mtim);
  stamp.changed_ns = Nanoseconds(info.st_ctim);
  return stamp;
}

bool Unchanged(const std::string& path, const std::optional<FileStamp>& before) {
  const std::optional<FileStamp> now = StampOf(path);
  return before && now && *before == *now;
}

}  // namespace qarvo
