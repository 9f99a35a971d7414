#include "trailer/trailer.h"

#include <stdexcept>

#include "codec/des.h"
#include "codec/digest.h"
#include "text/codepage.h"

namespace qarvo {

namespace {

constexpr size_t kMagicLength = sizeof(kHeaderMagic) - 1;
// The digest field must end by this 1-based position of the first "|" of the whole text.
constexpr size_t kMaxPasswordBar = 72;

}  // namespace

std::string PasswordDigestField(const std::string& password_utf8) {
  if (password_utf8.empty()) {
    return kNoPasswordMarker;
  }
  return Md5Hex(Md5OfText(Utf8ToGb18030(password_utf8)));
}

std::string HeaderTextStart(const std::string& password_utf8) {
  std::string text = kHeaderMagic;
  AppendHeaderField(text, PasswordDigestField(password_utf8));
  return text;
}

void AppendHeaderField(std::string& text, std::string_view field) {
  text += field;
  text += '|';
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

std::string DecryptTrailerBlock(std::string_view block) {
  // The encrypted text's length is recorded nowhere and the text may hold zero bytes, so the
  // whole block is deciphered; the zero padding turns into bytes behind the last field, which
  // no reader looks at.
  return DecryptHeaderText(block);
}

bool ReadTrailer(File& file, int64_t file_size, size_t block_size, std::string& block) {
  const auto size = static_cast<int64_t>(block_size);
  if (file_size < size) {
    return false;
  }
  std::string read(block_size, '\0');
  file.Seek(file_size - size);
  file.ReadExact(read.data(), read.size());
  block = std::move(read);
  return true;
}

HeaderStatus OpenAndReadHeader(const std::string& path, size_t block_size, int64_t min_size,
                               File& file, std::string& block,
                               const std::function<HeaderStatus(std::string_view)>& read_header) {
  file = File(path, OpenMode::Read, Share::Exclusive);
  const int64_t size = file.Size();
  if (size < min_size || !ReadTrailer(file, size, block_size, block)) {
    return HeaderStatus::NotRecognised;
  }
  return read_header(block);
}

const char* HeaderRefusalLine(HeaderStatus status, const char* not_recognised,
                              const char* wrong_password) {
  switch (status) {
    case HeaderStatus::Ok:
      break;
    case HeaderStatus::NotRecognised:
      return not_recognised;
    case HeaderStatus::WrongPassword:
      return wrong_password;
  }
  return nullptr;
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
    // Digested even when empty: a header may carry the digest of no password at all.
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

}  // namespace qarvo
