#include "codec/des.h"

namespace qarvo {

namespace {

// Tables of FIPS 46-3. Entries are 1-based bit numbers, bit 1 being the most significant bit of
// the first byte.
constexpr uint8_t kInitialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10, 2,  60, 52, 44, 36, 28, 20, 12, 4,  62, 54, 46, 38, 30, 22,
    14, 6,  64, 56, 48, 40, 32, 24, 16, 8,  57, 49, 41, 33, 25, 17, 9,  1,  59, 51, 43, 35,
    27, 19, 11, 3,  61, 53, 45, 37, 29, 21, 13, 5,  63, 55, 47, 39, 31, 23, 15, 7};

constexpr uint8_t kFinalPermutation[64] = {
    40, 8,  48, 16, 56, 24, 64, 32, 39, 7,  47, 15, 55, 23, 63, 31, 38, 6,  46, 14, 54, 22,
    62, 30, 37, 5,  45, 13, 53, 21, 61, 29, 36, 4,  44, 12, 52, 20, 60, 28, 35, 3,  43, 11,
    51, 19, 59, 27, 34, 2,  42, 10, 50, 18, 58, 26, 33, 1,  41, 9,  49, 17, 57, 25};

constexpr uint8_t kPermutation[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23,
                                      26, 5, 18, 31, 10, 2,  8,  24, 14, 32, 27,
                                      3,  9, 19, 13, 30, 6,  22, 11, 4,  25};

constexpr uint8_t kPermutedChoice1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                          10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                          63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                          14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr uint8_t kPermutedChoice2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr uint8_t kRotations[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr uint8_t kSBoxes[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4, 9,  7,  2, 13, 12, 0,  5,  10, 3,  13, 4,  7, 15, 2,
     8,  14, 12, 0,  1,  10, 6,  9, 11, 5,  0, 14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,
     9,  3,  2,  15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
    {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
     0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
     5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
    {4, 11, 2,  14, 15, 0,  8,  13, 3, 12, 9,  7, 5,  10, 6,  1,  13, 0,  11, 7,  4, 9,
     1, 10, 14, 3,  5,  12, 2,  15, 8, 6,  1,  4, 11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
     0, 5,  9,  2,  6,  11, 13, 8,  1, 4,  10, 7, 9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2, 8,  4, 6, 15, 11, 1,  10, 9,  3, 14, 5,  0,  12, 7,  1,  15, 13, 8, 10, 3,
     7,  4, 12, 5, 6, 11, 0,  14, 9,  2,  7, 11, 4,  1,  9,  12, 14, 2,  0,  6, 10, 13,
     15, 3, 5,  8, 2, 1,  14, 7,  4,  10, 8, 13, 15, 12, 9,  0,  3,  5,  6,  11}};

// Picks bits of `in` (a value `in_bits` wide, bit 1 = most significant) into a new value.
template <size_t N>
uint64_t Permute(uint64_t in, int in_bits, const uint8_t (&table)[N]) {
  uint64_t out = 0;
  for (const uint8_t bit : table) {
    out = (out << 1) | ((in >> (in_bits - bit)) & 1U);
  }
  return out;
}

uint32_t Rotate28(uint32_t half, int count) {
  return ((half << count) | (half >> (28 - count))) & 0x0FFFFFFFU;
}

// The S-boxes followed by P as one table per box: entry [box][six input bits] is the box's four
// output bits already moved to where P puts them.
using SpTable = std::array<std::array<uint32_t, 64>, 8>;

SpTable MakeSpTable() {
  SpTable table{};
  for (int box = 0; box < 8; ++box) {
    for (unsigned six = 0; six < 64; ++six) {
      const unsigned row = ((six >> 4) & 2U) | (six & 1U);
      const unsigned column = (six >> 1) & 0x0FU;
      const uint32_t placed = static_cast<uint32_t>(kSBoxes[box][row * 16 + column])
                              << (28 - 4 * box);
      table[box][six] = static_cast<uint32_t>(Permute(placed, 32, kPermutation));
    }
  }
  return table;
}

uint32_t Feistel(uint32_t right, uint64_t round_key) {
  static const SpTable sp = MakeSpTable();
  uint32_t out = 0;
  for (int box = 0; box < 8; ++box) {
    // E gives box b the six bits of R starting one bit before its own four, wrapping around.
    const int shift = (27 - 4 * box) & 31;
    const uint32_t rotated = (right >> shift) | (right << ((32 - shift) & 31));
    const auto six =
        static_cast<unsigned>(((rotated & 0x3FU) ^ (round_key >> (42 - 6 * box))) & 0x3FU);
    out |= sp[box][six];
  }
  return out;
}

DesKeySchedule ScheduleFor(std::string_view key) {
  return MakeDesKeySchedule(key);
}

std::string CryptText(std::string_view padded, const DesKeySchedule& schedule,
                      CipherDirection direction) {
  std::string out(padded.size(), '\0');
  DesBlock block{};
  for (size_t at = 0; at + 8 <= padded.size(); at += 8) {
    for (size_t i = 0; i < 8; ++i) {
      block[i] = static_cast<uint8_t>(padded[at + i]);
    }
    const DesBlock result = DesCryptBlock(block, schedule, direction);
    for (size_t i = 0; i < 8; ++i) {
      out[at + i] = static_cast<char>(result[i]);
    }
  }
  return out;
}

}  // namespace

DesKeySchedule MakeDesKeySchedule(std::string_view key) {
  uint64_t key_bits = 0;
  for (size_t i = 0; i < 8; ++i) {
    const uint8_t byte = i < key.size() ? static_cast<uint8_t>(key[i]) : 0;
    key_bits = (key_bits << 8) | byte;
  }
  const uint64_t chosen = Permute(key_bits, 64, kPermutedChoice1);
  auto c = static_cast<uint32_t>((chosen >> 28) & 0x0FFFFFFFU);
  auto d = static_cast<uint32_t>(chosen & 0x0FFFFFFFU);
  DesKeySchedule schedule{};
  for (size_t round = 0; round < 16; ++round) {
    c = Rotate28(c, kRotations[round]);
    d = Rotate28(d, kRotations[round]);
    const uint64_t joined = (static_cast<uint64_t>(c) << 28) | d;
    const uint64_t round_key = Permute(joined, 56, kPermutedChoice2);
    for (size_t i = 0; i < 6; ++i) {
      schedule[round][i] = static_cast<uint8_t>(round_key >> (40 - 8 * i));
    }
  }
  return schedule;
}

DesBlock DesCryptBlock(const DesBlock& block, const DesKeySchedule& schedule,
                       CipherDirection direction) {
  uint64_t bits = 0;
  for (const uint8_t byte : block) {
    bits = (bits << 8) | byte;
  }
  const uint64_t permuted = Permute(bits, 64, kInitialPermutation);
  auto left = static_cast<uint32_t>(permuted >> 32);
  auto right = static_cast<uint32_t>(permuted);
  for (size_t round = 0; round < 16; ++round) {
    const size_t index = direction == CipherDirection::Encrypt ? round : 15 - round;
    uint64_t round_key = 0;
    for (const uint8_t byte : schedule[index]) {
      round_key = (round_key << 8) | byte;
    }
    const uint32_t next = left ^ Feistel(right, round_key);
    left = right;
    right = next;
  }
  // The halves swap once more after the last round.
  const uint64_t preoutput = (static_cast<uint64_t>(right) << 32) | left;
  const uint64_t out_bits = Permute(preoutput, 64, kFinalPermutation);
  DesBlock out{};
  for (size_t i = 0; i < 8; ++i) {
    out[i] = static_cast<uint8_t>(out_bits >> (56 - 8 * i));
  }
  return out;
}

std::string DesEncryptText(std::string_view text, std::string_view key) {
  if (!text.empty() && text.back() == '\0') {
    throw CipherError(kLastCharNullError);
  }
  std::string padded(text);
  padded.resize((padded.size() + 7) / 8 * 8, '\0');
  return CryptText(padded, ScheduleFor(key), CipherDirection::Encrypt);
}

std::string DesDecryptText(std::string_view data, std::string_view key) {
  std::string plain =
      CryptText(data.substr(0, data.size() / 8 * 8), ScheduleFor(key), CipherDirection::Decrypt);
  while (!plain.empty() && plain.back() == '\0') {
    plain.pop_back();
  }
  return plain;
}

namespace {
constexpr std::string_view kInnerKey = "tazu";
constexpr std::string_view kOuterKey = "plomsey";
}  // namespace

std::string EncryptHeaderText(std::string_view text) {
  return DesEncryptText(DesEncryptText(text, kInnerKey), kOuterKey);
}

std::string DecryptHeaderText(std::string_view data) {
  return DesDecryptText(DesDecryptText(data, kOuterKey), kInnerKey);
}

}  // namespace qarvo
