#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace qarvo {

// The attribute word of a file in the bits of the Windows attribute word. Linux keeps no such
// word, so it is made from the mode and the name: no write permission for the owner =
// read-only, a name starting with "." = hidden, a regular file = archive, a directory =
// directory, a device = device, and "normal" when none of these applies.
inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeHidden = 0x02;
inline constexpr uint32_t kAttributeSystem = 0x04;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeArchive = 0x20;
inline constexpr uint32_t kAttributeDevice = 0x40;
inline constexpr uint32_t kAttributeNormal = 0x80;
// What a file that cannot be examined gives.
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

uint32_t AttributesFromMode(mode_t mode, std::string_view name);

// A point in time as seconds and nanoseconds since 1970-01-01 UTC.
struct FileTime {
  int64_t seconds = 0;
  uint32_t nanoseconds = 0;
};

struct FileInfo {
  int64_t size = 0;
  uint32_t attributes = kInvalidAttributes;
  // The birth time where the file system keeps one, else the time of the last status change.
  FileTime creation;
  bool creation_is_birth = false;
  FileTime modification;
};

// Size, attributes and times of the file `path` (links followed); nothing when it cannot be
// examined.
std::optional<FileInfo> ReadFileInfo(const std::string& path);

// A local time to the 32-bit DOS date-time (date in the high half, time in the low half, two
// seconds resolution, seconds cut down); nothing for years outside 1980..2107, which the format
// cannot hold.
std::optional<uint32_t> DosDateTimeFromLocal(const std::tm& local);
// The DOS date-time back to its fields (tm_year counts from 1900, tm_mon from 0).
std::tm LocalFromDosDateTime(uint32_t dos);
// Seconds since 1970 UTC to the local time of the machine's time zone.
std::tm LocalTimeOf(int64_t seconds);

}  // namespace qarvo
