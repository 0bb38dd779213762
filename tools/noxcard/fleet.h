// A fleet of simulated UPS network cards, each with its own UDP socket, answering the
// agent's queries with notifications built from the card's state.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "server/datagram.h"

struct QueryRecord {
  double time = 0;  // seconds since the epoch
  std::string from;
  std::string alias;
  std::string suffix;
};

struct Card {
  static constexpr std::size_t kKeptQueries = 32;

  int index = 0;
  int fd = -1;
  std::string label;  // "host:port" the card is bound to
  CardState state;
  bool silent = false;

  sockaddr_storage agent{};  // source of the last query; where unsolicited notifications go
  socklen_t agent_len = 0;

  uint64_t queries = 0;   // valid queries received
  uint64_t answered = 0;  // notifications sent in answer
  uint64_t notified = 0;  // unsolicited notifications sent
  uint64_t invalid = 0;   // datagrams that were not a query
  uint64_t send_errors = 0;
  std::deque<QueryRecord> recent;  // the last kKeptQueries queries, oldest first
};

struct FleetOptions {
  std::string addr = "127.0.0.1";
  int port = 2993;
  int count = 1;
  bool spread_addresses = false;  // consecutive IPv4 addresses on one port instead of consecutive ports
  std::string agent;              // "host:port"; empty: answer whoever queried last
  CardState initial;
  bool silent = false;
  std::string query_log;  // file that gets one line per query; empty: none
};

class Fleet {
 public:
  Fleet() = default;
  ~Fleet();
  Fleet(const Fleet&) = delete;
  Fleet& operator=(const Fleet&) = delete;

  // Binds every card's socket (non-blocking). On failure err says why and nothing stays open.
  bool open(const FleetOptions& opts, std::string& err);

  std::size_t size() const { return cards_.size(); }
  Card& card(std::size_t i) { return cards_[i]; }
  const Card& card(std::size_t i) const { return cards_[i]; }
  // Index of the card named by text (its index or its "host:port"), or -1.
  int find(const std::string& text) const;

  // Reads and answers every datagram waiting on the card's socket.
  void serve(Card& c);
  // Sends the card's notification to the fixed agent, else to the last one that queried.
  // False when the card is silent, no agent is known or sending failed.
  bool notify(Card& c);

  bool has_fixed_agent() const { return fixed_agent_len_ != 0; }

 private:
  bool sendState(Card& c, const sockaddr* to, socklen_t len);
  void record(Card& c, const sockaddr_storage& from, socklen_t len, const std::string& alias,
              const std::string& suffix);

  std::vector<Card> cards_;
  sockaddr_storage fixed_agent_{};
  socklen_t fixed_agent_len_ = 0;
  int log_fd_ = -1;
};

// "host:port" or "[v6]:port" into a socket address; false when it is not numeric.
bool parse_endpoint(const std::string& text, sockaddr_storage& out, socklen_t& len);
// The numeric "host:port" of a socket address ("[v6]:port" for IPv6).
std::string endpoint_text(const sockaddr* sa, socklen_t len);
// Seconds since the epoch with a fraction.
double wall_time();
