#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// SHA-1 and SHA-256 from OpenSSL's libcrypto, which picks the processor's SHA instructions where
// there are any. Used for checksum files beside a split set and for checking downloads; the
// formats themselves only know MD5 and CRC-32 (digest.h).
struct evp_md_ctx_st;

namespace qarvo {

enum class ShaKind { Sha1, Sha256 };

// Incremental SHA digest. Throws std::runtime_error only when libcrypto cannot set up a context.
class ShaDigest {
 public:
  explicit ShaDigest(ShaKind kind);
  ~ShaDigest();
  ShaDigest(ShaDigest&& other) noexcept;
  ShaDigest& operator=(ShaDigest&& other) noexcept;
  ShaDigest(const ShaDigest&) = delete;
  ShaDigest& operator=(const ShaDigest&) = delete;

  void Update(const void* data, size_t size);
  // Lower-case hex of the digest (40 or 64 digits). The digest starts over afterwards.
  std::string FinalHex();
  ShaKind kind() const { return kind_; }

 private:
  void Restart();
  ShaKind kind_;
  evp_md_ctx_st* context_ = nullptr;
};

// Lower-case hex of bytes.
std::string LowerHexOf(std::span<const uint8_t> bytes);
// The hex digest of a whole text, for tests and short inputs.
std::string ShaHexOf(ShaKind kind, std::string_view bytes);

}  // namespace qarvo
