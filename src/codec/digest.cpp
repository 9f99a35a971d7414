#include "codec/digest.h"

#include <libdeflate.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "platform/file.h"
#include "platform/io_buffer.h"

namespace qarvo {

namespace {

// Digests and CRCs read through one buffer; the CRC keeps the historical 65521-byte reads so
// that block boundaries fall where they always did (the value does not depend on them).
constexpr size_t kMd5ReadSize = 4 * kCopyBlockSize;
constexpr size_t kCrcReadSize = 65521;

inline uint32_t Rotl(uint32_t x, int s) {
  return (x << s) | (x >> (32 - s));
}

inline uint32_t LoadLe32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap32(v);
#endif
  return v;
}

inline void StoreLe32(uint8_t* p, uint32_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap32(v);
#endif
  std::memcpy(p, &v, 4);
}

// The four round functions in forms that need the fewest operations; G and H are rewritten so
// the compiler can overlap the additions with the boolean work.
#define QARVO_MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define QARVO_MD5_G(x, y, z) (((y) & ~(z)) + ((x) & (z)))
#define QARVO_MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define QARVO_MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

// The message word and constant are added first: they do not wait for the previous step, so
// only the round function, the rotation and one addition sit on the dependency chain.
#define QARVO_MD5_STEP(f, a, b, c, d, word, constant, shift) \
  (a) += (word) + (constant);                                \
  (a) += f((b), (c), (d));                                   \
  (a) = Rotl((a), (shift)) + (b)

// One round of the compression function: sixteen steps with one round function. Forced inline,
// so the words and the state stay in registers as in one long function.
[[gnu::always_inline]] inline void Md5RoundF(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d,
                                             const uint32_t* x) {
  QARVO_MD5_STEP(QARVO_MD5_F, a, b, c, d, x[0], 0xd76aa478U, 7);
  QARVO_MD5_STEP(QARVO_MD5_F, d, a, b, c, x[1], 0xe8c7b756U, 12);
  QARVO_MD5_STEP(QARVO_MD5_F, c, d, a, b, x[2], 0x242070dbU, 17);
  QARVO_MD5_STEP(QARVO_MD5_F, b, c, d, a, x[3], 0xc1bdceeeU, 22);
  QARVO_MD5_STEP(QARVO_MD5_F, a, b, c, d, x[4], 0xf57c0fafU, 7);
  QARVO_MD5_STEP(QARVO_MD5_F, d, a, b, c, x[5], 0x4787c62aU, 12);
  QARVO_MD5_STEP(QARVO_MD5_F, c, d, a, b, x[6], 0xa8304613U, 17);
  QARVO_MD5_STEP(QARVO_MD5_F, b, c, d, a, x[7], 0xfd469501U, 22);
  QARVO_MD5_STEP(QARVO_MD5_F, a, b, c, d, x[8], 0x698098d8U, 7);
  QARVO_MD5_STEP(QARVO_MD5_F, d, a, b, c, x[9], 0x8b44f7afU, 12);
  QARVO_MD5_STEP(QARVO_MD5_F, c, d, a, b, x[10], 0xffff5bb1U, 17);
  QARVO_MD5_STEP(QARVO_MD5_F, b, c, d, a, x[11], 0x895cd7beU, 22);
  QARVO_MD5_STEP(QARVO_MD5_F, a, b, c, d, x[12], 0x6b901122U, 7);
  QARVO_MD5_STEP(QARVO_MD5_F, d, a, b, c, x[13], 0xfd987193U, 12);
  QARVO_MD5_STEP(QARVO_MD5_F, c, d, a, b, x[14], 0xa679438eU, 17);
  QARVO_MD5_STEP(QARVO_MD5_F, b, c, d, a, x[15], 0x49b40821U, 22);
}

[[gnu::always_inline]] inline void Md5RoundG(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d,
                                             const uint32_t* x) {
  QARVO_MD5_STEP(QARVO_MD5_G, a, b, c, d, x[1], 0xf61e2562U, 5);
  QARVO_MD5_STEP(QARVO_MD5_G, d, a, b, c, x[6], 0xc040b340U, 9);
  QARVO_MD5_STEP(QARVO_MD5_G, c, d, a, b, x[11], 0x265e5a51U, 14);
  QARVO_MD5_STEP(QARVO_MD5_G, b, c, d, a, x[0], 0xe9b6c7aaU, 20);
  QARVO_MD5_STEP(QARVO_MD5_G, a, b, c, d, x[5], 0xd62f105dU, 5);
  QARVO_MD5_STEP(QARVO_MD5_G, d, a, b, c, x[10], 0x02441453U, 9);
  QARVO_MD5_STEP(QARVO_MD5_G, c, d, a, b, x[15], 0xd8a1e681U, 14);
  QARVO_MD5_STEP(QARVO_MD5_G, b, c, d, a, x[4], 0xe7d3fbc8U, 20);
  QARVO_MD5_STEP(QARVO_MD5_G, a, b, c, d, x[9], 0x21e1cde6U, 5);
  QARVO_MD5_STEP(QARVO_MD5_G, d, a, b, c, x[14], 0xc33707d6U, 9);
  QARVO_MD5_STEP(QARVO_MD5_G, c, d, a, b, x[3], 0xf4d50d87U, 14);
  QARVO_MD5_STEP(QARVO_MD5_G, b, c, d, a, x[8], 0x455a14edU, 20);
  QARVO_MD5_STEP(QARVO_MD5_G, a, b, c, d, x[13], 0xa9e3e905U, 5);
  QARVO_MD5_STEP(QARVO_MD5_G, d, a, b, c, x[2], 0xfcefa3f8U, 9);
  QARVO_MD5_STEP(QARVO_MD5_G, c, d, a, b, x[7], 0x676f02d9U, 14);
  QARVO_MD5_STEP(QARVO_MD5_G, b, c, d, a, x[12], 0x8d2a4c8aU, 20);
}

[[gnu::always_inline]] inline void Md5RoundH(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d,
                                             const uint32_t* x) {
  QARVO_MD5_STEP(QARVO_MD5_H, a, b, c, d, x[5], 0xfffa3942U, 4);
  QARVO_MD5_STEP(QARVO_MD5_H, d, a, b, c, x[8], 0x8771f681U, 11);
  QARVO_MD5_STEP(QARVO_MD5_H, c, d, a, b, x[11], 0x6d9d6122U, 16);
  QARVO_MD5_STEP(QARVO_MD5_H, b, c, d, a, x[14], 0xfde5380cU, 23);
  QARVO_MD5_STEP(QARVO_MD5_H, a, b, c, d, x[1], 0xa4beea44U, 4);
  QARVO_MD5_STEP(QARVO_MD5_H, d, a, b, c, x[4], 0x4bdecfa9U, 11);
  QARVO_MD5_STEP(QARVO_MD5_H, c, d, a, b, x[7], 0xf6bb4b60U, 16);
  QARVO_MD5_STEP(QARVO_MD5_H, b, c, d, a, x[10], 0xbebfbc70U, 23);
  QARVO_MD5_STEP(QARVO_MD5_H, a, b, c, d, x[13], 0x289b7ec6U, 4);
  QARVO_MD5_STEP(QARVO_MD5_H, d, a, b, c, x[0], 0xeaa127faU, 11);
  QARVO_MD5_STEP(QARVO_MD5_H, c, d, a, b, x[3], 0xd4ef3085U, 16);
  QARVO_MD5_STEP(QARVO_MD5_H, b, c, d, a, x[6], 0x04881d05U, 23);
  QARVO_MD5_STEP(QARVO_MD5_H, a, b, c, d, x[9], 0xd9d4d039U, 4);
  QARVO_MD5_STEP(QARVO_MD5_H, d, a, b, c, x[12], 0xe6db99e5U, 11);
  QARVO_MD5_STEP(QARVO_MD5_H, c, d, a, b, x[15], 0x1fa27cf8U, 16);
  QARVO_MD5_STEP(QARVO_MD5_H, b, c, d, a, x[2], 0xc4ac5665U, 23);
}

[[gnu::always_inline]] inline void Md5RoundI(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d,
                                             const uint32_t* x) {
  QARVO_MD5_STEP(QARVO_MD5_I, a, b, c, d, x[0], 0xf4292244U, 6);
  QARVO_MD5_STEP(QARVO_MD5_I, d, a, b, c, x[7], 0x432aff97U, 10);
  QARVO_MD5_STEP(QARVO_MD5_I, c, d, a, b, x[14], 0xab9423a7U, 15);
  QARVO_MD5_STEP(QARVO_MD5_I, b, c, d, a, x[5], 0xfc93a039U, 21);
  QARVO_MD5_STEP(QARVO_MD5_I, a, b, c, d, x[12], 0x655b59c3U, 6);
  QARVO_MD5_STEP(QARVO_MD5_I, d, a, b, c, x[3], 0x8f0ccc92U, 10);
  QARVO_MD5_STEP(QARVO_MD5_I, c, d, a, b, x[10], 0xffeff47dU, 15);
  QARVO_MD5_STEP(QARVO_MD5_I, b, c, d, a, x[1], 0x85845dd1U, 21);
  QARVO_MD5_STEP(QARVO_MD5_I, a, b, c, d, x[8], 0x6fa87e4fU, 6);
  QARVO_MD5_STEP(QARVO_MD5_I, d, a, b, c, x[15], 0xfe2ce6e0U, 10);
  QARVO_MD5_STEP(QARVO_MD5_I, c, d, a, b, x[6], 0xa3014314U, 15);
  QARVO_MD5_STEP(QARVO_MD5_I, b, c, d, a, x[13], 0x4e0811a1U, 21);
  QARVO_MD5_STEP(QARVO_MD5_I, a, b, c, d, x[4], 0xf7537e82U, 6);
  QARVO_MD5_STEP(QARVO_MD5_I, d, a, b, c, x[11], 0xbd3af235U, 10);
  QARVO_MD5_STEP(QARVO_MD5_I, c, d, a, b, x[2], 0x2ad7d2bbU, 15);
  QARVO_MD5_STEP(QARVO_MD5_I, b, c, d, a, x[9], 0xeb86d391U, 21);
}

// Runs the compression function over `blocks` consecutive 64-byte blocks.
void Md5Blocks(std::array<uint32_t, 4>& state, const uint8_t* data, size_t blocks) {
  uint32_t a = state[0];
  uint32_t b = state[1];
  uint32_t c = state[2];
  uint32_t d = state[3];
  uint32_t x[16];
  for (; blocks > 0; --blocks, data += 64) {
    for (size_t i = 0; i < 16; ++i) {
      x[i] = LoadLe32(data + 4 * i);
    }
    const uint32_t aa = a;
    const uint32_t bb = b;
    const uint32_t cc = c;
    const uint32_t dd = d;
    Md5RoundF(a, b, c, d, x);
    Md5RoundG(a, b, c, d, x);
    Md5RoundH(a, b, c, d, x);
    Md5RoundI(a, b, c, d, x);
    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef QARVO_MD5_STEP
#undef QARVO_MD5_F
#undef QARVO_MD5_G
#undef QARVO_MD5_H
#undef QARVO_MD5_I

// Opens a file for digesting with all sharing allowed; an empty File when it cannot be opened
// or is no regular file (a folder opens but cannot be read).
File OpenForDigest(const std::string& path) {
  try {
    File file(path, OpenMode::Read, Share::Shared);
    struct stat info {};
    if (::fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode)) {
      return File();
    }
    file.AdviseSequential();
    return file;
  } catch (const FileError&) {
    return File();
  }
}

// Feeds the file block by block to `consume` up to its end. A read that fails is no end: the
// FileError goes to the caller, which must not take a digest of part of the file for the
// digest of the file.
template <typename Consume>
void ReadBlocks(File& file, size_t block_size, CopyObserver* observer, Consume consume) {
  if (!file.IsOpen()) {
    return;
  }
  IoBuffer buffer(block_size);
  for (;;) {
    std::unique_lock<std::mutex> hold;
    if (observer != nullptr) {
      hold = observer->BeforeBlock();
    }
    const size_t got = file.Read(buffer.data(), buffer.size());
    if (got == 0) {
      return;
    }
    consume(buffer.data(), got);
    if (hold.owns_lock()) {
      hold.unlock();
    }
    if (observer != nullptr) {
      observer->Advanced(static_cast<int64_t>(got));
    }
  }
}

}  // namespace

Md5::Md5() : state_{0x67452301U, 0xefcdab89U, 0x98badcfeU, 0x10325476U} {}

void Md5::Transform(const uint8_t* block) {
  Md5Blocks(state_, block, 1);
}

void Md5::Update(const void* data, size_t size) {
  const auto* in = static_cast<const uint8_t*>(data);
  size_t used = static_cast<size_t>(length_ & 63U);
  length_ += size;
  if (used != 0) {
    const size_t take = size < 64 - used ? size : 64 - used;
    std::memcpy(buffer_.data() + used, in, take);
    in += take;
    size -= take;
    used += take;
    if (used < 64) {
      return;
    }
    Transform(buffer_.data());
  }
  const size_t blocks = size / 64;
  if (blocks > 0) {
    Md5Blocks(state_, in, blocks);
    in += blocks * 64;
    size -= blocks * 64;
  }
  if (size > 0) {
    std::memcpy(buffer_.data(), in, size);
  }
}

Md5Digest Md5::Final() {
  const uint64_t bit_count = length_ * 8;
  uint8_t padding[72] = {0x80};
  const size_t used = static_cast<size_t>(length_ & 63U);
  const size_t pad = used < 56 ? 56 - used : 120 - used;
  Update(padding, pad);
  uint8_t count_bytes[8];
  for (size_t i = 0; i < 8; ++i) {
    count_bytes[i] = static_cast<uint8_t>(bit_count >> (8 * i));
  }
  Update(count_bytes, 8);
  Md5Digest digest{};
  for (size_t i = 0; i < 4; ++i) {
    StoreLe32(digest.data() + 4 * i, state_[i]);
  }
  return digest;
}

Md5Digest Md5OfText(std::string_view text) {
  Md5 md5;
  md5.Update(text.data(), text.size());
  return md5.Final();
}

Md5Digest Md5OfFile(const std::string& path, CopyObserver* observer) {
  Md5 md5;
  File file = OpenForDigest(path);
  ReadBlocks(file, kMd5ReadSize, observer,
             [&](const uint8_t* data, size_t size) { md5.Update(data, size); });
  return md5.Final();
}

std::string Md5Hex(const Md5Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(32);
  for (const uint8_t byte : digest) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) {
  // libdeflate computes the same CRC-32 as zlib's crc32 (same starting value, same
  // complementing), with carry-less multiplication where the processor has it.
  return libdeflate_crc32(crc, data, size);
}

uint32_t Crc32OfFile(const std::string& path, CopyObserver* observer) {
  uint32_t crc = 0;
  File file = OpenForDigest(path);
  ReadBlocks(file, kCrcReadSize, observer,
             [&](const uint8_t* data, size_t size) { crc = Crc32Update(crc, data, size); });
  return crc;
}

std::string Crc32Text(uint32_t crc) {
  if (crc == 0) {
    return std::string();
  }
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint32_t rest = crc; rest != 0; rest >>= 4) {
    text.insert(text.begin(), kDigits[rest & 0x0F]);
  }
  if (text.size() < 6) {
    text.insert(0, 6 - text.size(), '0');
  }
  return text;
}

