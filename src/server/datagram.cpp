#include "server/datagram.h"

#include <cstring>

#include "cipher/block_cipher.h"

using namespace datagram;

bool has_marks(const unsigned char* buf, std::size_t n) {
  return buf && n > kMarkSize && buf[0] == kMark0 && buf[1] == kMark1;
}

void encode_notification_body(const CardState& state, unsigned char body[kBodySize]) {
  std::memset(body, 0, kBodySize);
  for (int i = 0; i < kEventCount; ++i) {
    body[kFlagOffset + i] = state.events[i] ? 1 : 0;
    body[kWarnOffset + i] = state.warnings[i];
  }
  body[kDelayOffset] = static_cast<unsigned char>(state.delay >> 8);
  body[kDelayOffset + 1] = static_cast<unsigned char>(state.delay & 0xff);
  body[kSourceOffset] = state.source;
}

bool build_notification(const CardState& state, unsigned char* out, std::size_t& len) {
  len = 0;
  if (!out) return false;
  out[0] = kMark0;
  out[1] = kMark1;
  encode_notification_body(state, out + kMarkSize);
  if (!cipher::encrypt(out + kMarkSize, kBodySize, cipher::deviceKey)) return false;
  len = kNotificationSize;
  return true;
}

bool decode_notification(const unsigned char* buf, std::size_t n, CardState& state) {
  if (!has_marks(buf, n) || n < kNotificationSize) return false;
  unsigned char body[kBodySize];
  std::memcpy(body, buf + kMarkSize, kBodySize);
  if (!cipher::decrypt(body, kBodySize, cipher::deviceKey)) return false;
  for (int i = 0; i < kEventCount; ++i) {
    state.events[i] = body[kFlagOffset + i] == 1;
    state.warnings[i] = body[kWarnOffset + i];
  }
  state.delay = static_cast<uint16_t>(body[kDelayOffset] * 256 + body[kDelayOffset + 1]);
  state.source = body[kSourceOffset];
  return true;
}

std::string query_suffix(int powerSource, const std::string& powerby) {
  if (powerSource == 0) {
    if (powerby == "LS2") return "(LS2)";
    if (powerby == "LS1") return "(LS1)";
    return "";
  }
  if (powerSource == 1) return powerby == "LS2" ? "(LS2)" : "(LS1)";
  return "";
}

void build_query_body(const std::string& alias, const std::string& suffix, unsigned char body[kQueryBodySize]) {
  std::memset(body, 0, kQueryBodySize);
  const std::size_t a = alias.size() < kQueryAliasMax ? alias.size() : kQueryAliasMax;
  std::memcpy(body, alias.data(), a);
  const std::size_t room = kQueryBodySize - a;
  std::memcpy(body + a, suffix.data(), suffix.size() < room ? suffix.size() : room);
}

bool buildQuery(const Remote& remote, const std::string& alias, unsigned char out[kQuerySize]) {
  out[0] = kMark0;
  out[1] = kMark1;
  build_query_body(alias, query_suffix(remote.getPowerSource(), remote.getPowerBy()), out + kMarkSize);
  return cipher::encrypt(out + kMarkSize, kQueryBodySize, cipher::deviceKey);
}

bool decode_query(const unsigned char* buf, std::size_t n, std::string& alias, std::string& suffix) {
  if (n != kQuerySize || !has_marks(buf, n)) return false;
  unsigned char body[kQueryBodySize];
  std::memcpy(body, buf + kMarkSize, kQueryBodySize);
  if (!cipher::decrypt(body, kQueryBodySize, cipher::deviceKey)) return false;
  std::size_t end = 0;
  while (end < kQueryBodySize && body[end] != 0) ++end;
  std::string text(reinterpret_cast<const char*>(body), end);
  suffix.clear();
  if (text.size() >= 5) {
    const std::string tail = text.substr(text.size() - 5);
    if (tail == "(LS1)" || tail == "(LS2)") {
      suffix = tail;
      text.resize(text.size() - 5);
    }
  }
  alias = text;
  return true;
}

bool build_query_block(const std::string& alias, unsigned char out[kQueryBlockSize]) {
  std::memset(out, 0, kQueryBlockSize);
  std::memcpy(out, alias.data(), alias.size() < kQueryBlockSize ? alias.size() : kQueryBlockSize);
  return cipher::encrypt(out, kQueryBlockSize, cipher::deviceKey);
}

wxString query_block_log_text(const unsigned char block[kQueryBlockSize]) {
  return wxString("Updata query data to ") + wxString(hex_spaced(block, kQueryBlockSize));
}

namespace {
const char kHex[] = "0123456789abcdef";
void put_hex(std::string& s, unsigned char b) {
  s.push_back(kHex[b >> 4]);
  s.push_back(kHex[b & 0xf]);
}
}  // namespace

std::string hex_spaced(const unsigned char* bytes, std::size_t n) {
  std::string s;
  s.reserve(n * 3);
  for (std::size_t i = 0; i < n; ++i) {
    put_hex(s, bytes[i]);
    s.push_back(' ');
  }
  return s;
}

std::string body_hex_dump(const unsigned char* bytes, std::size_t n) {
  std::string s;
  s.reserve(n * 3);
  for (std::size_t i = 0; i < n; ++i) {
    put_hex(s, bytes[i]);
    const std::size_t k = i + 1;
    if (k % 8 == 0) s.push_back(' ');
    if (k % 16 == 0) s.push_back(' ');
    if (k % 32 == 0) s.push_back('\n');
  }
  return s;
}
