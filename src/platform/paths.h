#pragma once

// Names within paths: the separator, the folder end, the file name and its stem. Pure text
// work on the platform's path syntax; the folder of a path is DirectoryOf in file.h.

#include <string>
#include <string_view>

#include "platform/file.h"

namespace qarvo {

// Path separator of the platform; directories held by workers end in it.
inline constexpr char kPathSeparator = '/';

// Appends the separator unless the text already ends in it (an empty text becomes "/"). The
// name is the one the windows and workers have always called; on this platform the separator
// is "/", not a backslash.
std::string AddTrailingBackslash(std::string_view dir);
// The file name part of a path (after the last separator).
std::string FileNameOf(std::string_view path);
// The file name without its extension (the text from the last dot on). Same stem as
// StripExtension(FileNameOf(path)).
std::string BaseNameOf(std::string_view path);
std::string StripExtension(std::string_view name);

}  // namespace qarvo
