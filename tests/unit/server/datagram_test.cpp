#include "server/datagram.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cipher/block_cipher.h"

namespace {

std::string decrypted_query_text(const unsigned char q[datagram::kQuerySize]) {
  unsigned char body[datagram::kQueryBodySize];
  std::memcpy(body, q + 2, sizeof body);
  EXPECT_TRUE(cipher::decrypt(body, sizeof body, cipher::deviceKey));
  // Everything after the text must be zero: the text is not terminated otherwise.
  std::size_t end = 0;
  while (end < sizeof body && body[end]) ++end;
  for (std::size_t i = end; i < sizeof body; ++i) EXPECT_EQ(body[i], 0) << "byte " << i;
  return std::string(reinterpret_cast<char*>(body), end);
}

TEST(Notification, BodyLayoutFollowsTheCardFormat) {
  CardState s;
  s.events[AcFail] = true;
  s.events[LS2] = true;
  s.warnings[Overload] = 7;
  s.warnings[RemainTime] = 200;
  s.delay = 300;
  s.source = 2;

  unsigned char out[datagram::kNotificationSize + 4];
  std::size_t len = 0;
  ASSERT_TRUE(build_notification(s, out, len));
  ASSERT_EQ(len, 98u);
  EXPECT_EQ(out[0], 0x55);
  EXPECT_EQ(out[1], 0xAA);

  unsigned char body[96];
  std::memcpy(body, out + 2, 96);
  ASSERT_TRUE(cipher::decrypt(body, 96, cipher::deviceKey));
  for (int i = 0; i < kEventCount; ++i) {
    EXPECT_EQ(body[i], (i == AcFail || i == LS2) ? 1 : 0) << "flag " << i;
    EXPECT_EQ(body[32 + i], i == Overload ? 7 : i == RemainTime ? 200 : 0) << "warning " << i;
  }
  EXPECT_EQ(body[64], 0x01);
  EXPECT_EQ(body[65], 0x2C);
  EXPECT_EQ(body[66], 2);

  CardState back;
  ASSERT_TRUE(decode_notification(out, len, back));
  EXPECT_EQ(back.events, s.events);
  EXPECT_EQ(back.warnings, s.warnings);
  EXPECT_EQ(back.delay, 300);
  EXPECT_EQ(back.source, 2);
}

TEST(Notification, DecodeRefusesShortOrUnmarkedDatagrams) {
  unsigned char out[datagram::kNotificationSize];
  std::size_t len = 0;
  ASSERT_TRUE(build_notification(CardState{}, out, len));
  CardState s;
  EXPECT_FALSE(decode_notification(out, 97, s));
  out[1] = 0xAB;
  EXPECT_FALSE(decode_notification(out, len, s));
  EXPECT_FALSE(decode_notification(nullptr, len, s));
}

TEST(QuerySuffix, FollowsPowerSourceThenPowerBy) {
  struct Row {
    int source;
    const char* powerby;
    const char* suffix;
  } rows[] = {
      {0, "LS2", "(LS2)"}, {0, "LS1", "(LS1)"}, {0, "Master", ""},  {0, "", ""},
      {1, "LS2", "(LS2)"}, {1, "LS1", "(LS1)"}, {1, "Master", "(LS1)"}, {1, "ls2", "(LS1)"},
      {2, "LS1", ""},      {2, "LS2", ""},      {3, "LS1", ""},      {-1, "LS2", ""},
  };
  for (const auto& r : rows)
    EXPECT_EQ(query_suffix(r.source, r.powerby), r.suffix) << r.source << " " << r.powerby;
}

TEST(Query, CarriesAliasAndSuffixEncrypted) {
  Remote r("card", "", "", "LS2", nullptr);
  unsigned char q[datagram::kQuerySize];
  ASSERT_TRUE(buildQuery(r, "myhost", q));
  EXPECT_EQ(q[0], 0x55);
  EXPECT_EQ(q[1], 0xAA);
  EXPECT_EQ(decrypted_query_text(q), "myhost(LS2)");

  r.setPowerSource(2);
  ASSERT_TRUE(buildQuery(r, "myhost", q));
  EXPECT_EQ(decrypted_query_text(q), "myhost");
}

TEST(Query, LongAliasIsCutTo59BeforeTheSuffix) {
  const std::string alias64(64, 'a');
  Remote r("card", "", "", "LS1", nullptr);
  unsigned char q[datagram::kQuerySize];
  ASSERT_TRUE(buildQuery(r, alias64, q));
  EXPECT_EQ(decrypted_query_text(q), std::string(59, 'a') + "(LS1)");

  r.setPowerBy("Master");
  ASSERT_TRUE(buildQuery(r, alias64, q));
  EXPECT_EQ(decrypted_query_text(q), std::string(59, 'a'));
}

TEST(Query, DecodeSplitsAliasAndSuffix) {
  Remote r("card", "", "", "LS1", nullptr);
  unsigned char q[datagram::kQuerySize];
  std::string alias, suffix;

  ASSERT_TRUE(buildQuery(r, "host-1", q));
  ASSERT_TRUE(decode_query(q, sizeof q, alias, suffix));
  EXPECT_EQ(alias, "host-1");
  EXPECT_EQ(suffix, "(LS1)");

  r.setPowerBy("Master");
  ASSERT_TRUE(buildQuery(r, "", q));
  ASSERT_TRUE(decode_query(q, sizeof q, alias, suffix));
  EXPECT_EQ(alias, "");
  EXPECT_EQ(suffix, "");

  EXPECT_FALSE(decode_query(q, 65, alias, suffix));
  EXPECT_FALSE(decode_query(q, 67, alias, suffix));
  q[0] = 0;
  EXPECT_FALSE(decode_query(q, sizeof q, alias, suffix));
}

TEST(QueryBlock, KeepsUpTo64BytesAndLogsEveryByteInHex) {
  unsigned char block[64];
  ASSERT_TRUE(build_query_block(std::string(64, 'z') + "tail", block));
  unsigned char plain[64];
  std::memcpy(plain, block, 64);
  ASSERT_TRUE(cipher::decrypt(plain, 64, cipher::deviceKey));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(plain), 64), std::string(64, 'z'));

  ASSERT_TRUE(build_query_block("ab", block));
  const std::string text = query_block_log_text(block).ToStdString();
  const std::string prefix = "Updata query data to ";
  ASSERT_EQ(text.substr(0, prefix.size()), prefix);
  const std::string hex = text.substr(prefix.size());
  ASSERT_EQ(hex.size(), 64u * 3);
  char first[4];
  std::snprintf(first, sizeof first, "%02x ", block[0]);
  EXPECT_EQ(hex.substr(0, 3), first);
  EXPECT_EQ(hex.find_first_not_of("0123456789abcdef "), std::string::npos);
}

TEST(HexText, SpacedAndDumpLayouts) {
  unsigned char b[40];
  for (int i = 0; i < 40; ++i) b[i] = static_cast<unsigned char>(i == 0 ? 0xAB : i);
  EXPECT_EQ(hex_spaced(b, 3), "ab 01 02 ");

  std::string want;
  want += "ab01020304050607 08090a0b0c0d0e0f  ";
  want += "1011121314151617 18191a1b1c1d1e1f  \n";
  want += "2021222324252627 ";
  EXPECT_EQ(body_hex_dump(b, 40), want);
}

}  // namespace
