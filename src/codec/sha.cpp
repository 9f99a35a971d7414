#include "codec/sha.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <stdexcept>
#include <utility>

namespace qarvo {

namespace {

const EVP_MD* MethodOf(ShaKind kind) {
  return kind == ShaKind::Sha1 ? EVP_sha1() : EVP_sha256();
}

}  // namespace

ShaDigest::ShaDigest(ShaKind kind) : kind_(kind), context_(EVP_MD_CTX_new()) {
  if (context_ == nullptr) {
    throw std::runtime_error("out of memory for a SHA digest");
  }
  Restart();
}

ShaDigest::~ShaDigest() {
  if (context_ != nullptr) {
    EVP_MD_CTX_free(context_);
    // libcrypto keeps an error queue per thread, freed only when the thread ends. Job threads are
    // detached and may still be ending when the process exits, so the queue is given back with
    // the digest; libcrypto makes it again when a later digest on this thread needs it.
    OPENSSL_thread_stop();
  }
}

ShaDigest::ShaDigest(ShaDigest&& other) noexcept
    : kind_(other.kind_), context_(std::exchange(other.context_, nullptr)) {}

ShaDigest& ShaDigest::operator=(ShaDigest&& other) noexcept {
  if (this != &other) {
    EVP_MD_CTX_free(context_);
    kind_ = other.kind_;
    context_ = std::exchange(other.context_, nullptr);
  }
  return *this;
}

void ShaDigest::Restart() {
  if (EVP_DigestInit_ex(context_, MethodOf(kind_), nullptr) != 1) {
    throw std::runtime_error("libcrypto refused to start a SHA digest");
  }
}

void ShaDigest::Update(const void* data, size_t size) {
  if (size != 0) {
    EVP_DigestUpdate(context_, data, size);
  }
}

std::string ShaDigest::FinalHex() {
  std::array<uint8_t, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(context_, digest.data(), &length);
  Restart();
  return LowerHexOf(std::span<const uint8_t>(digest.data(), length));
}

std::string LowerHexOf(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 15]);
  }
  return text;
}

std::string ShaHexOf(ShaKind kind, std::string_view bytes) {
  ShaDigest digest(kind);
  digest.Update(bytes.data(), bytes.size());
  return digest.FinalHex();
}

}  // namespace qarvo
