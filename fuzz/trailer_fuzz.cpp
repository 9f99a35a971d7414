// Feeds arbitrary 344-byte blocks to the piece-set header reader. Besides not crashing, every
// header the reader accepts must carry a name that cannot leave the output folder, and writing
// the accepted fields again must read back the same fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "codec/des.h"
#include "split/header.h"
#include "text/codepage.h"

namespace {

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

bool SafeName(const std::string& name) {
  size_t first = 0;
  size_t last = name.size();
  while (first < last && static_cast<unsigned char>(name[first]) <= 0x20) {
    ++first;
  }
  while (last > first && static_cast<unsigned char>(name[last - 1]) <= 0x20) {
    --last;
  }
  const std::string trimmed = name.substr(first, last - first);
  return !trimmed.empty() && trimmed != "." && trimmed != ".." &&
         name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qarvo;
  std::string block(reinterpret_cast<const char*>(data), size);
  block.resize(kHeaderTrailerSize, '\0');

  SetHeader header;
  const HeaderStatus status = ReadSetHeader(block, "", header);
  // The same block read as plain (already decrypted) text exercises the field rules directly,
  // which random cipher text rarely reaches.
  const std::string plain(reinterpret_cast<const char*>(data), size);
  const std::string encrypted = [&] {
    try {
      return EncryptHeaderWithFiller(plain.empty() || plain.back() != '\0' ? plain : plain + "|");
    } catch (const CipherError&) {
      return std::string();
    }
  }();
  SetHeader from_plain;
  HeaderStatus plain_status = HeaderStatus::NotRecognised;
  if (!encrypted.empty() && encrypted.size() <= kHeaderTrailerSize) {
    plain_status = ReadSetHeader(MakeTrailerBlock(encrypted, kHeaderTrailerSize), "pw", from_plain);
  }

  for (const auto& [result, fields] :
       {std::pair{status, header}, std::pair{plain_status, from_plain}}) {
    if (result != HeaderStatus::Ok) {
      continue;
    }
    Check(SafeName(fields.source_name));
    Check(ChecksumKindOfCode(ChecksumFormatCode(fields.check_kind)) == fields.check_kind);
    Check(fields.piece_count >= 0 && fields.piece_count <= 999999999);
    Check(fields.check_text.size() <= 32);
    Check(Utf8ToGb18030(fields.source_name).size() <= 255 ||
          fields.source_name.find("\xEF\xBF\xBD") != std::string::npos);

    const std::string stored = StoredSourceName(fields.source_name);
    const std::string text =
        BuildSetHeaderText("pw", fields.check_text, fields.check_kind, fields.compressed,
                           fields.piece_count, fields.source_name);
    SetHeader again;
    const HeaderStatus again_status = ReadSetHeader(
        MakeTrailerBlock(EncryptHeaderWithFiller(text), kHeaderTrailerSize), "pw", again);
    if (!SafeName(stored)) {
      // Cutting a name of blanks and wide characters can leave only blanks.
      Check(again_status == HeaderStatus::NotRecognised);
      continue;
    }
    Check(again_status == HeaderStatus::Ok);
    Check(again.check_text == fields.check_text);
    Check(again.check_kind == fields.check_kind);
    Check(again.compressed == fields.compressed);
    Check(again.piece_count == fields.piece_count);
    Check(again.source_name == Gb18030ToUtf8(Utf8ToGb18030(stored)));
  }
  return 0;
}
