// noxcard: simulates one UPS network card or a fleet of them for tests and demonstrations.
#include <fcntl.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "commands.h"
#include "control.h"
#include "fleet.h"
#include "probe.h"

namespace {

const char kUsage[] =
    "usage: noxcard [options]\n"
    "       noxcard --send-control PATH COMMAND...\n"
    "\n"
    "Simulates UPS network cards on UDP: every card answers each valid query with a\n"
    "notification built from its state, sent back to where the query came from, and keeps\n"
    "the queries it got. All cards run in this one process, one socket each.\n"
    "\n"
    "Cards:\n"
    "  --addr HOST          numeric address of the first card (default 127.0.0.1; IPv6 allowed)\n"
    "  --port N             port of the first card (default 2993)\n"
    "  --count N            number of cards (default 1)\n"
    "  --layout ports|addrs cards on consecutive ports of HOST (default), or on consecutive\n"
    "                       IPv4 addresses from HOST, all on port N\n"
    "  --delay SECONDS      initial UPS shutdown delay (default 300)\n"
    "  --source N           initial power source byte: 1 load segment, 2 master (default 2)\n"
    "  --silent             start without answering\n"
    "\n"
    "Agent and commands:\n"
    "  --agent HOST:PORT    send unsolicited notifications there (default: to whoever queried\n"
    "                       the card last)\n"
    "  --notify-on-change   a command that changes a card's state sends its notification at once\n"
    "  --control PATH       take commands on a Unix stream socket at PATH as well\n"
    "  --no-stdin           take no commands on standard input\n"
    "  --query-log FILE     append one line per query: time, card, address, sender, suffix, alias\n"
    "\n"
    "Client modes:\n"
    "  --send-control PATH COMMAND...   send one command to a running simulator, print its reply;\n"
    "                       exit 0 when it ends in \"ok\", 1 on an error, 2 when nobody answers\n"
    "                       (waits up to 5 s for the socket to appear)\n"
    "  --probe HOST:PORT [--count N] [--layout ports|addrs] [--alias TEXT] [--timeout MS]\n"
    "                       query N cards once as the agent would and print each answer;\n"
    "                       exit 0 when all answered within MS (default 2000), else 1\n"
    "\n"
    "Commands, one a line, on standard input or the control socket; <cards> is all, an index,\n"
    "a range a-b or HOST:PORT; events by key (AcFail BatteryLow Overload OverTp WSS SSS EMPTp\n"
    "EMPHum EMPCt1 EMPCt2 Capacity RemainTime LS1 LS2) or code 0-13:\n"
    "  event <cards> <event> on|off      warn <cards> <event> <0-255>\n"
    "  delay <cards> <0-65535>           source <cards> <0-255>\n"
    "  silent <cards>                    resume <cards>\n"
    "  notify <cards>                    dump\n"
    "  queries <cards>                   help\n"
    "  quit\n"
    "Every reply ends with a line \"ok\" or \"error: ...\".\n"
    "\n"
    "Example, a power failure step by step:\n"
    "  noxcard --count 2 --control /tmp/cards.sock --no-stdin &\n"
    "  noxcard --send-control /tmp/cards.sock event all AcFail on\n"
    "  noxcard --send-control /tmp/cards.sock event all BatteryLow on\n"
    "  noxcard --send-control /tmp/cards.sock event all AcFail off\n";

enum Kind : uint32_t { kCard = 1, kStdin, kSignal, kListen, kConn };

uint64_t tag(Kind k, uint32_t id) { return (static_cast<uint64_t>(k) << 32) | id; }

struct Options {
  FleetOptions fleet;
  std::string control;
  bool use_stdin = true;
  bool notify_on_change = false;
};

bool parse_int(const char* s, long lo, long hi, long& out) {
  char* end = nullptr;
  errno = 0;
  out = std::strtol(s, &end, 10);
  return *s && !*end && errno == 0 && out >= lo && out <= hi;
}

// 0: run; 1: done (help); 2: bad usage.
int parse_args(int argc, char** argv, Options& o) {
  o.fleet.initial.delay = 300;
  o.fleet.initial.source = 2;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char*& v) {
      if (i + 1 >= argc) return false;
      v = argv[++i];
      return true;
    };
    const char* v = nullptr;
    long n = 0;
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 1;
    } else if (a == "--addr" && value(v)) {
      o.fleet.addr = v;
    } else if (a == "--port" && value(v) && parse_int(v, 1, 65535, n)) {
      o.fleet.port = static_cast<int>(n);
    } else if (a == "--count" && value(v) && parse_int(v, 1, 60000, n)) {
      o.fleet.count = static_cast<int>(n);
    } else if (a == "--layout" && value(v) && (std::strcmp(v, "ports") == 0 || std::strcmp(v, "addrs") == 0)) {
      o.fleet.spread_addresses = std::strcmp(v, "addrs") == 0;
    } else if (a == "--delay" && value(v) && parse_int(v, 0, 65535, n)) {
      o.fleet.initial.delay = static_cast<uint16_t>(n);
    } else if (a == "--source" && value(v) && parse_int(v, 0, 255, n)) {
      o.fleet.initial.source = static_cast<uint8_t>(n);
    } else if (a == "--silent") {
      o.fleet.silent = true;
    } else if (a == "--agent" && value(v)) {
      o.fleet.agent = v;
    } else if (a == "--notify-on-change") {
      o.notify_on_change = true;
    } else if (a == "--control" && value(v)) {
      o.control = v;
    } else if (a == "--no-stdin") {
      o.use_stdin = false;
    } else if (a == "--query-log" && value(v)) {
      o.fleet.query_log = v;
    } else {
      std::fprintf(stderr, "noxcard: bad option or value: %s (see --help)\n", a.c_str());
      return 2;
    }
  }
  return 0;
}

