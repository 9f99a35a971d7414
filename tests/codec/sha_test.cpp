#include "codec/sha.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

namespace qarvo {
namespace {

// The test strings of FIPS 180-2's examples.
TEST(Sha, KnownAnswers) {
  EXPECT_EQ(ShaHexOf(ShaKind::Sha256, ""),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(ShaHexOf(ShaKind::Sha256, "abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(ShaHexOf(ShaKind::Sha256, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(ShaHexOf(ShaKind::Sha1, "abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(ShaHexOf(ShaKind::Sha1, ""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(Sha, IncrementalEqualsWholeAndRestartsAfterFinal) {
  const std::string million(1000000, 'a');
  ShaDigest digest(ShaKind::Sha256);
  for (size_t at = 0; at < million.size(); at += 4093) {
    digest.Update(million.data() + at, std::min<size_t>(4093, million.size() - at));
  }
  EXPECT_EQ(digest.FinalHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  digest.Update("abc", 3);
  EXPECT_EQ(digest.FinalHex(), ShaHexOf(ShaKind::Sha256, "abc"));
  ShaDigest moved = std::move(digest);
  EXPECT_EQ(moved.FinalHex(), ShaHexOf(ShaKind::Sha256, ""));
}

}  // namespace
}  // namespace qarvo
