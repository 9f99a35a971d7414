#include "hex/model/char_encoding.h"

#include <iconv.h>

#include <array>
#include <cerrno>

namespace qarvo::hex {
namespace {

bool IsContinuation(uint8_t b) {
  return (b & 0xC0) == 0x80;
}

DecodedChar DecodeUtf8(std::span<const uint8_t> bytes) {
  DecodedChar out;
  const uint8_t b0 = bytes[0];
  if (b0 < 0x80) {
    return {1, b0, true};
  }
  int length = 0;
  char32_t code = 0;
  char32_t lowest = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    code = b0 & 0x1Fu;
    lowest = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    code = b0 & 0x0Fu;
    lowest = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    code = b0 & 0x07u;
    lowest = 0x10000;
  } else {
    return out;
  }
  if (bytes.size() < static_cast<size_t>(length)) {
    return out;
  }
  for (int i = 1; i < length; ++i) {
    const uint8_t b = bytes[static_cast<size_t>(i)];
    if (!IsContinuation(b)) {
      return out;
    }
    code = (code << 6) | (b & 0x3Fu);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return out;
  }
  return {length, code, true};
}

// glibc's converters, one pair per thread, opened on first use.
class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~Converter() {
    if (handle_ != reinterpret_cast<iconv_t>(-1)) {
      iconv_close(handle_);
    }
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // All of `in` converted, or false.
  bool Convert(std::string_view in, std::string& out) {
    if (handle_ == reinterpret_cast<iconv_t>(-1)) {
      return false;
    }
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    out.assign(in.size() * 4 + 8, '\0');
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char* dst = out.data();
    size_t dst_left = out.size();
    if (iconv(handle_, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1) ||
        iconv(handle_, nullptr, nullptr, &dst, &dst_left) == static_cast<size_t>(-1)) {
      return false;
    }
    out.resize(out.size() - dst_left);
    return src_left == 0;
  }

 private:
  iconv_t handle_;
};

char32_t Gb18030Code(std::span<const uint8_t> sequence) {
  thread_local Converter to_utf32("UTF-32LE", "GB18030");
  std::string out;
  if (!to_utf32.Convert(
          std::string_view(reinterpret_cast<const char*>(sequence.data()), sequence.size()), out) ||
      out.size() != 4) {
    return 0;
  }
  char32_t code = 0;
  for (int i = 3; i >= 0; --i) {
    code = (code << 8) | static_cast<uint8_t>(out[static_cast<size_t>(i)]);
  }
  return code;
}

DecodedChar DecodeGb18030(std::span<const uint8_t> bytes) {
  DecodedChar out;
  const uint8_t b0 = bytes[0];
  if (b0 < 0x80) {
    return {1, b0, true};
  }
  if (b0 == 0x80 || b0 == 0xFF || bytes.size() < 2) {
    return out;
  }
  const uint8_t b1 = bytes[1];
  int length = 0;
  if ((b1 >= 0x40 && b1 <= 0x7E) || (b1 >= 0x80 && b1 <= 0xFE)) {
    length = 2;
  } else if (b1 >= 0x30 && b1 <= 0x39 && bytes.size() >= 4 && bytes[2] >= 0x81 &&
             bytes[2] <= 0xFE && bytes[3] >= 0x30 && bytes[3] <= 0x39) {
    length = 4;
  } else {
    return out;
  }
  const char32_t code = Gb18030Code(bytes.first(static_cast<size_t>(length)));
  if (code == 0) {
    return out;
  }
  return {length, code, true};
}

CharCell CellOf(const DecodedChar& c, size_t start, size_t index) {
  CharCell cell;
  cell.length = c.length;
  cell.index = static_cast<int>(index - start);
  if (!c.valid) {
    cell.kind = CellKind::kInvalid;
    cell.length = 1;
    cell.index = 0;
  } else {
    cell.kind = index == start ? CellKind::kStart : CellKind::kContinuation;
    cell.code = c.code;
  }
  return cell;
}

}  // namespace

DecodedChar DecodeChar(TextEncoding encoding, std::span<const uint8_t> bytes) {
  if (bytes.empty()) {
    return {};
  }
  switch (encoding) {
    case TextEncoding::kUtf8:
      return DecodeUtf8(bytes);
    case TextEncoding::kGb18030:
      return DecodeGb18030(bytes);
    case TextEncoding::kControl:
      break;
  }
  return {1, bytes[0], true};
}

CharCell CharCellAt(TextEncoding encoding, std::span<const uint8_t> window, size_t index) {
  if (index >= window.size()) {
    return {};
  }
  if (encoding == TextEncoding::kUtf8) {
    // UTF-8 finds its boundaries by itself: the lead byte is at most three bytes back.
    for (size_t back = 0; back <= 3 && back <= index; ++back) {
      const size_t start = index - back;
      if (IsContinuation(window[start])) {
        continue;
      }
      const DecodedChar c = DecodeUtf8(window.subspan(start));
      if (c.valid && start + static_cast<size_t>(c.length) > index) {
        return CellOf(c, start, index);
      }
      break;
    }
    return {};
  }
  if (encoding == TextEncoding::kControl) {
    return CellOf(DecodeChar(encoding, window.subspan(index)), index, index);
  }
  // GB18030: from the last byte that can only be a character of its own.
  size_t start = 0;
  for (size_t j = index; j-- > 0;) {
    if (window[j] < 0x30) {
      start = j + 1;
      break;
    }
  }
  // Without a sure boundary the window's start is the best guess.
  while (true) {
    const DecodedChar c = DecodeGb18030(window.subspan(start));
    if (start + static_cast<size_t>(c.valid ? c.length : 1) > index) {
      return CellOf(c, start, index);
    }
    start += static_cast<size_t>(c.valid ? c.length : 1);
  }
}

std::string EncodeText(TextEncoding encoding, std::string_view utf8, bool& ok) {
  ok = true;
  if (encoding != TextEncoding::kGb18030) {
    return std::string(utf8);
  }
  thread_local Converter to_gb("GB18030", "UTF-8");
  std::string out;
  if (!to_gb.Convert(utf8, out)) {
    ok = false;
    out.clear();
  }
  return out;
}

std::string Utf8Of(char32_t code) {
  std::string out;
  if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return out;
  }
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

}  // namespace qarvo::hex
