#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qarvo {

// Raised when a text cannot be encrypted; what() is the program's own error text.
class CipherError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr char kLastCharNullError[] = "Error: the last char is NULL char.";

enum class CipherDirection { Encrypt, Decrypt };

// The sixteen 48-bit round keys, six bytes each.
using DesKeySchedule = std::array<std::array<uint8_t, 6>, 16>;
using DesBlock = std::array<uint8_t, 8>;

// Only the first 8 bytes of `key` count; a shorter key is padded with zero bytes.
DesKeySchedule MakeDesKeySchedule(std::string_view key);
DesBlock DesCryptBlock(const DesBlock& block, const DesKeySchedule& schedule,
                       CipherDirection direction);

// Byte strings in, byte strings out (never hex). Encrypt pads with zero bytes to a multiple of
// 8 and refuses a text ending in a zero byte; Decrypt ignores a trailing partial block and drops
// trailing zero bytes of its result.
std::string DesEncryptText(std::string_view text, std::string_view key);
std::string DesDecryptText(std::string_view data, std::string_view key);

// The two-key header operations: "tazu" then "plomsey", and back.
std::string EncryptHeaderText(std::string_view text);
std::string DecryptHeaderText(std::string_view data);

}  // namespace qarvo
