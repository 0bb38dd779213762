// One received notification on its way from the receiver thread to the main thread, and the
// queue that carries it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "model/tree.h"

struct RemotePayload {
  static constexpr std::size_t kDataSize = 200;

  // Shared so that a queued datagram keeps its remote alive even after the remote left the
  // tree; the main thread then finds it missing by name and drops the payload.
  RemotePtr remote;
  // The datagram without its two mark bytes, zero-filled after the end.
  unsigned char data[kDataSize] = {};
  // Bytes of the datagram after its first two.
  uint32_t len = 0;
};

// Filled by the receiver thread, emptied once a second by the main thread.
class DatagramQueue {
 public:
  // Appends the payload and, still under the queue's lock, runs under_lock on it (the
  // reply bookkeeping of the sender must see the answer in the same step as the queue).
  void push(RemotePayload&& payload, const std::function<void(const RemotePayload&)>& under_lock = {});
  // Everything queued so far, in arrival order; the queue is left empty.
  std::vector<RemotePayload> take_all();
  void clear();
  std::size_t size() const;

 private:
  mutable std::mutex lock_;  // guards items_
  std::vector<RemotePayload> items_;
};
