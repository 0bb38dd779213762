#include "helper/parse_u32.h"

namespace {

// The C locale's white space, which is what strtoul skips in the agent's process.
template <typename Ch>
bool is_blank(Ch c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

template <typename Ch>
bool parse_chars(const Ch* p, const Ch* end, uint32_t& out) {
  while (p != end && is_blank(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p == end) return false;
  uint64_t magnitude = 0;
  for (; p != end; ++p) {
    if (*p < '0' || *p > '9') return false;
    magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
    if (magnitude > UINT32_MAX) return false;
  }
  const uint32_t value = static_cast<uint32_t>(magnitude);
  out = negative ? static_cast<uint32_t>(0u - value) : value;
  return true;
}

}  // namespace

bool parse_u32(const wxString& text, uint32_t& out) {
  const std::wstring wide = text.ToStdWstring();
  return parse_chars(wide.data(), wide.data() + wide.size(), out);
}

bool parse_u32(const std::string& text, uint32_t& out) {
  return parse_chars(text.data(), text.data() + text.size(), out);
}
