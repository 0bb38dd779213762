#include "server/address_book.h"

#include <netinet/in.h>

#include <cstring>
#include <unordered_map>
#include <vector>

#include "model/endpoint.h"

namespace {

using Key = EndpointKey;

struct KeyHash {
  std::size_t operator()(const Key& k) const {
    std::size_t h = 1469598103934665603ull;
    auto mix = [&h](unsigned char b) { h = (h ^ b) * 1099511628211ull; };
    mix(static_cast<unsigned char>(k.family));
    mix(static_cast<unsigned char>(k.port >> 8));
    mix(static_cast<unsigned char>(k.port));
    for (unsigned char b : k.bytes) mix(b);
    return h;
  }
};

}  // namespace

struct AddressBook::Snapshot {
  struct Entry {
    AddrInfoPtr addr;  // keeps ai_addr alive however the remote's own list changes
    RemotePtr remote;
  };
  std::vector<Entry> entries;  // depth-first pre-order
  std::unordered_map<Key, std::size_t, KeyHash> first;  // key -> index of its first entry
};

AddressBook::AddressBook() : current_(std::make_shared<Snapshot>()) {}
AddressBook::~AddressBook() = default;

void AddressBook::rebuild(const Cluster& root) {
  auto snap = std::make_shared<Snapshot>();
  // Depth-first pre-order; clusters are searched where they stand among their siblings.
  struct Frame {
    const Cluster* c;
    std::size_t next;
  };
  std::vector<Frame> frames{{&root, 0}};
  while (!frames.empty()) {
    Frame& f = frames.back();
    if (f.next >= f.c->children.size()) {
      frames.pop_back();
      continue;
    }
    const NodePtr& child = f.c->children[f.next++];
    if (!child) continue;
    if (!child->isRemote()) {
      frames.push_back({static_cast<const Cluster*>(child.get()), 0});
      continue;
    }
    RemotePtr r = std::static_pointer_cast<Remote>(child);
    AddrInfoPtr a = r->getAddrInfo();
    if (!a || !a->ai_addr) continue;
    Key k;
    if (!endpoint_key(a->ai_addr, k)) continue;  // a family that never matches
    snap->first.emplace(k, snap->entries.size());
    snap->entries.push_back({std::move(a), std::move(r)});
  }
  std::lock_guard<std::mutex> hold(lock_);
  current_ = std::move(snap);
}

void AddressBook::clear() {
  auto empty = std::make_shared<Snapshot>();
  std::lock_guard<std::mutex> hold(lock_);
  current_ = std::move(empty);
}

std::shared_ptr<const AddressBook::Snapshot> AddressBook::current() const {
  std::lock_guard<std::mutex> hold(lock_);
  return current_;
}

RemotePtr AddressBook::lookup(const sockaddr* addr) const {
  if (!addr) return nullptr;
  Key k;
  if (!endpoint_key(addr, k)) return nullptr;
  auto snap = current();
  auto it = snap->first.find(k);
  if (it == snap->first.end()) return nullptr;
  const auto& e = snap->entries[it->second];
  return sameEndpoint(e.addr->ai_addr, addr) ? e.remote : nullptr;
}

std::size_t AddressBook::size() const { return current()->entries.size(); }
