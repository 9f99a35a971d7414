#pragma once

// The tools layer: the pack's own fields and lists (this header; the trailer block is
// trailer/trailer.h) and the tool workers: pack.h, unpack.h, bundle.h, compare.h, mp3cut.h. A
// change to one tool's behaviour goes to its worker; a change to the pack format goes here.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec/digest.h"
#include "trailer/trailer.h"

namespace qarvo {

// A pack file: the data of every file back to back, the optional checksum list, the sizes list,
// the paths list (CR LF lines, GB18030 text), then this many trailer bytes holding the encrypted
// header text.
inline constexpr size_t kPackTrailerSize = 174;
inline constexpr size_t kMaxOutNameBytes = 50;
inline constexpr size_t kOutNameFieldBytes = 255;

// Options handed from the pack and unpack windows (or the command line) to their workers. Texts
// are UTF-8; the workers convert at the file boundary.
struct TSMWorkInfos {
  bool DeleteSource = false;  // pack: delete the packed files; unpack: delete the pack
  bool SkipVerify = false;    // unpack: do not verify even when the pack carries checksums
  bool Overwrite = false;     // the user agreed to replace files that already exist
  ChecksumKind CheckKind = ChecksumKind::None;
  std::vector<std::string> CheckSums;
  std::string OutName;  // pack: the pack's name without directory
  std::vector<std::string> Paths;
  std::vector<std::string> Sizes;
  std::string Password;
};

// The fields of a pack header after the magic and the password digest.
struct PackHeader {
  ChecksumKind check_kind = ChecksumKind::None;
  int64_t file_count = 0;
  int64_t paths_length = 0;
  int64_t sizes_length = 0;
  int64_t checks_length = 0;  // 0 when check_kind is None
};

// True when `name_utf8` may name a pack: not empty, at most 50 bytes in GB18030, neither "." nor
// "..", and free of \ / : ? * < > | and the double quote.
bool IsValidOutName(const std::string& name_utf8);

// The plain header text. The lengths are the byte lengths of the lists as written.
std::string BuildPackHeaderText(const std::string& password_utf8, const PackHeader& header);

// Reads a pack trailer (exactly kPackTrailerSize bytes) with the typed password.
HeaderStatus ReadPackHeader(std::string_view trailer, const std::string& typed_password_utf8,
                            PackHeader& out);

// One list text: every entry followed by CR LF.
std::string ListText(const std::vector<std::string>& entries);
// Splits a list text at CR LF, a lone CR and a lone LF; a break at the very end adds no empty
// line, an empty line inside stays.
std::vector<std::string> SplitListLines(std::string_view text);

// How a local path is listed in a pack: GB18030, with "\" as separator, so any reader that takes
// the text after the last "\" gets the bare name.
std::string PackPathLine(const std::string& path_utf8);

// The name an entry is written under, from its decoded (UTF-8) path line: the text after the
// last "\", "/" or ":". Decoding comes first, so a GB18030 trail byte never counts as a
// separator. Empty when the line names no file that may be created inside the target folder
// ("", ".", "..", or a name holding a NUL byte).
std::string EntryFileName(std::string_view path_utf8);

// A decimal number of ASCII digits only that fits a signed 64-bit value.
std::optional<int64_t> ParseDecimal64(std::string_view text);

}  // namespace qarvo
