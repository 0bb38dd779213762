// AES-128 in ECB mode, in place, whole 16-byte blocks only. Callers pad; this never does.
#pragma once

#include <cstddef>

namespace cipher {

constexpr std::size_t kBlockSize = 16;

// Key of the local control channel.
extern const char kChannelKey[];
// Key of the UPS cards' notification and query datagrams.
extern const char deviceKey[];

// Both return false, leaving the buffer untouched, when len is not a multiple of 16.
// A length of 0 is accepted and changes nothing. The key is the first 16 bytes of key,
// which must hold at least 16 bytes; a null key is refused.
bool encrypt(unsigned char* buf, std::size_t len, const char* key);
bool decrypt(unsigned char* buf, std::size_t len, const char* key);

}  // namespace cipher
