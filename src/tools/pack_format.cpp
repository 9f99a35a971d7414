#include "tools/pack_format.h"

#include <limits>

#include "codec/des.h"
#include "platform/paths.h"
#include "text/checks.h"
#include "text/codepage.h"

namespace qarvo {

namespace {

constexpr std::string_view kRefusedNameChars = "\\/:?*<>|\"";
// The digest and its "|" must end within this many characters after the magic.
constexpr size_t kMaxDigestBarPosition = 33;
// Count and lengths: the "|" at positions 1 to 33.
constexpr size_t kMaxNumberBarPosition = 33;

bool ReadNumberField(HeaderFieldReader& reader, int64_t& value) {
  std::string_view field;
  if (!reader.Next(kMaxNumberBarPosition, field) || !IsAllDigits(field)) {
    return false;
  }
  const std::optional<int64_t> parsed = ParseDecimal64(field);
  if (!parsed) {
    return false;
  }
  value = *parsed;
  return true;
}

}  // namespace

bool IsValidOutName(const std::string& name_utf8) {
  if (name_utf8.empty() || Utf8ToGb18030(name_utf8).size() > kMaxOutNameBytes) {
    return false;
  }
  // These name a folder, never a file that could be written.
  if (name_utf8 == "." || name_utf8 == "..") {
    return false;
  }
  return name_utf8.find_first_of(kRefusedNameChars) == std::string::npos;
}

std::string BuildPackHeaderText(const std::string& password_utf8, const PackHeader& header) {
  std::string text = HeaderTextStart(password_utf8);
  AppendHeaderField(text, std::to_string(ChecksumFormatCode(header.check_kind)));
  AppendHeaderField(text, std::to_string(header.file_count));
  AppendHeaderField(text, std::to_string(header.paths_length));
  AppendHeaderField(text, std::to_string(header.sizes_length));
  if (header.check_kind != ChecksumKind::None) {
    AppendHeaderField(text, std::to_string(header.checks_length));
  }
  return text;
}

HeaderStatus ReadPackHeader(std::string_view trailer, const std::string& typed_password_utf8,
                            PackHeader& out) {
  if (trailer.size() != kPackTrailerSize) {
    return HeaderStatus::NotRecognised;
  }
  // The whole block is decrypted: the encrypted text may hold zero bytes, and what the filler
  // blocks decrypt to lies after the last field, where nothing is read.
  std::string text;
  try {
    text = DecryptTrailerBlock(trailer);
  } catch (const CipherError&) {
    return HeaderStatus::NotRecognised;
  }
  const std::string_view magic = kHeaderMagic;
  if (text.compare(0, magic.size(), magic) != 0) {
    return HeaderStatus::NotRecognised;
  }
  // A pack allows a shorter stretch before the digest's "|" than a split set does.
  const size_t bar = text.find('|', magic.size());
  if (bar == std::string::npos || bar - magic.size() + 1 > kMaxDigestBarPosition) {
    return HeaderStatus::NotRecognised;
  }
  HeaderFieldReader reader(text);
  const HeaderStatus status = reader.ReadMagicAndPassword(typed_password_utf8);
  if (status != HeaderStatus::Ok) {
    return status;
  }
  PackHeader header;
  std::string_view kind;
  if (!reader.Next(2, kind) || kind.size() != 1 || kind[0] < '0' || kind[0] > '2') {
    return HeaderStatus::NotRecognised;
  }
  header.check_kind = ChecksumKindOfCode(kind[0] - '0');
  if (!ReadNumberField(reader, header.file_count) ||
      !ReadNumberField(reader, header.paths_length) ||
      !ReadNumberField(reader, header.sizes_length)) {
    return HeaderStatus::NotRecognised;
  }
  if (header.check_kind != ChecksumKind::None && !ReadNumberField(reader, header.checks_length)) {
    return HeaderStatus::NotRecognised;
  }
  out = header;
  return HeaderStatus::Ok;
}

std::string ListText(const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& entry : entries) {
    text += entry;
    text += "\r\n";
  }
  return text;
}

std::vector<std::string> SplitListLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t brk = text.find_first_of("\r\n", start);
    if (brk == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, brk - start));
    start = brk + 1;
    if (text[brk] == '\r' && start < text.size() && text[start] == '\n') {
      ++start;
    }
  }
  return lines;
}

std::string PackPathLine(const std::string& path_utf8) {
  std::string windows_form = path_utf8;
  for (char& c : windows_form) {
    if (c == kPathSeparator) {
      c = '\\';
    }
  }
  return Utf8ToGb18030(windows_form);
}

std::string EntryFileName(std::string_view path_utf8) {
  // UTF-8 never uses ASCII bytes inside a multi-byte character, so a plain search is safe here.
  const size_t cut = path_utf8.find_last_of("\\/:");
  const std::string_view name =
      cut == std::string_view::npos ? path_utf8 : path_utf8.substr(cut + 1);
  if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string_view::npos) {
    return std::string();
  }
  return std::string(name);
}

std::optional<int64_t> ParseDecimal64(std::string_view text) {
  if (!IsAllDigits(text)) {
    return std::nullopt;
  }
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t value = 0;
  for (const char c : text) {
    const int digit = c - '0';
    if (value > (kMax - digit) / 10) {
      return std::nullopt;
    }
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace qarvo
