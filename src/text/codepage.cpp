#include "text/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace qarvo {

namespace {

// One converter per thread and direction: opening one costs far more than converting a name.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("no converter from ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  iconv_t get() const {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    return cd_;
  }

 private:
  iconv_t cd_;
};

// Converts with iconv; on an invalid sequence `on_bad` decides what to emit and how many input
// bytes to skip.
template <typename OnBad>
std::string Convert(const Converter& converter, std::string_view input, OnBad on_bad) {
  iconv_t cd = converter.get();
  std::string out;
  out.reserve(input.size() * 2 + 8);
  char* in_ptr = const_cast<char*>(input.data());
  size_t in_left = input.size();
  char buffer[1024];
  while (in_left > 0) {
    char* out_ptr = buffer;
    size_t out_left = sizeof(buffer);
    const size_t result = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    out.append(buffer, static_cast<size_t>(out_ptr - buffer));
    if (result == static_cast<size_t>(-1)) {
      if (errno == E2BIG) {
        continue;
      }
      // EILSEQ or EINVAL (truncated at the end): emit a replacement, skip the bad byte(s).
      const size_t skip = on_bad(std::string_view(in_ptr, in_left), out);
      in_ptr += skip;
      in_left -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* out_ptr = buffer;
  size_t out_left = sizeof(buffer);
  iconv(cd, nullptr, nullptr, &out_ptr, &out_left);
  out.append(buffer, static_cast<size_t>(out_ptr - buffer));
  return out;
}

}  // namespace

std::string Utf8ToGb18030(std::string_view utf8) {
  thread_local const Converter converter("GB18030", "UTF-8");
  return Convert(converter, utf8, [](std::string_view rest, std::string& out) {
    out.push_back(rest.front());
    return size_t{1};
  });
}

std::string Gb18030ToUtf8(std::string_view gb) {
  thread_local const Converter converter("UTF-8", "GB18030");
  return Convert(converter, gb, [](std::string_view rest, std::string& out) {
    out += "\xEF\xBF\xBD";
    const size_t length = Gb18030CharLength(rest, 0);
    return length <= rest.size() ? length : rest.size();
  });
}

size_t Gb18030CharLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x81 || lead == 0xFF) {
    return 1;
  }
  if (at + 1 >= text.size()) {
    return 1;
  }
  const unsigned char second = byte(at + 1);
  if ((second >= 0x40 && second <= 0x7E) || (second >= 0x80 && second <= 0xFE)) {
    return 2;
  }
  if (second >= 0x30 && second <= 0x39 && at + 3 < text.size()) {
    const unsigned char third = byte(at + 2);
    const unsigned char fourth = byte(at + 3);
    if (third >= 0x81 && third <= 0xFE && fourth >= 0x30 && fourth <= 0x39) {
      return 4;
    }
  }
  return 1;
}

std::string_view CutGb18030(std::string_view gb, size_t max_bytes) {
  if (gb.size() <= max_bytes) {
    return gb;
  }
  size_t at = 0;
  while (at < gb.size()) {
    const size_t length = Gb18030CharLength(gb, at);
    if (at + length > max_bytes) {
      break;
    }
    at += length;
  }
  return gb.substr(0, at);
}

std::string CutUtf8ToGb18030Bytes(std::string_view utf8, size_t max_bytes) {
  const std::string gb = Utf8ToGb18030(utf8);
  if (gb.size() <= max_bytes) {
    return std::string(utf8);
  }
  return Gb18030ToUtf8(CutGb18030(gb, max_bytes));
}

}  // namespace qarvo
