#pragma once

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
// True when the text is well-formed UTF-8 (no stray, overlong or surrogate sequences). Linux
// file names are bytes; only a valid UTF-8 name can be stored as a GB18030 name.
bool IsValidUtf8(std::string_view text);
// Non-empty and ASCII digits only.
bool IsAllDigits(std::string_view text);

}  // namespace qarvo
