#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace qarvo::hex {

// Fills `out` with the content's bytes from `position` on (the range lies inside the content).
using ContentReader = std::function<void(int64_t position, std::span<uint8_t> out)>;
// Called after each block with the percent written; returns false to cancel.
using SaveProgress = std::function<bool(int percent)>;

// Writes `size` bytes of content to `path` whole or not at all: block by block (never the
// whole content at once, so a content backed by a file of any size can be saved) into a
// temporary file beside `path`, which replaces `path` only once everything is written and
// flushed. A failure or a cancel leaves `path` as it was and no temporary file behind. Throws
// FileError for the file system, EMPHexEditor("Operation cancelled") when cancelled.
void SaveContentCopy(const ContentReader& read, int64_t size, const std::string& path,
                     const SaveProgress& progress);

}  // namespace qarvo::hex
