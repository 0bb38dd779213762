// What the receiver does with one datagram once it has been read from a socket.
#pragma once

#include <sys/socket.h>

#include <cstddef>

#include "model/tree.h"
#include "server/remote_payload.h"

// Where the receiver hands its results. The application implements it: lookups go to the
// published address book (never to the tree itself), deliveries go to the datagram queue.
class ReceiveSink {
 public:
  virtual ~ReceiveSink() = default;
  // The remote whose resolved address and port equal the sender's, or null.
  virtual RemotePtr lookupSender(const sockaddr* from) = 0;
  // Appends the payload to the queue and notes the reply, in one step under the queue's lock.
  virtual void deliver(RemotePayload&& payload) = 0;
};

enum class Intake {
  Empty,          // a zero-length datagram: nothing to do
  UnknownSender,  // logged and dropped
  Malformed,      // from a known card, dropped after refreshing its lastRecvTime
  Queued,         // handed to the sink
};

// Applies the reception rules to a datagram of n bytes from `from`. Bytes past 200 are
// ignored, as if the datagram had been cut there.
Intake take_datagram(ReceiveSink& sink, const sockaddr* from, socklen_t fromlen, const unsigned char* buf,
                     std::size_t n);