std::string Crc32OfFileText(const std::string& path, CopyObserver* observer) {
  return Crc32Text(Crc32OfFile(path, observer));
}

int ChecksumFormatCode(ChecksumKind kind) {
  switch (kind) {
    case ChecksumKind::Md5:
      return 1;
    case ChecksumKind::Crc32:
      return 2;
    case ChecksumKind::None:
      break;
  }
  return 0;
}

ChecksumKind ChecksumKindOfCode(int code) {
  return code == 1 ? ChecksumKind::Md5 : code == 2 ? ChecksumKind::Crc32 : ChecksumKind::None;
}

std::string ChecksumTextOfFile(const std::string& path, ChecksumKind kind, CopyObserver* observer) {
  switch (kind) {
    case ChecksumKind::Md5:
      return Md5Hex(Md5OfFile(path, observer));
    case ChecksumKind::Crc32:
      return Crc32OfFileText(path, observer);
    case ChecksumKind::None:
      break;
  }
  return std::string();
}

std::string ChecksumTextOf(File& in, int64_t count, ChecksumKind kind, CopyObserver* observer) {
  const bool md5_kind = kind == ChecksumKind::Md5;
  Md5 md5;
  uint32_t crc = 0;
  ReadInBlocks(in, count, md5_kind ? kMd5ReadSize : kCrcReadSize, observer,
               [&](const uint8_t* data, size_t size) {
                 if (md5_kind) {
                   md5.Update(data, size);
                 } else {
                   crc = Crc32Update(crc, data, size);
                 }
               });
  return md5_kind ? Md5Hex(md5.Final()) : Crc32Text(crc);
}

int64_t FileSizeOf(const std::string& path) {
  File file(path, OpenMode::Read, Share::Shared);
  return file.Size();
}

}  // namespace qarvo
