#include "cipher/block_cipher.h"

#include <openssl/evp.h>

#include <cstring>
#include <memory>

namespace cipher {

const char kChannelKey[] = "Qm7vRt2LpX9dWz4K";
const char deviceKey[] = "Hy3kTw8Ns5Bq1Gv6";

namespace {

struct CtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

bool run(unsigned char* buf, std::size_t len, const char* key, bool enc) {
  if (len % kBlockSize != 0 || key == nullptr || (buf == nullptr && len != 0)) return false;
  if (len == 0) return true;
  unsigned char k[kBlockSize];
  std::memcpy(k, key, kBlockSize);

  std::unique_ptr<EVP_CIPHER_CTX, CtxFree> ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return false;
  if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, k, nullptr, enc ? 1 : 0) != 1)
    return false;
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);

  // Work on a copy so a failing EVP call cannot leave the caller's buffer half-changed.
  std::unique_ptr<unsigned char[]> out(new unsigned char[len + kBlockSize]);
  int n = 0, tail = 0;
  if (EVP_CipherUpdate(ctx.get(), out.get(), &n, buf, static_cast<int>(len)) != 1) return false;
  if (EVP_CipherFinal_ex(ctx.get(), out.get() + n, &tail) != 1) return false;
  if (static_cast<std::size_t>(n + tail) != len) return false;
  std::memcpy(buf, out.get(), len);
  return true;
}

}  // namespace

bool encrypt(unsigned char* buf, std::size_t len, const char* key) { return run(buf, len, key, true); }
bool decrypt(unsigned char* buf, std::size_t len, const char* key) { return run(buf, len, key, false); }

}  // namespace cipher