// A fleet of a thousand cards needs a thousand descriptors.
void raise_fd_limit(int cards) {
  rlimit rl{};
  if (getrlimit(RLIMIT_NOFILE, &rl) != 0) return;
  const rlim_t want = static_cast<rlim_t>(cards) + 64;
  if (rl.rlim_cur >= want) return;
  rl.rlim_cur = rl.rlim_max == RLIM_INFINITY || rl.rlim_max >= want ? want : rl.rlim_max;
  setrlimit(RLIMIT_NOFILE, &rl);
}

void write_all(int fd, const std::string& s) {
  std::size_t off = 0;
  while (off < s.size()) {
    const ssize_t n = ::write(fd, s.data() + off, s.size() - off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    off += static_cast<std::size_t>(n);
  }
}

class Simulator {
 public:
  Simulator(Fleet& fleet, const Options& o) : fleet_(fleet), opts_(o) {}

  int run() {
    ep_ = epoll_create1(EPOLL_CLOEXEC);
    if (ep_ < 0) return fail("epoll_create1");
    for (std::size_t i = 0; i < fleet_.size(); ++i)
      if (!add(fleet_.card(i).fd, EPOLLIN, tag(kCard, static_cast<uint32_t>(i)))) return fail("epoll_ctl");

    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    sig_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (sig_ < 0 || !add(sig_, EPOLLIN, tag(kSignal, 0))) return fail("signalfd");
    signal(SIGPIPE, SIG_IGN);

    if (opts_.use_stdin && !add(STDIN_FILENO, EPOLLIN, tag(kStdin, 0))) {
      // A file or /dev/null cannot be watched: take its commands now.
      std::string all;
      char buf[4096];
      for (ssize_t n; (n = ::read(STDIN_FILENO, buf, sizeof buf)) > 0;) all.append(buf, static_cast<std::size_t>(n));
      stdin_buf_ = all.empty() || all.back() == '\n' ? all : all + "\n";
      if (!take_lines(stdin_buf_, STDOUT_FILENO)) return 0;
    }
    // The control socket appears only once every card is bound: its presence means ready.
    if (!opts_.control.empty()) {
      std::string err;
      listen_ = control_listen(opts_.control, err);
      if (listen_ < 0 || !add(listen_, EPOLLIN, tag(kListen, 0))) {
        std::fprintf(stderr, "noxcard: %s\n", err.c_str());
        return 1;
      }
    }
    std::fprintf(stderr, "noxcard: %zu card(s) from %s to %s\n", fleet_.size(), fleet_.card(0).label.c_str(),
                 fleet_.card(fleet_.size() - 1).label.c_str());

    epoll_event evs[256];
    while (!quit_) {
      const int n = epoll_wait(ep_, evs, 256, -1);
      if (n < 0) {
        if (errno == EINTR) continue;
        return fail("epoll_wait");
      }
      for (int k = 0; k < n && !quit_; ++k) dispatch(evs[k]);
    }
    finish();
    return 0;
  }

 private:
  int fail(const char* what) {
    std::fprintf(stderr, "noxcard: %s: %s\n", what, std::strerror(errno));
    return 1;
  }

  bool add(int fd, uint32_t events, uint64_t t) {
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = t;
    return epoll_ctl(ep_, EPOLL_CTL_ADD, fd, &ev) == 0;
  }

  // Runs every whole line of buf; false once a command asked to quit.
  bool take_lines(std::string& buf, int reply_fd, std::string* reply = nullptr) {
    for (std::size_t nl; (nl = buf.find('\n')) != std::string::npos;) {
      const std::string line = buf.substr(0, nl);
      buf.erase(0, nl + 1);
      CommandResult r = run_command(fleet_, line, opts_.notify_on_change);
      if (reply)
        *reply += r.text;
      else
        write_all(reply_fd, r.text);
      if (r.quit) {
        quit_ = true;
        return false;
      }
    }
    return true;
  }

  void dispatch(const epoll_event& ev) {
    const auto kind = static_cast<Kind>(ev.data.u64 >> 32);
    const auto id = static_cast<uint32_t>(ev.data.u64);
    switch (kind) {
      case kCard:
        fleet_.serve(fleet_.card(id));
        break;
      case kSignal:
        quit_ = true;
        break;
      case kStdin:
        read_stdin();
        break;
      case kListen:
        accept_all();
        break;
      case kConn:
        on_conn(static_cast<int>(id), ev.events);
        break;
    }
  }

  void read_stdin() {
    char buf[4096];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
      // End of input: the last line may lack its line feed. The cards keep running.
      epoll_ctl(ep_, EPOLL_CTL_DEL, STDIN_FILENO, nullptr);
      if (!stdin_buf_.empty() && stdin_buf_.back() != '\n') stdin_buf_ += "\n";
      take_lines(stdin_buf_, STDOUT_FILENO);
      return;
    }
    stdin_buf_.append(buf, static_cast<std::size_t>(n));
    take_lines(stdin_buf_, STDOUT_FILENO);
  }

  void accept_all() {
    for (;;) {
      const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      if (!add(fd, EPOLLIN, tag(kConn, static_cast<uint32_t>(fd)))) {
        ::close(fd);
        continue;
      }
      conns_[fd].fd = fd;
    }
  }

  void close_conn(int fd) {
    epoll_ctl(ep_, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    conns_.erase(fd);
  }

  // Writes what it can; true when the connection is still open.
  bool flush(ControlConn& c) {
    while (!c.out.empty()) {
      const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) break;
      if (n <= 0) {
        close_conn(c.fd);
        return false;
      }
      c.out.erase(0, static_cast<std::size_t>(n));
    }
    if (c.out.empty() && c.peer_done) {
      close_conn(c.fd);
      return false;
    }
    epoll_event ev{};
    ev.events = c.out.empty() ? EPOLLIN : (c.peer_done ? EPOLLOUT : EPOLLIN | EPOLLOUT);
    ev.data.u64 = tag(kConn, static_cast<uint32_t>(c.fd));
    epoll_ctl(ep_, EPOLL_CTL_MOD, c.fd, &ev);
    return true;
  }

  void on_conn(int fd, uint32_t events) {
    auto it = conns_.find(fd);
    if (it == conns_.end()) return;
    ControlConn& c = it->second;
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
      char buf[4096];
      for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        if (n <= 0) {
          c.peer_done = true;
          if (!c.in.empty() && c.in.back() != '\n') c.in += "\n";
          break;
        }
        c.in.append(buf, static_cast<std::size_t>(n));
        if (c.in.size() > 65536) {  // nobody sends lines this long
          close_conn(fd);
          return;
        }
      }
      take_lines(c.in, -1, &c.out);
    }
    flush(c);
  }

  // Gives every client its last reply before the simulator goes.
  void finish() {
    for (auto it = conns_.begin(); it != conns_.end();) {
      const int fd = it->first;
      int flags = fcntl(fd, F_GETFL);
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
      timeval tv{1, 0};
      setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
      write_all(fd, it->second.out);
      ::close(fd);
      it = conns_.erase(it);
    }
    if (listen_ >= 0) {
      ::close(listen_);
      ::unlink(opts_.control.c_str());
    }
  }

  Fleet& fleet_;
  const Options& opts_;
  int ep_ = -1;
  int sig_ = -1;
  int listen_ = -1;
  bool quit_ = false;
  std::string stdin_buf_;
  std::map<int, ControlConn> conns_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--send-control") == 0) {
    if (argc < 4) {
      std::fputs("usage: noxcard --send-control PATH COMMAND...\n", stderr);
      return 2;
    }
    std::string command;
    for (int i = 3; i < argc; ++i) command += (i > 3 ? " " : "") + std::string(argv[i]);
    return control_send(argv[2], command, 5000);
  }

  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--probe") != 0) continue;
    std::string target, alias = "noxcard-probe";
    long count = 1, timeout = 2000;
    bool spread = false;
    for (int k = 1; k < argc; ++k) {
      const std::string a = argv[k];
      const bool has = k + 1 < argc;
      if (a == "--probe" && has) target = argv[++k];
      else if (a == "--count" && has && parse_int(argv[k + 1], 1, 60000, count)) ++k;
      else if (a == "--timeout" && has && parse_int(argv[k + 1], 1, 600000, timeout)) ++k;
      else if (a == "--alias" && has) alias = argv[++k];
      else if (a == "--layout" && has) spread = std::strcmp(argv[++k], "addrs") == 0;
      else {
        std::fprintf(stderr, "noxcard: bad probe option or value: %s\n", a.c_str());
        return 2;
      }
    }
    raise_fd_limit(1);
    return probe_cards(target, static_cast<int>(count), spread, alias, static_cast<int>(timeout));
  }

  Options o;
  const int parsed = parse_args(argc, argv, o);
  if (parsed) return parsed == 1 ? 0 : 2;

  raise_fd_limit(o.fleet.count);
  Fleet fleet;
  std::string err;
  if (!fleet.open(o.fleet, err)) {
    std::fprintf(stderr, "noxcard: %s\n", err.c_str());
    return 1;
  }
  return Simulator(fleet, o).run();
}
