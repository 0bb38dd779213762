#include "helper/base64.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string base64_encode(const unsigned char* bytes, std::size_t len) {
  std::string out;
  out.reserve((len + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= len; i += 3) {
    const unsigned v = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += kAlphabet[v >> 6 & 63];
    out += kAlphabet[v & 63];
  }
  if (len - i == 1) {
    const unsigned v = bytes[i] << 16;
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += "==";
  } else if (len - i == 2) {
    const unsigned v = bytes[i] << 16 | bytes[i + 1] << 8;
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += kAlphabet[v >> 6 & 63];
    out += '=';
  }
  return out;
}

std::string base64_encode(const std::string& bytes) {
  return base64_encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string base64_decode(const std::string& text) {
  std::string out;
  unsigned acc = 0;  // the sextets of the group being read
  int have = 0;
  for (const char ch : text) {
    const int v = sextet(static_cast<unsigned char>(ch));
    if (v < 0) break;  // "=" included: padding ends the data
    acc = acc << 6 | static_cast<unsigned>(v);
    if (++have == 4) {
      out += static_cast<char>(acc >> 16 & 0xFF);
      out += static_cast<char>(acc >> 8 & 0xFF);
      out += static_cast<char>(acc & 0xFF);
      acc = 0;
      have = 0;
    }
  }
  if (have == 2) {
    out += static_cast<char>(acc >> 4 & 0xFF);
  } else if (have == 3) {
    out += static_cast<char>(acc >> 10 & 0xFF);
    out += static_cast<char>(acc >> 2 & 0xFF);
  }
  return out;
}
