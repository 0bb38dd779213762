#include "helper/parse_u32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

constexpr uint32_t kUntouched = 7;

struct NumberCase {
  const char* text;
  bool ok;
  uint32_t value;  // meaningful when ok
};

// The reading a 32-bit strtoul gives, whatever the width of long on this machine.
const NumberCase kCases[] = {
    {"30", true, 30},
    {" 30", true, 30},
    {"\t\n30", true, 30},
    {"+30", true, 30},
    {"0", true, 0},
    {"-0", true, 0},
    {"000000000000000000000042", true, 42},
    {"4294967295", true, 4294967295u},
    {"-1", true, 4294967295u},
    {"-2", true, 4294967294u},
    {"-4294967295", true, 1},
    {"4294967296", false, 0},
    {"-4294967296", false, 0},
    {"18446744073709551615", false, 0},
    {"99999999999999999999999", false, 0},
    {"30 ", false, 0},
    {"", false, 0},
    {" ", false, 0},
    {"-", false, 0},
    {"- 1", false, 0},
    {"--1", false, 0},
    {"+-1", false, 0},
    {"abc", false, 0},
    {"0x10", false, 0},
    {"1e3", false, 0},
    {"3.0", false, 0},
};

TEST(ParseU32, NarrowAndWideReadAlike) {
  for (const auto& c : kCases) {
    uint32_t narrow = kUntouched;
    uint32_t wide = kUntouched;
    EXPECT_EQ(parse_u32(std::string(c.text), narrow), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(parse_u32(wxString(c.text), wide), c.ok) << '"' << c.text << '"';
    const uint32_t want = c.ok ? c.value : kUntouched;
    EXPECT_EQ(narrow, want) << '"' << c.text << '"';
    EXPECT_EQ(wide, want) << '"' << c.text << '"';
  }
}

TEST(ParseU32, NonAsciiDigitsAreNotDigits) {
  uint32_t v = kUntouched;
  EXPECT_FALSE(parse_u32(wxString::FromUTF8("\xd9\xa3"), v));  // ARABIC-INDIC DIGIT THREE
  EXPECT_FALSE(parse_u32(wxString::FromUTF8("3\xc2\xa0"), v));  // trailing no-break space
  EXPECT_EQ(v, kUntouched);
}

}  // namespace
