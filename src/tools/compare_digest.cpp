#include "tools/compare_digest.h"

#include <cctype>
#include <cerrno>
#include <cstdio>

#include "codec/digest.h"
#include "codec/sha.h"

namespace qarvo {

File OpenToCompare(const std::string& path) {
  File file(path, OpenMode::Read, Share::Shared);
  file.AdviseSequential();
  return file;
}

std::string SumHexOf(File& file, SumKind kind, CopyObserver* observer) {
  const int64_t count = file.Size() - file.Position();
  switch (kind) {
    case SumKind::Crc32: {
      uint32_t crc = 0;
      ReadInBlocks(file, count, kCompareBlockSize, observer,
                   [&](const uint8_t* data, size_t size) { crc = Crc32Update(crc, data, size); });
      char text[9];
      std::snprintf(text, sizeof text, "%08x", crc);
      return text;
    }
    case SumKind::Md5: {
      Md5 md5;
      ReadInBlocks(file, count, kCompareBlockSize, observer,
                   [&](const uint8_t* data, size_t size) { md5.Update(data, size); });
      return Md5Hex(md5.Final());
    }
    case SumKind::Sha1:
    case SumKind::Sha256:
      break;
  }
  ShaDigest sha(kind == SumKind::Sha1 ? ShaKind::Sha1 : ShaKind::Sha256);
  ReadInBlocks(file, count, kCompareBlockSize, observer,
               [&](const uint8_t* data, size_t size) { sha.Update(data, size); });
  return sha.FinalHex();
}

std::string ShownSumHex(SumKind kind, std::string_view lower_hex) {
  std::string text(lower_hex);
  if (kind == SumKind::Crc32) {
    for (char& c : text) {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  return text;
}

std::optional<ExpectedSum> ParseExpectedSum(std::string_view text) {
  // Blanks of any kind around a pasted value: spaces, tabs, a line end copied along.
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && blank(text.back())) {
    text.remove_suffix(1);
  }
  const std::optional<SumKind> kind = SumKindOfHexLength(text.size());
  if (!kind || !IsHexText(text)) {
    return std::nullopt;
  }
  std::string hex(text);
  for (char& c : hex) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return ExpectedSum{*kind, hex};
}

}  // namespace qarvo
