// How many card notifications per second the receiver takes into the datagram queue over
// loopback, for bursts of 1,000 and 100,000, next to the one-datagram-per-socket-per-cycle
// reading with its half-second pause. Binds the agent's port range: run it inside the sandbox.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <wx/init.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "server/address_book.h"
#include "server/comm_thread.h"
#include "server/datagram.h"
#include "server/noxserver.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

class CountingSink : public ReceiveSink {
 public:
  RemotePtr lookupSender(const sockaddr* from) override { return book.lookup(from); }
  void deliver(RemotePayload&& p) override {
    queue.push(std::move(p), [this](const RemotePayload&) { queued.fetch_add(1, std::memory_order_relaxed); });
  }
  AddressBook book;
  DatagramQueue queue;
  std::atomic<long> queued{0};
};

struct Card {
  int fd = -1;
  sockaddr_in addr{};
};

struct Rig {
  static constexpr int kCards = 1000;

  Rig() : root("", nullptr) {}

  bool open() {
    for (int i = 0; i < kCards; ++i) {
      Card c;
      c.fd = ::socket(AF_INET, SOCK_DGRAM, 0);
      c.addr.sin_family = AF_INET;
      c.addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (c.fd < 0 || ::bind(c.fd, reinterpret_cast<sockaddr*>(&c.addr), sizeof c.addr) != 0) return false;
      socklen_t len = sizeof c.addr;
      getsockname(c.fd, reinterpret_cast<sockaddr*>(&c.addr), &len);
      const std::string port = std::to_string(ntohs(c.addr.sin_port));
      RemotePtr r = root.addRemote("card" + std::to_string(i), port, "", "Master");
      addrinfo hints{};
      hints.ai_family = AF_INET;
      hints.ai_socktype = SOCK_DGRAM;
      hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
      addrinfo* res = nullptr;
      if (getaddrinfo("127.0.0.1", port.c_str(), &hints, &res) != 0) return false;
      r->setAddrInfo(adopt_addrinfo(res));
      cards.push_back(c);
    }
    sink.book.rebuild(root);
    server = std::make_unique<NOXServerUnix>(&sink);
    int port = 3034;
    if (server->bindPort(port) < 0) return false;
    agent.sin_family = AF_INET;
    agent.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    agent.sin_port = htons(static_cast<uint16_t>(port));
    CardState s;
    s.delay = 300;
    s.source = 2;
    build_notification(s, notification, notification_len);
    return true;
  }

  // Sends n notifications, cycling over the cards; returns how many the system accepted.
  long send(long n) {
    long ok = 0;
    for (long i = 0; i < n; ++i) {
      const Card& c = cards[static_cast<std::size_t>(i % kCards)];
      if (::sendto(c.fd, notification, notification_len, 0, reinterpret_cast<const sockaddr*>(&agent),
                   sizeof agent) == static_cast<ssize_t>(notification_len))
        ++ok;
    }
    return ok;
  }

  void reset() {
    sink.queue.clear();
    sink.queued = 0;
  }

  int rcvbuf() const {
    int v = 0;
    socklen_t len = sizeof v;
    getsockopt(server->ipv4Socket(), SOL_SOCKET, SO_RCVBUF, &v, &len);
    return v;
  }

  Non_Cluster root;
  std::vector<Card> cards;
  CountingSink sink;
  std::unique_ptr<NOXServerUnix> server;
  sockaddr_in agent{};
  unsigned char notification[datagram::kNotificationSize];
  std::size_t notification_len = 0;
};

// Drains with reception in the calling thread only: the receiver's own cost on one core.
// The burst goes in slices that fit the socket buffer, sent while nobody reads.
void prefilled(Rig& rig, long burst, long slice) {
  rig.reset();
  double busy = 0;
  long sent = 0;
  for (long done = 0; done < burst; done += slice) {
    const long n = std::min(slice, burst - done);
    sent += rig.send(n);
    const long target = rig.sink.queued + n;
    const auto t0 = Clock::now();
    while (rig.sink.queued < target && rig.server->receiveOnce() > 0) {
    }
    busy += seconds_since(t0);
  }
  const long got = rig.sink.queued;
  std::printf("%-8ld %-28s %8ld %8ld %7ld %9.4f %12.0f\n", burst, "one core, buffer prefilled", sent, got,
              burst - got, busy, got / busy);
}

