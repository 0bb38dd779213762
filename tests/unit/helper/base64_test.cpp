#include "helper/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Base64, KnownVectorsBothWays) {
  const struct {
    std::string bytes;
    std::string text;
  } cases[] = {
      {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xfb\xff", "+/8="},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(base64_encode(c.bytes), c.text) << c.text;
    EXPECT_EQ(base64_decode(c.text), c.bytes) << c.text;
  }
}

TEST(Base64, EveryByteValueSurvives) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (std::size_t len = 0; len <= all.size(); len += 37) {
    const std::string part = all.substr(all.size() - len);
    EXPECT_EQ(base64_decode(base64_encode(part)), part) << len;
  }
  EXPECT_EQ(base64_encode(reinterpret_cast<const unsigned char*>("\0a"), 2), "AGE=");
}

// Damaged text as a hand edit leaves it: reading stops early and keeps what it has.
TEST(Base64, DecodeStopsAtPaddingOrForeignCharacter) {
  const struct {
    const char* text;
    std::string bytes;
  } cases[] = {
      {"YWJ=Y", "ab"},     // three characters before "=": two bytes, the rest is ignored
      {"Zg", "f"},         // unpadded final pair
      {"Zm8", "fo"},       // unpadded final triple
      {"Z", ""},           // a single character carries no whole byte
      {"Zm9vY", "foo"},    // single left-over after a full group
      {"Zm9v!Zm9v", "foo"},
      {"Zm9 v", "fo"},     // a blank ends the data too
      {"Zm9v\nYmFy", "foo"},
      {"-_8", ""},         // the URL-safe alphabet is not this one
      {"====", ""},
      {"=Zm9v", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(base64_decode(c.text), c.bytes) << c.text;
}

}  // namespace
