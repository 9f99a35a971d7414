#pragma once

// The split layer: the split set's own header fields (this header) on top of the shared trailer
// block (trailer/trailer.h), the split worker (cut_file.h), the merge worker (merger_file.h), the
// piece plan, the sums file of a set and the check of a whole set. A change to a field of the
// split format goes here; a change to the block, the cipher or the password field goes to the
// trailer layer; a change to how pieces are written or joined goes to the workers. The tools
// layer does not see this one: what both need lives below them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/digest.h"
#include "trailer/trailer.h"

namespace qarvo {

inline constexpr size_t kHeaderTrailerSize = 344;
inline constexpr char kPieceExtension[] = ".vrk";
inline constexpr size_t kMaxStoredNameBytes = 255;

// Everything a split set's header carries. Texts are UTF-8 except check_text (ASCII).
struct SetHeader {
  std::string check_text;
  ChecksumKind check_kind = ChecksumKind::None;
  bool compressed = false;
  int32_t piece_count = 0;
  std::string source_name;  // decoded from GB18030
  std::string piece_base;   // StripExtension(source_name)
};

// The plain header text (GB18030 bytes) of a split set. `source_name_utf8` is cut to 255
// GB18030 bytes at a character boundary.
std::string BuildSetHeaderText(const std::string& password_utf8, const std::string& check_text,
                               ChecksumKind check_kind, bool compressed, int32_t piece_count,
                               const std::string& source_name_utf8);

// The stored form of a source name and the piece stem derived from it, so split and merge agree.
std::string StoredSourceName(const std::string& source_name_utf8);  // UTF-8, <= 255 GB18030 bytes
std::string PieceBaseOf(const std::string& source_name_utf8);       // StripExtension of the above

// Reads the last 344 bytes of a piece (`trailer` must be exactly that block). On a refusal
// `out` is left untouched.
HeaderStatus ReadSetHeader(std::string_view trailer, const std::string& typed_password_utf8,
                           SetHeader& out);
// The same for a piece file: a file of 344 bytes or less is not recognised. Throws FileError
// when the piece cannot be opened or read.
HeaderStatus ReadSetHeaderOfPiece(const std::string& piece_path,
                                  const std::string& typed_password_utf8, SetHeader& out);

// The trailer of an open piece of `size` bytes: false when the piece has no byte of data before
// a trailer. Throws FileError.
bool ReadPieceTrailer(File& piece, int64_t size, std::string& trailer);

}  // namespace qarvo
