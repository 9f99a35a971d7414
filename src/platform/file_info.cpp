#include "platform/file_info.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace qarvo {

uint32_t AttributesFromMode(mode_t mode, std::string_view name) {
  uint32_t attributes = 0;
  if ((mode & S_IWUSR) == 0) {
    attributes |= kAttributeReadOnly;
  }
  const size_t slash = name.find_last_of('/');
  const std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  if (!base.empty() && base.front() == '.') {
    attributes |= kAttributeHidden;
  }
  if (S_ISREG(mode)) {
    attributes |= kAttributeArchive;
  } else if (S_ISDIR(mode)) {
    attributes |= kAttributeDirectory;
  } else if (S_ISCHR(mode) || S_ISBLK(mode)) {
    attributes |= kAttributeDevice;
  }
  return attributes == 0 ? kAttributeNormal : attributes;
}

std::optional<FileInfo> ReadFileInfo(const std::string& path) {
  struct statx status {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &status) != 0) {
    return std::nullopt;
  }
  FileInfo info;
  info.size = static_cast<int64_t>(status.stx_size);
  info.attributes = AttributesFromMode(status.stx_mode, path);
  const auto time_of = [](const struct statx_timestamp& t) {
    return FileTime{t.tv_sec, t.tv_nsec};
  };
  info.creation_is_birth = (status.stx_mask & STATX_BTIME) != 0;
  info.creation = time_of(info.creation_is_birth ? status.stx_btime : status.stx_ctime);
  info.modification = time_of(status.stx_mtime);
  return info;
}

std::optional<uint32_t> DosDateTimeFromLocal(const std::tm& local) {
  const int year = local.tm_year + 1900;
  if (year < 1980 || year > 2107) {
    return std::nullopt;
  }
  const auto date =
      static_cast<uint32_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  // A leap second (60) is kept within the field's 0..29.
  const int seconds = local.tm_sec > 59 ? 59 : local.tm_sec;
  const auto time =
      static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (seconds / 2));
  return (date << 16) | time;
}

std::tm LocalFromDosDateTime(uint32_t dos) {
  std::tm local{};
  const uint32_t date = dos >> 16;
  const uint32_t time = dos & 0xFFFF;
  local.tm_year = static_cast<int>((date >> 9) + 80);
  local.tm_mon = static_cast<int>(((date >> 5) & 0x0F)) - 1;
  local.tm_mday = static_cast<int>(date & 0x1F);
  local.tm_hour = static_cast<int>(time >> 11);
  local.tm_min = static_cast<int>((time >> 5) & 0x3F);
  local.tm_sec = static_cast<int>((time & 0x1F) * 2);
  local.tm_isdst = -1;
  return local;
}

std::tm LocalTimeOf(int64_t seconds) {
  const auto t = static_cast<std::time_t>(seconds);
  std::tm local{};
  ::localtime_r(&t, &local);
  return local;
}

}  // namespace qarvo
