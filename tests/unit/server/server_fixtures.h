// Shared pieces of the endpoint tests: a sink that behaves like the application's (address
// book lookup, queue append with the reply noted under the queue's lock) and loopback UDP
// helpers. Everything binds loopback addresses only.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "server/address_book.h"
#include "server/receive_rules.h"
#include "server/remote_payload.h"

class BookSink : public ReceiveSink {
 public:
  RemotePtr lookupSender(const sockaddr* from) override { return book.lookup(from); }
  void deliver(RemotePayload&& p) override {
    queue.push(std::move(p), [this](const RemotePayload& q) { ++replies[q.remote->name]; });
  }

  AddressBook book;
  DatagramQueue queue;
  std::map<std::string, int> replies;  // written under the queue's lock
};

// A UDP socket bound to a loopback address; port 0 lets the system choose.
class LoopSocket {
 public:
  explicit LoopSocket(int family = AF_INET, uint16_t port = 0, bool v6only = true) : family_(family) {
    fd_ = ::socket(family, SOCK_DGRAM, 0);
    if (fd_ < 0) return;
    if (family == AF_INET6) {
      const int flag = v6only ? 1 : 0;
      setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &flag, sizeof flag);
    }
    sockaddr_storage ss{};
    socklen_t len = fill(ss, family == AF_INET ? "127.0.0.1" : "::1", port);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&ss), len) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~LoopSocket() {
    if (fd_ >= 0) ::close(fd_);
  }
  LoopSocket(const LoopSocket&) = delete;
  LoopSocket& operator=(const LoopSocket&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  uint16_t port() const {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&ss), &len);
    return ntohs(ss.ss_family == AF_INET ? reinterpret_cast<sockaddr_in&>(ss).sin_port
                                         : reinterpret_cast<sockaddr_in6&>(ss).sin6_port);
  }
  // The numeric host text this socket is bound to, for resolving a remote to it.
  const char* host() const { return family_ == AF_INET ? "127.0.0.1" : "::1"; }

  bool sendTo(const char* host, uint16_t port, const std::vector<unsigned char>& bytes) const {
    sockaddr_storage ss{};
    socklen_t len = fill(ss, host, port);
    return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&ss), len) ==
           static_cast<ssize_t>(bytes.size());
  }
  // One datagram, waiting up to 2 s; empty when none came.
  std::vector<unsigned char> receive() const {
    timeval tv{2, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::vector<unsigned char> buf(2048);
    const ssize_t n = ::recv(fd_, buf.data(), buf.size(), 0);
    buf.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return buf;
  }

  static socklen_t fill(sockaddr_storage& ss, const char* host, uint16_t port) {
    std::memset(&ss, 0, sizeof ss);
    auto* in = reinterpret_cast<sockaddr_in*>(&ss);
    if (inet_pton(AF_INET, host, &in->sin_addr) == 1) {
      in->sin_family = AF_INET;
      in->sin_port = htons(port);
      return sizeof(sockaddr_in);
    }
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&ss);
    inet_pton(AF_INET6, host, &in6->sin6_addr);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    return sizeof(sockaddr_in6);
  }

 private:
  int family_;
  int fd_ = -1;
};

// A datagram with the two mark bytes followed by n - 2 bytes of filler.
inline std::vector<unsigned char> marked(std::size_t n, unsigned char fill = 0x11) {
  std::vector<unsigned char> d(n, fill);
  if (n > 0) d[0] = 0x55;
  if (n > 1) d[1] = 0xAA;
  return d;
}
