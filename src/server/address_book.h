// The receiver thread's view of which remote owns which address.
//
// The receiver must never walk the device tree while another thread changes it. Whoever
// changes the tree or a remote's resolved address (holding tree_mutex) publishes a fresh
// snapshot here; the receiver only ever reads the published snapshot.
#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <memory>
#include <mutex>

#include "model/tree.h"

class AddressBook {
 public:
  AddressBook();
  ~AddressBook();
  AddressBook(const AddressBook&) = delete;
  AddressBook& operator=(const AddressBook&) = delete;

  // Collects every remote below root that has a resolved address, in depth-first
  // pre-order, and publishes them. The caller holds tree_mutex.
  void rebuild(const Cluster& root);
  // Publishes an empty book (the tree is going away).
  void clear();

  // The first remote, in the order of the last rebuild, whose address equals addr
  // (family, port and address, IPv4-mapped IPv6 counting as IPv4); null when none.
  RemotePtr lookup(const sockaddr* addr) const;
  std::size_t size() const;

 private:
  struct Snapshot;
  std::shared_ptr<const Snapshot> current() const;

  mutable std::mutex lock_;  // guards current_
  std::shared_ptr<const Snapshot> current_;
};
