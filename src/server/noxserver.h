// The agent's UDP endpoint towards the UPS cards: one IPv6 and one IPv4 socket bound to a port
// of the agent's range, a reception cycle for the receiver thread and a send operation for the
// sender thread.
//
// The sockets are set up by bindPort before the threads start and closed only by the
// destructor after they have ended, so receiving and sending share them without a lock.
#pragma once

#include <netdb.h>
#include <sys/socket.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "server/receive_rules.h"

class NOXServer {
 public:
  static constexpr int kFirstPort = 3034;
  static constexpr int kLastPort = 3083;
  static constexpr int kPortCount = kLastPort - kFirstPort + 1;
  static constexpr int kIpv4Tries = 10;       // candidate and the nine ports after it
  static constexpr int kSelectTimeoutMs = 500;
  static constexpr int kRecvTimeoutSec = 3;
  // Datagrams read from one socket in one cycle at most, so a flood cannot hold the loop.
  static constexpr std::size_t kDrainLimit = 1024;
  // Room in each socket's receive buffer for a burst of about a thousand answers.
  static constexpr int kReceiveBuffer = 2 * 1024 * 1024;

  explicit NOXServer(ReceiveSink* sink = nullptr);
  virtual ~NOXServer();
  NOXServer(const NOXServer&) = delete;
  NOXServer& operator=(const NOXServer&) = delete;

  // The socket for IPv4 destinations.
  virtual int getSocket() const;

  // Binds both sockets to the first free port of the range, starting at port (a port outside
  // the range starts at 3034). Returns the bound port, or -1 when none of the range could be
  // bound; port is set to the bound port, or 0.
  int bindPort(int& port);

  // One reception cycle: waits up to half a second for the sockets, then reads what is
  // waiting on each readable one (at most the drain limit each). Returns the number of
  // datagrams read; 0 when reception is off, nothing is bound or nothing arrived.
  int receiveOnce();

  // Sends one datagram to the first address of ai. Returns the bytes sent, or -1.
  int sendTo(const addrinfo* ai, const unsigned char* bytes, std::size_t len);

  void setEnabled(bool on) { enabled_.store(on); }
  bool isEnabled() const { return enabled_.load(); }
  // Must be set before the receiver thread starts.
  void setSink(ReceiveSink* sink) { sink_ = sink; }

  int port() const { return port_; }
  int ipv6Socket() const { return sockets_[0]; }
  int ipv4Socket() const { return sockets_[1]; }
  // True when the IPv6 socket also takes IPv4 traffic (no IPv4 socket could be bound).
  bool ipv6TakesIpv4() const { return v6_dual_; }

  // For measurements only: 1 reads a single datagram per socket per cycle.
  void setDrainLimit(std::size_t n) { drain_limit_ = n ? n : 1; }

  // "socket error, errno: " with errno in decimal, a blank and the system's text for it.
  static std::string socketErrorText();

 protected:
  // Creates an unbound datagram socket of the family; -1 on failure. A seam for tests that
  // need one family to be missing.
  virtual int makeSocket(int family);

  std::vector<int> sockets_;  // [0] IPv6, [1] IPv4; -1 = none

 private:
  void closeSockets();
  bool bindIpv6(const addrinfo* ai, bool v6only);
  void bindIpv4(const addrinfo* ai, int candidate);
  void tuneReceiving(int s);
  int drain(int s);

  ReceiveSink* sink_;
  int port_ = 0;
  bool v6_dual_ = false;
  std::atomic<bool> enabled_{true};  // reception switch
  std::size_t drain_limit_ = kDrainLimit;
};

class NOXServerUnix : public NOXServer {
 public:
  explicit NOXServerUnix(ReceiveSink* sink = nullptr) : NOXServer(sink) {}
  ~NOXServerUnix() override = default;
  // The IPv4 socket, or the IPv6 one when there is no IPv4 socket.
  int getSocket() const override;
};
