#include "cipher/block_cipher.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// FIPS-197 appendix C.1, AES-128.
const unsigned char kFipsKey[17] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                    0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
                                    'X' /* beyond the 16 key bytes: must not matter */};
const unsigned char kFipsPlain[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                      0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
const unsigned char kFipsCipher[16] = {0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30,
                                       0xd8, 0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a};

const char* fips_key() { return reinterpret_cast<const char*>(kFipsKey); }

TEST(BlockCipher, EncryptsAndDecryptsFips197Vector) {
  unsigned char buf[16];
  std::memcpy(buf, kFipsPlain, 16);
  ASSERT_TRUE(cipher::encrypt(buf, 16, fips_key()));
  EXPECT_EQ(0, std::memcmp(buf, kFipsCipher, 16));
  ASSERT_TRUE(cipher::decrypt(buf, 16, fips_key()));
  EXPECT_EQ(0, std::memcmp(buf, kFipsPlain, 16));
}

TEST(BlockCipher, BlocksAreIndependent) {
  // ECB: the same plaintext block gives the same ciphertext block wherever it stands.
  unsigned char buf[48];
  for (int i = 0; i < 3; ++i) std::memcpy(buf + 16 * i, kFipsPlain, 16);
  ASSERT_TRUE(cipher::encrypt(buf, sizeof buf, fips_key()));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(0, std::memcmp(buf + 16 * i, kFipsCipher, 16)) << i;
}

TEST(BlockCipher, RefusesPartialBlocksAndLeavesBufferUntouched) {
  for (std::size_t len : {1u, 15u, 17u, 31u, 95u}) {
    std::vector<unsigned char> buf(len, 0xA5), before = buf;
    EXPECT_FALSE(cipher::encrypt(buf.data(), len, cipher::deviceKey)) << len;
    EXPECT_FALSE(cipher::decrypt(buf.data(), len, cipher::deviceKey)) << len;
    EXPECT_EQ(before, buf) << len;
  }
}

TEST(BlockCipher, AcceptsZeroLength) {
  unsigned char buf[1] = {0x42};
  EXPECT_TRUE(cipher::encrypt(buf, 0, cipher::kChannelKey));
  EXPECT_TRUE(cipher::decrypt(buf, 0, cipher::kChannelKey));
  EXPECT_EQ(0x42, buf[0]);
}

TEST(BlockCipher, RefusesNullKey) {
  unsigned char buf[16] = {};
  EXPECT_FALSE(cipher::encrypt(buf, 16, nullptr));
}

TEST(BlockCipher, OnlyFirstSixteenKeyBytesCount) {
  std::string a = std::string(cipher::deviceKey) + "tail-one";
  std::string b = std::string(cipher::deviceKey) + "other";
  unsigned char x[32], y[32];
  for (int i = 0; i < 32; ++i) x[i] = y[i] = static_cast<unsigned char>(i * 7);
  ASSERT_TRUE(cipher::encrypt(x, 32, a.c_str()));
  ASSERT_TRUE(cipher::encrypt(y, 32, b.c_str()));
  EXPECT_EQ(0, std::memcmp(x, y, 32));
}

TEST(BlockCipher, FixedKeysAreSixteenBytesAndDiffer) {
  EXPECT_EQ(16u, std::strlen(cipher::kChannelKey));
  EXPECT_EQ(16u, std::strlen(cipher::deviceKey));
  EXPECT_STRNE(cipher::kChannelKey, cipher::deviceKey);
}

}  // namespace
