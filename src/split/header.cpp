#include "split/header.h"

#include <stdexcept>

#include "codec/digest.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "text/checks.h"
#include "text/codepage.h"

namespace qarvo {

namespace {

constexpr size_t kMaxCheckBar = 33;
constexpr size_t kMaxFlagBar = 2;
constexpr size_t kMaxCountBar = 10;
constexpr size_t kMaxNameBar = 257;

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  while (!text.empty() && blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && blank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// A stored name decides where a merge writes and which files it may delete: it must be a bare
// file name.
bool IsSafeFileName(std::string_view name) {
  const std::string_view trimmed = Trimmed(name);
  if (trimmed.empty() || trimmed == "." || trimmed == "..") {
    return false;
  }
  return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

}  // namespace

std::string StoredSourceName(const std::string& source_name_utf8) {
  // "|" would end the name field early and "\" would make the reader refuse the name; neither
  // can appear in names on the systems the format comes from, so they are stored as "_".
  std::string name = source_name_utf8;
  for (char& c : name) {
    if (c == '|' || c == '\\') {
      c = '_';
    }
  }
  return CutUtf8ToGb18030Bytes(name, kMaxStoredNameBytes);
}

std::string PieceBaseOf(const std::string& source_name_utf8) {
  return StripExtension(StoredSourceName(source_name_utf8));
}

std::string BuildSetHeaderText(const std::string& password_utf8, const std::string& check_text,
                               ChecksumKind check_kind, bool compressed, int32_t piece_count,
                               const std::string& source_name_utf8) {
  std::string text = HeaderTextStart(password_utf8);
  AppendHeaderField(text, check_text);
  AppendHeaderField(text, std::to_string(ChecksumFormatCode(check_kind)));
  AppendHeaderField(text, compressed ? "1" : "0");
  AppendHeaderField(text, std::to_string(piece_count));
  AppendHeaderField(text, Utf8ToGb18030(StoredSourceName(source_name_utf8)));
  return text;
}

HeaderStatus ReadSetHeader(std::string_view trailer, const std::string& typed_password_utf8,
                           SetHeader& out) {
  if (trailer.size() != kHeaderTrailerSize) {
    return HeaderStatus::NotRecognised;
  }
  const std::string text = DecryptTrailerBlock(trailer);
  HeaderFieldReader reader(text);
  const HeaderStatus status = reader.ReadMagicAndPassword(typed_password_utf8);
  if (status != HeaderStatus::Ok) {
    return status;
  }
  std::string_view check;
  std::string_view kind;
  std::string_view flag;
  std::string_view count;
  std::string_view name;
  if (!reader.Next(kMaxCheckBar, check) || !reader.Next(kMaxFlagBar, kind) || kind.empty() ||
      kind[0] < '0' || kind[0] > '2' || !reader.Next(kMaxFlagBar, flag) || flag.empty() ||
      (flag[0] != '0' && flag[0] != '1') || !reader.Next(kMaxCountBar, count) ||
      !IsAllDigits(count) || !reader.Next(kMaxNameBar, name)) {
    return HeaderStatus::NotRecognised;
  }
  const std::string source_name = Gb18030ToUtf8(CutGb18030(name, kMaxStoredNameBytes));
  if (!IsSafeFileName(source_name)) {
    return HeaderStatus::NotRecognised;
  }
  int32_t pieces = 0;
  for (const char digit : count) {
    pieces = pieces * 10 + (digit - '0');
  }
  // No writer makes a set of no pieces; joining one would only replace a file of the stored
  // name in the output folder with an empty one.
  if (pieces == 0) {
    return HeaderStatus::NotRecognised;
  }
  SetHeader header;
  header.check_text = std::string(check);
  header.check_kind = ChecksumKindOfCode(kind[0] - '0');
  header.compressed = flag[0] == '1';
  header.piece_count = pieces;
  header.source_name = source_name;
  header.piece_base = StripExtension(source_name);
  out = std::move(header);
  return HeaderStatus::Ok;
}

HeaderStatus ReadSetHeaderOfPiece(const std::string& piece_path,
                                  const std::string& typed_password_utf8, SetHeader& out) {
  File piece(piece_path, OpenMode::Read, Share::Shared);
  std::string trailer;
  if (!ReadPieceTrailer(piece, piece.Size(), trailer)) {
    return HeaderStatus::NotRecognised;
  }
  return ReadSetHeader(trailer, typed_password_utf8, out);
}

bool ReadPieceTrailer(File& piece, int64_t size, std::string& trailer) {
  // A piece carries at least one byte of data before its trailer.
  return size > static_cast<int64_t>(kHeaderTrailerSize) &&
         ReadTrailer(piece, size, kHeaderTrailerSize, trailer);
}

}  // namespace qarvo