// The receiver thread runs while the main thread sends as fast as it can.
void streaming(Rig& rig, long burst) {
  rig.reset();
  auto* thread = new CommThread(rig.server.get());
  thread->Run();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto t0 = Clock::now();
  const long sent = rig.send(burst);
  long last = -1;
  auto last_change = Clock::now();
  double done_at = 0;
  while (rig.sink.queued < burst) {
    const long now = rig.sink.queued;
    if (now != last) {
      last = now;
      last_change = Clock::now();
      done_at = seconds_since(t0);
    } else if (seconds_since(last_change) > 1.5) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  if (rig.sink.queued >= burst) done_at = seconds_since(t0);
  thread->stop();
  delete thread;
  const long got = rig.sink.queued;
  std::printf("%-8ld %-28s %8ld %8ld %7ld %9.4f %12.0f\n", burst, "receiver thread, streaming", sent, got,
              burst - got, done_at, got / done_at);
}

// How many notifications wait in the socket when nobody reads: what a burst keeps at most.
long buffer_capacity(Rig& rig) {
  rig.reset();
  rig.send(20000);
  while (rig.server->receiveOnce() > 0) {
  }
  return rig.sink.queued;
}

// One datagram per socket per cycle and a 500 ms pause after every cycle.
void literal(Rig& rig, long capacity) {
  rig.reset();
  rig.send(1000);
  rig.server->setDrainLimit(1);
  const auto t0 = Clock::now();
  while (seconds_since(t0) < 3.0) {
    rig.server->receiveOnce();
    std::this_thread::sleep_for(std::chrono::milliseconds(CommThread::kIdlePauseMs));
  }
  const double secs = seconds_since(t0);
  rig.server->setDrainLimit(NOXServer::kDrainLimit);
  const double rate = rig.sink.queued / secs;
  std::printf("%-8s %-28s %8s %8ld %7s %9.4f %12.1f\n", "1000", "literal rule, 3 s sample", "1000",
              static_cast<long>(rig.sink.queued), "-", secs, rate);
  for (long burst : {1000L, 100000L}) {
    const long kept = std::min(burst, capacity);
    std::printf("  literal rule, burst %ld: about %.0f s to take the %ld that fit the buffer, %ld lost\n", burst,
                kept / rate, kept, burst - kept);
  }
  // Empty the socket for whoever runs next.
  while (rig.server->receiveOnce() > 0) {
  }
}

}  // namespace

int main() {
  wxInitializer wx;
  if (!wx.IsOk()) return 1;
  Rig rig;
  if (!rig.open()) {
    std::perror("bench_receiver: setting up loopback sockets (run it inside tests/sandbox)");
    return 1;
  }
  std::printf("receiver intake over loopback: %d cards, %zu-byte notifications, agent port %d\n", Rig::kCards,
              rig.notification_len, rig.server->port());
  const long capacity = buffer_capacity(rig);
  std::printf("IPv4 socket receive buffer: %d bytes, holds %ld notifications\n\n", rig.rcvbuf(), capacity);
  std::printf("%-8s %-28s %8s %8s %7s %9s %12s\n", "burst", "mode", "sent", "queued", "lost", "seconds",
              "per second");
  const long slice = std::min(1000L, capacity);
  {
    // Warm-up, not printed: first-touch page faults of the queue would count against the
    // first row otherwise.
    rig.reset();
    rig.send(slice);
    while (rig.server->receiveOnce() > 0) {
    }
  }
  prefilled(rig, 1000, slice);
  prefilled(rig, 100000, slice);
  streaming(rig, 1000);
  streaming(rig, 100000);
  literal(rig, capacity);
  return 0;
}
