#include "ipc/channel_frame.h"

#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An independent AES-128-ECB under the channel's fixed key text.
std::vector<unsigned char> reference_encrypt(std::vector<unsigned char> plain) {
  static const unsigned char key[] = "Qm7vRt2LpX9dWz4K";
  std::vector<unsigned char> out(plain.size() + 16);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0, total = 0;
  EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key, nullptr);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_EncryptUpdate(ctx, out.data(), &n, plain.data(), static_cast<int>(plain.size()));
  total = n;
  EVP_EncryptFinal_ex(ctx, out.data() + total, &n);
  total += n;
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<std::size_t>(total));
  return out;
}

std::vector<unsigned char> framed(const std::string& text) {
  std::vector<unsigned char> f;
  EXPECT_TRUE(ipc::frame_text(text, f));
  return f;
}

TEST(ChannelFrame, PadsWithZerosToWholeBlocksAndEncryptsUnderTheChannelKey) {
  struct Case {
    std::string text;
    std::size_t frame_len;
    std::size_t zeros;
  } cases[] = {
      {"stop:", 16, 11},
      {"response:1", 16, 6},
      {"request:get.cfg.", 16, 0},  // exactly one block: no padding block is added
      {"request:get.cfg.p", 32, 15},
  };
  for (const auto& c : cases) {
    const auto f = framed(c.text);
    ASSERT_EQ(f.size(), c.frame_len) << c.text;
    std::vector<unsigned char> plain(c.text.begin(), c.text.end());
    plain.resize(c.frame_len, 0);
    EXPECT_EQ(c.frame_len - c.text.size(), c.zeros);
    EXPECT_EQ(f, reference_encrypt(plain)) << c.text;
  }
}

TEST(ChannelFrame, EmptyTextMakesNoFrame) { EXPECT_TRUE(framed("").empty()); }

TEST(ChannelFrame, UnframeEndsTheTextAtTheFirstZeroByte) {
  struct Case {
    std::vector<std::string> frames;  // sent back to back, read as one
    std::string text;
  } cases[] = {
      {{"stop:"}, "stop:"},
      {{"0123456789abcdef"}, "0123456789abcdef"},  // no zero byte: the whole frame
      {{"response:1", "start:"}, "response:1"},    // the second message is lost
      {{"0123456789abcdef", "stop:"}, "0123456789abcdefstop:"},  // ... or glued on
      {{std::string(1, '\0')}, ""},
  };
  for (const auto& c : cases) {
    std::vector<unsigned char> buf;
    for (const auto& t : c.frames) {
      const auto f = framed(t);
      buf.insert(buf.end(), f.begin(), f.end());
    }
    std::string text;
    ASSERT_TRUE(ipc::unframe(buf.data(), buf.size(), text));
    EXPECT_EQ(text, c.text);
  }
}

TEST(ChannelFrame, UnframeRefusesPartialBlocksAndLeavesThemAlone) {
  auto f = framed("request:get.cfg.pwd");
  const auto before = f;
  std::string text = "unchanged";
  EXPECT_FALSE(ipc::unframe(f.data(), 17, text));
  EXPECT_EQ(f, before);
  EXPECT_EQ(text, "unchanged");
}

TEST(MessageReader, CutsWholeMessagesOfEveryLengthFromTheStream) {
  for (std::size_t len : {1u, 15u, 16u, 17u, 1024u, 1031u, 4096u}) {
    std::string text(len, 'x');
    text[0] = 'p';
    const auto f = framed(text);
    ipc::MessageReader reader;
    std::string got;
    // Arrives in odd pieces; nothing is complete before the last one.
    for (std::size_t at = 0; at < f.size(); at += 7) {
      EXPECT_FALSE(reader.take(got));
      reader.feed(f.data() + at, std::min<std::size_t>(7, f.size() - at));
    }
    if (len % 16 != 0) {
      ASSERT_TRUE(reader.take(got)) << len;
      EXPECT_EQ(reader.pending(), 0u);
    } else {
      // No zero byte: only the caller's pause can end it.
      EXPECT_FALSE(reader.take(got)) << len;
      ASSERT_TRUE(reader.has_unterminated());
      ASSERT_TRUE(reader.take_unterminated(got));
    }
    EXPECT_EQ(got, text) << len;
  }
}

TEST(MessageReader, SeparatesMessagesThatArriveTogether) {
  std::vector<unsigned char> stream;
  for (const char* t : {"response:1", "push:remote_info:a(2", "push:x"}) {
    const auto f = framed(t);
    stream.insert(stream.end(), f.begin(), f.end());
  }
  ipc::MessageReader reader;
  reader.feed(stream.data(), stream.size());
  std::string got;
  ASSERT_TRUE(reader.take(got));
  EXPECT_EQ(got, "response:1");
  ASSERT_TRUE(reader.take(got));
  EXPECT_EQ(got, "push:remote_info:a(2");
  ASSERT_TRUE(reader.take(got));
  EXPECT_EQ(got, "push:x");
  EXPECT_FALSE(reader.take(got));
  EXPECT_FALSE(reader.has_unterminated());
}

TEST(MessageReader, WaitsForTheRestOfAPartialBlock) {
  const auto f = framed("0123456789abcdef0123456789abcdef");  // 32 bytes, no zero
  ipc::MessageReader reader;
  reader.feed(f.data(), 20);
  std::string got;
  EXPECT_FALSE(reader.has_unterminated());  // a block is still incomplete
  EXPECT_FALSE(reader.take_unterminated(got));
  reader.feed(f.data() + 20, 12);
  ASSERT_TRUE(reader.take_unterminated(got));
  EXPECT_EQ(got, "0123456789abcdef0123456789abcdef");
}

}  // namespace
