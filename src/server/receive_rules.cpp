#include "server/receive_rules.h"

#include <netdb.h>

#include <cstring>

#include "helper/clock.h"
#include "logger/log_ops.h"
#include "server/datagram.h"

using namespace datagram;

namespace {

void log_unknown(const sockaddr* from, socklen_t fromlen) {
  if (!debug_mode.load(std::memory_order_relaxed)) return;  // a flood must not pay for the texts
  // Room for any numeric IPv6 text with an interface scope: a short buffer would fail the
  // conversion and leave the line without its host.
  char host[NI_MAXHOST] = "";
  char serv[NI_MAXSERV] = "";
  if (!from || getnameinfo(from, fromlen, host, sizeof host, serv, sizeof serv, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    host[0] = '\0';
    serv[0] = '\0';
  }
  log_debug(wxString::Format("Receive data from unknown host: %s:%s", host, serv));
}

}  // namespace

Intake take_datagram(ReceiveSink& sink, const sockaddr* from, socklen_t fromlen, const unsigned char* buf,
                     std::size_t n) {
  if (n == 0 || !buf) return Intake::Empty;
  if (n > kMaxRead) n = kMaxRead;

  RemotePtr remote = sink.lookupSender(from);
  if (!remote) {
    log_unknown(from, fromlen);
    return Intake::UnknownSender;
  }
  // Any datagram from the card's address shows the card is alive, well-formed or not.
  remote->lastRecvTime = clock_now();
  if (!has_marks(buf, n)) return Intake::Malformed;

  RemotePayload p;
  p.remote = remote;
  p.len = static_cast<uint32_t>(n - kMarkSize);
  std::memcpy(p.data, buf + kMarkSize, p.len);
  sink.deliver(std::move(p));
  if (debug_mode.load(std::memory_order_relaxed))
    log_debug(wxString::Format("Receive remote %s package", to_wide(remote->name)));
  return Intake::Queued;
}
