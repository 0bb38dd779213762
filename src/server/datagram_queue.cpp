#include "server/remote_payload.h"

#include <utility>

void DatagramQueue::push(RemotePayload&& payload, const std::function<void(const RemotePayload&)>& under_lock) {
  std::lock_guard<std::mutex> hold(lock_);
  items_.push_back(std::move(payload));
  if (under_lock) under_lock(items_.back());
}

std::vector<RemotePayload> DatagramQueue::take_all() {
  std::vector<RemotePayload> out;
  std::lock_guard<std::mutex> hold(lock_);
  out.swap(items_);
  return out;
}

void DatagramQueue::clear() {
  std::lock_guard<std::mutex> hold(lock_);
  items_.clear();
}

std::size_t DatagramQueue::size() const {
  std::lock_guard<std::mutex> hold(lock_);
  return items_.size();
}
