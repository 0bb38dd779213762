// The bytes of the local control channel: a text padded with zero bytes to whole 16-byte
// blocks and encrypted block by block under the channel key. There is no length field;
// a text ends at its first zero byte, or at the end of the frame when its length is a
// multiple of 16.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ipc {

// The agent reads at most this many bytes per message. Outgoing frames may be longer:
// a long answer or push goes out whole rather than cut.
constexpr std::size_t kMaxFrame = 1024;

constexpr const char kRequestPrefix[] = "request:";
constexpr const char kStartPrefix[] = "start:";
constexpr const char kStopPrefix[] = "stop:";
constexpr const char kResponsePrefix[] = "response:";
constexpr const char kPushPrefix[] = "push:";

// Length of the frame for a text of n bytes: n rounded up to a multiple of 16.
constexpr std::size_t framed_size(std::size_t n) { return (n + 15) / 16 * 16; }

// Pads and encrypts text into out (resized to framed_size). False only if the cipher fails.
bool frame_text(const std::string& text, std::vector<unsigned char>& out);

// Decrypts a received frame in place and returns its text (up to the first zero byte).
// False, with buf untouched, when len is not a multiple of 16.
bool unframe(unsigned char* buf, std::size_t len, std::string& text);

// The client's side of the stream: collects received bytes and cuts whole messages out
// of them. A text that ends in a zero byte is complete at once; one whose length is a
// multiple of 16 carries no zero byte, so only the caller can tell, from a pause in the
// data, that it is complete (take_unterminated).
class MessageReader {
 public:
  void feed(const unsigned char* data, std::size_t len);
  // Next message ended by a zero byte, if one has arrived.
  bool take(std::string& text);
  // Whole blocks without a zero byte, and no partial block after them.
  bool has_unterminated() const { return !plain_.empty() && raw_.empty(); }
  // Those blocks as one message; false when there are none.
  bool take_unterminated(std::string& text);
  // Bytes received but not yet handed out (including an incomplete block).
  std::size_t pending() const { return plain_.size() + raw_.size(); }

 private:
  std::string plain_;  // decrypted whole blocks not yet taken
  std::vector<unsigned char> raw_;  // an incomplete block, still encrypted
};

}  // namespace ipc
