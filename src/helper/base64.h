// Base64 (RFC 4648 alphabet, "=" padding) for the password kept in the configuration file.
#pragma once

#include <cstddef>
#include <string>

std::string base64_encode(const unsigned char* bytes, std::size_t len);
std::string base64_encode(const std::string& bytes);

// Lenient on purpose: a hand-edited file may carry a damaged password. Reading stops at the
// first "=" or at the first character outside the alphabet; a final group of two or three
// characters gives one or two bytes and a single left-over character gives nothing.
std::string base64_decode(const std::string& text);
