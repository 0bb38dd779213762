// The two datagrams exchanged with the UPS cards: the notification a card sends to the agent
// and the query the agent sends to a card. Both bodies are encrypted with cipher::deviceKey.
#pragma once

#include <wx/string.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/events.h"
#include "model/tree.h"

namespace datagram {

constexpr unsigned char kMark0 = 0x55;
constexpr unsigned char kMark1 = 0xAA;
constexpr std::size_t kMarkSize = 2;

// Notification: the marks, then a body of which only the first 96 bytes are used.
constexpr std::size_t kMaxRead = 200;  // bytes of a datagram the agent keeps
constexpr std::size_t kBodySize = 96;
constexpr std::size_t kNotificationSize = kMarkSize + kBodySize;
constexpr std::size_t kFlagOffset = 0;    // 14 bytes, 1 = event present
constexpr std::size_t kWarnOffset = 32;   // 14 bytes, 0 = no warning
constexpr std::size_t kDelayOffset = 64;  // 2 bytes, high byte first
constexpr std::size_t kSourceOffset = 66; // 1 = load segment, 2 = master output

// Query: the marks, then 64 bytes of alias and load-segment suffix.
constexpr std::size_t kQuerySize = 66;
constexpr std::size_t kQueryBodySize = 64;
constexpr std::size_t kQueryAliasMax = 59;  // leaves room for the 5-byte suffix
constexpr std::size_t kQueryBlockSize = 64;

}  // namespace datagram

// True when buf holds more than the two mark bytes and starts with them.
bool has_marks(const unsigned char* buf, std::size_t n);

// What a card reports in one notification.
struct CardState {
  std::array<bool, kEventCount> events{};
  std::array<uint8_t, kEventCount> warnings{};  // 0 = no warning
  uint16_t delay = 0;                           // UPS shutdown delay, seconds
  uint8_t source = 0;                           // 0 not reported, 1 load segment, 2 master
};

// The plain 96-byte body for state (bytes the agent does not read are zero).
void encode_notification_body(const CardState& state, unsigned char body[datagram::kBodySize]);
// The whole encrypted notification; out holds at least kNotificationSize bytes. len is set to
// the bytes written. False only when encryption fails.
bool build_notification(const CardState& state, unsigned char* out, std::size_t& len);
// Reverses build_notification; false for a datagram too short or without the marks.
bool decode_notification(const unsigned char* buf, std::size_t n, CardState& state);

// "(LS1)", "(LS2)" or "" for a remote's power source and power-by text.
std::string query_suffix(int powerSource, const std::string& powerby);
// Plain query body: alias (at most 59 bytes), suffix, zeros up to 64.
void build_query_body(const std::string& alias, const std::string& suffix,
                      unsigned char body[datagram::kQueryBodySize]);
// The 66-byte encrypted query for remote. The caller holds tree_mutex (reads powerSource and
// powerby). False only when encryption fails.
bool buildQuery(const Remote& remote, const std::string& alias, unsigned char out[datagram::kQuerySize]);
// Reverses buildQuery: false unless buf is a 66-byte datagram with the marks. The text is
// split into alias and suffix when it ends with "(LS1)" or "(LS2)".
bool decode_query(const unsigned char* buf, std::size_t n, std::string& alias, std::string& suffix);

// The start-up query block: alias (at most 64 bytes) and zeros, encrypted.
bool build_query_block(const std::string& alias, unsigned char out[datagram::kQueryBlockSize]);
// "Updata query data to " followed by each byte as two lower-case hex digits and a blank.
wxString query_block_log_text(const unsigned char block[datagram::kQueryBlockSize]);

// Each byte as two lower-case hex digits followed by one blank.
std::string hex_spaced(const unsigned char* bytes, std::size_t n);
// Dump of a decrypted body: two hex digits per byte, a blank after every 8th byte, a second
// blank after every 16th and a line feed after every 32nd.
std::string body_hex_dump(const unsigned char* bytes, std::size_t n);
