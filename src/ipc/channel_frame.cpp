#include "ipc/channel_frame.h"

#include <algorithm>
#include <cstring>

#include "cipher/block_cipher.h"

namespace ipc {

bool frame_text(const std::string& text, std::vector<unsigned char>& out) {
  out.assign(framed_size(text.size()), 0);
  if (!text.empty()) std::memcpy(out.data(), text.data(), text.size());
  return cipher::encrypt(out.data(), out.size(), cipher::kChannelKey);
}

bool unframe(unsigned char* buf, std::size_t len, std::string& text) {
  if (!cipher::decrypt(buf, len, cipher::kChannelKey)) return false;
  const void* zero = std::memchr(buf, 0, len);
  const std::size_t n = zero ? static_cast<const unsigned char*>(zero) - buf : len;
  text.assign(reinterpret_cast<const char*>(buf), n);
  return true;
}

void MessageReader::feed(const unsigned char* data, std::size_t len) {
  raw_.insert(raw_.end(), data, data + len);
  const std::size_t whole = raw_.size() / 16 * 16;
  if (whole == 0) return;
  cipher::decrypt(raw_.data(), whole, cipher::kChannelKey);
  plain_.append(reinterpret_cast<const char*>(raw_.data()), whole);
  raw_.erase(raw_.begin(), raw_.begin() + whole);
}

bool MessageReader::take(std::string& text) {
  const std::size_t zero = plain_.find('\0');
  if (zero == std::string::npos) return false;
  text = plain_.substr(0, zero);
  // The frame ends with the block that holds the first zero byte.
  plain_.erase(0, std::min(plain_.size(), (zero / 16 + 1) * 16));
  return true;
}

bool MessageReader::take_unterminated(std::string& text) {
  if (!has_unterminated()) return false;
  text.swap(plain_);
  plain_.clear();
  return true;
}

}  // namespace ipc
