#include "codec/sums_file.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace qarvo {

namespace {

struct KindInfo {
  SumKind kind;
  size_t digits;
  const char* name;
  const char* extension;
};

constexpr std::array<KindInfo, 4> kKinds{{
    {SumKind::Crc32, 8, "CRC32", ".sfv"},
    {SumKind::Md5, 32, "MD5", ".md5"},
    {SumKind::Sha1, 40, "SHA1", ".sha1"},
    {SumKind::Sha256, 64, "SHA256", ".sha256"},
}};

const KindInfo& InfoOf(SumKind kind) {
  return *std::find_if(kKinds.begin(), kKinds.end(),
                       [kind](const KindInfo& info) { return info.kind == kind; });
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// A hash of the kind the file expects, or of any known length when it expects none.
std::optional<SumKind> HashKind(std::string_view hex, std::optional<SumKind> expected) {
  if (!IsHexText(hex)) {
    return std::nullopt;
  }
  const std::optional<SumKind> kind = SumKindOfHexLength(hex.size());
  if (!kind || (expected && *kind != *expected)) {
    return std::nullopt;
  }
  return kind;
}

// GNU tools mark a name holding a backslash or a line break with a leading backslash and
// escape those characters; anything else after a backslash is no line they write.
std::optional<std::string> Unescape(std::string_view name) {
  std::string plain;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '\\') {
      plain.push_back(name[i]);
      continue;
    }
    if (++i == name.size()) {
      return std::nullopt;
    }
    switch (name[i]) {
      case '\\':
        plain.push_back('\\');
        break;
      case 'n':
        plain.push_back('\n');
        break;
      case 'r':
        plain.push_back('\r');
        break;
      default:
        return std::nullopt;
    }
  }
  return plain;
}

std::optional<SumEntry> Entry(SumKind kind, std::string_view hex, std::string_view name,
                              bool escaped) {
  if (name.empty()) {
    return std::nullopt;
  }
  std::optional<std::string> plain = escaped ? Unescape(name) : std::string(name);
  if (!plain) {
    return std::nullopt;
  }
  return SumEntry{kind, Lower(hex), std::move(*plain), 0};
}

// `SHA256 (name) = HASH`
std::optional<SumEntry> ParseBsd(std::string_view line, std::optional<SumKind> expected) {
  const bool escaped = !line.empty() && line.front() == '\\';
  if (escaped) {
    line.remove_prefix(1);
  }
  const size_t open = line.find(" (");
  const size_t close = line.rfind(") = ");
  if (open == std::string_view::npos || close == std::string_view::npos || close < open + 2) {
    return std::nullopt;
  }
  const std::string tag(line.substr(0, open));
  const auto info = std::find_if(kKinds.begin(), kKinds.end(),
                                 [&tag](const KindInfo& k) { return tag == k.name; });
  const std::string_view hex = TrimBlanks(line.substr(close + 4));
  const std::optional<SumKind> kind = HashKind(hex, expected);
  if (info == kKinds.end() || !kind || *kind != info->kind) {
    return std::nullopt;
  }
  return Entry(*kind, hex, line.substr(open + 2, close - open - 2), escaped);
}

// `HASH  name` or `HASH *name`
std::optional<SumEntry> ParseGnu(std::string_view line, std::optional<SumKind> expected) {
  const bool escaped = !line.empty() && line.front() == '\\';
  if (escaped) {
    line.remove_prefix(1);
  }
  const size_t blank = line.find(' ');
  if (blank == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view hex = line.substr(0, blank);
  const std::optional<SumKind> kind = HashKind(hex, expected);
  if (!kind) {
    return std::nullopt;
  }
  std::string_view name = line.substr(blank + 1);
  if (!name.empty() && (name.front() == ' ' || name.front() == '*')) {
    name.remove_prefix(1);
  }
  return Entry(*kind, hex, name, escaped);
}

// `name CRC32`: the name may hold blanks, the checksum is the last word.
std::optional<SumEntry> ParseSfv(std::string_view line) {
  line = TrimBlanks(line);
  const size_t blank = line.find_last_of(" \t");
  if (blank == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view hex = line.substr(blank + 1);
  if (!HashKind(hex, SumKind::Crc32)) {
    return std::nullopt;
  }
  return Entry(SumKind::Crc32, hex, TrimBlanks(line.substr(0, blank)), false);
}

}  // namespace

size_t HexDigitsOf(SumKind kind) {
  return InfoOf(kind).digits;
}

std::optional<SumKind> SumKindOfHexLength(size_t digits) {
  for (const KindInfo& info : kKinds) {
    if (info.digits == digits) {
      return info.kind;
    }
  }
  return std::nullopt;
}

const char* SumKindName(SumKind kind) {
  return InfoOf(kind).name;
}

std::optional<SumKind> SumKindOfFileName(std::string_view path) {
  const std::string lower = Lower(path);
  for (const KindInfo& info : kKinds) {
    const std::string_view extension = info.extension;
    if (lower.size() > extension.size() &&
        lower.compare(lower.size() - extension.size(), extension.size(), extension) == 0) {
      return info.kind;
    }
  }
  return std::nullopt;
}

bool IsHexText(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](unsigned char c) { return std::isxdigit(c) != 0; });
}

SumsList ParseSums(std::string_view text, std::optional<SumKind> expected) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    text.remove_prefix(kByteOrderMark.size());
  }
  SumsList list;
  int number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    const std::string_view content = TrimBlanks(line);
    if (content.empty() || content.front() == ';' || content.front() == '#') {
      continue;
    }
    std::optional<SumEntry> entry;
    if (expected == SumKind::Crc32) {
      entry = ParseSfv(line);
    } else {
      entry = ParseBsd(line, expected);
      if (!entry) {
        entry = ParseGnu(line, expected);
      }
      if (!entry && !expected) {
        entry = ParseSfv(line);
      }
    }
    if (entry) {
      entry->line = number;
      list.entries.push_back(std::move(*entry));
    } else {
      list.bad_lines.push_back(number);
    }
  }
  return list;
}

std::string GnuSumLine(std::string_view hex, std::string_view name) {
  const bool escape = name.find_first_of("\\\n\r") != std::string_view::npos;
  std::string line = escape ? "\\" : "";
  line += hex;
  line += "  ";
  for (const char c : name) {
    if (!escape) {
      line.push_back(c);
    } else if (c == '\\') {
      line += "\\\\";
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else {
      line.push_back(c);
    }
  }
  line.push_back('\n');
  return line;
}

}  // namespace qarvo
