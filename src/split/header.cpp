#include "split/header.h"

#include <stdexcept>

#include "codec/des.h"
#include "codec/digest.h"
#include "platform/file.h"
#include "split/paths.h"
#include "text/codepage.h"

namespace qarvo {

namespace {

constexpr size_t kMagicLength = sizeof(kHeaderMagic) - 1;

// The digest field must end by this 1-based position of the first "|" of the whole text.
constexpr size_t kMaxPasswordBar = 72;
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

std::string PasswordDigestField(const std::string& password_utf8) {
  if (password_utf8.empty()) {
    return kNoPasswordMarker;
  }
  return Md5Hex(Md5OfText(Utf8ToGb18030(password_utf8)));
}

std::string EncryptHeaderWithFiller(const std::string& header_text) {
  try {
    return EncryptHeaderText(header_text);
  } catch (const CipherError&) {
    // About one text in 256 ends its first pass in a zero byte, which the second pass refuses.
    // A byte after the final "|" changes the last block; readers never look past that "|".
  }
  for (int filler = 1; filler < 256; ++filler) {
    if (filler == '|') {
      continue;
    }
    try {
      return EncryptHeaderText(header_text + static_cast<char>(filler));
    } catch (const CipherError&) {
    }
  }
  throw CipherError(kLastCharNullError);
}

std::string MakeTrailerBlock(const std::string& encrypted, size_t size) {
  if (encrypted.size() > size) {
    throw std::length_error("encrypted header does not fit its block");
  }
  std::string block(size, '\0');
  block.replace(0, encrypted.size(), encrypted);
  return block;
}

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
  std::string text = kHeaderMagic;
  text += PasswordDigestField(password_utf8);
  text += '|';
  text += check_text;
  text += '|';
  text += std::to_string(ChecksumFormatCode(check_kind));
  text += '|';
  text += compressed ? '1' : '0';
  text += '|';
  text += std::to_string(piece_count);
  text += '|';
  text += Utf8ToGb18030(StoredSourceName(source_name_utf8));
  text += '|';
  return text;
}

std::string DecryptTrailerBlock(std::string_view block) {
  // The encrypted text's length is recorded nowhere and the text may hold zero bytes, so the
  // whole block is deciphered; the zero padding turns into bytes behind the last field, which
  // no reader looks at.
  return DecryptHeaderText(block);
}

HeaderStatus HeaderFieldReader::ReadMagicAndPassword(const std::string& typed_password_utf8) {
  if (rest_.substr(0, kMagicLength) != std::string_view(kHeaderMagic)) {
    return HeaderStatus::NotRecognised;
  }
  const size_t bar = rest_.find('|');
  if (bar == std::string_view::npos || bar + 1 > kMaxPasswordBar) {
    return HeaderStatus::NotRecognised;
  }
  const std::string_view digest = rest_.substr(kMagicLength, bar - kMagicLength);
  rest_.remove_prefix(bar + 1);
  if (digest != std::string_view(kNoPasswordMarker)) {
    const std::string typed = Md5Hex(Md5OfText(Utf8ToGb18030(typed_password_utf8)));
    if (digest != typed) {
      return HeaderStatus::WrongPassword;
    }
  }
  return HeaderStatus::Ok;
}

bool HeaderFieldReader::Next(size_t max_position, std::string_view& field) {
  const size_t bar = rest_.find('|');
  if (bar == std::string_view::npos || bar + 1 > max_position) {
    return false;
  }
  field = rest_.substr(0, bar);
  rest_.remove_prefix(bar + 1);
  return true;
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
  const int64_t size = piece.Size();
  if (size <= static_cast<int64_t>(kHeaderTrailerSize)) {
    return HeaderStatus::NotRecognised;
  }
  std::string trailer(kHeaderTrailerSize, '\0');
  piece.Seek(size - static_cast<int64_t>(kHeaderTrailerSize));
  piece.ReadExact(trailer.data(), trailer.size());
  return ReadSetHeader(trailer, typed_password_utf8, out);
}

}  // namespace qarvo
