#include "sender.h"

#include <netdb.h>
#include <sys/socket.h>

#include "helper/clock.h"
#include "logger/log_memo.h"
#include "logger/log_ops.h"
#include "server/datagram.h"

AddrInfoPtr Resolver::resolve(const std::string& host, const std::string& serv, bool numericOnly) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  if (numericOnly) hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* res = nullptr;
  if (getaddrinfo(host.c_str(), serv.c_str(), &hints, &res) != 0 || !res) {
    if (!numericOnly) log_debug("getaddrinfo error in resolve host");
    return nullptr;
  }
  return adopt_addrinfo(res);
}

std::string Resolver::numericHost(const addrinfo& ai) {
  char buf[256] = {};
  if (getnameinfo(ai.ai_addr, ai.ai_addrlen, buf, sizeof buf, nullptr, 0, NI_NUMERICHOST) != 0) return "";
  return buf;
}

std::string Resolver::reverseName(const addrinfo& ai) {
  char buf[256] = {};
  if (getnameinfo(ai.ai_addr, ai.ai_addrlen, buf, sizeof buf, nullptr, 0, NI_NAMEREQD) != 0) return "";
  return buf;
}

void Sender::resetSchedule() {
  resolvedThisPass_ = false;
  passNumber_ = 0;
  lastResolvePass_ = -1;
  indexInPass_ = 0;
  lastResolveIndex_ = -1;
  reverseLookupPending_.clear();
  reverseLookupQueued_.clear();
}

wxArrayString Sender::runPass(Cluster& root) {
  root_ = &root;
  timeoutList_.clear();
  addressesChanged_ = false;
  networkBudgetUsed_ = false;
  resolvedThisPass_ = false;
  indexInPass_ = 0;
  try {
    walk(root, &Sender::resolveRemote);
    // Cards answer a query at once: the receiver must know a new address before the first
    // query to it goes out, or that answer is dropped as coming from a stranger. Resolving
    // first lets one publication serve the whole pass.
    publishAddresses();
    walk(root, &Sender::sendRemote);
    if (!bNeedDelete && !networkBudgetUsed_) fillOneHostName(root);
  } catch (...) {
    // Addresses stored before the failure are in the tree: the receiver must see them too.
    endPass();
    throw;
  }
  endPass();
  return timeoutList_;
}

void Sender::endPass() {
  // A pass is one walk of the whole tree, sub-clusters included, so that every position
  // gets its turn in the schedule whatever the shape of the tree.
  ++passNumber_;
  indexInPass_ = 0;
  if (!resolvedThisPass_) {
    passNumber_ = 0;
    lastResolvePass_ = -1;
    lastResolveIndex_ = -1;
  }
  root_ = nullptr;
  publishAddresses();
}

void Sender::publishAddresses() {
  if (!addressesChanged_) return;
  addressesChanged_ = false;
  host_.addressesChanged();
}

void Sender::walk(Cluster& cluster, void (Sender::*step)(Remote&)) {
  // Copy: a push below must not see the list change under it (it cannot today, but the
  // walk should not depend on that).
  const std::vector<NodePtr> children = cluster.children;
  for (const auto& child : children) {
    if (bNeedDelete) break;
    if (child->isRemote())
      (this->*step)(static_cast<Remote&>(*child));
    else
      walk(static_cast<Cluster&>(*child), step);
  }
}

bool Sender::adoptAddress(Remote& remote, AddrInfoPtr found) {
  if (Remote* other = root_->findByAddress(found->ai_addr, &remote, true)) {
    log_debug(wxString::Format("Resolve %s success, but it's address is duplicate with %s",
                               to_wide(remote.name), to_wide(other->name)));
    return false;
  }
  host_.storeAddress(remote, found);
  addressesChanged_ = true;
  remote.hostName.clear();
  remote.ip = resolver_.numericHost(*found);
  if (!networkBudgetUsed_) {
    networkBudgetUsed_ = true;
    remote.hostName = resolver_.reverseName(*found);
  } else {
    queueReverseLookup(remote.name);
  }
  log_debug(wxString::Format("Set the %s's hostname to %s and ip to %s", to_wide(remote.name),
                             to_wide(remote.hostName), to_wide(remote.ip)));
  remote.setConnStatus(NotConnected);
  if (watch_.add(remote.name)) host_.advise(host_.remoteInfoText(remote));
  // Query the card in this very pass, also when its watch entry survived a reload: the
  // entry's times and misses belong to the address the card had before.
  watch_.put(remote.name, WatchEntry{});
  log_debug(wxString::Format("Start to watch %s", to_wide(remote.name)));
  return true;
}

void Sender::queueReverseLookup(const std::string& name) {
  if (reverseLookupQueued_.insert(name).second) reverseLookupPending_.push_back(name);
}

void Sender::fillOneHostName(Cluster& root) {
  while (!reverseLookupPending_.empty()) {
    const std::string name = reverseLookupPending_.front();
    reverseLookupPending_.pop_front();
    reverseLookupQueued_.erase(name);
    // The remote may have left the tree, or been looked up again since it was queued.
    Remote* remote = root.findRemote(name);
    if (!remote || !remote->hostName.empty()) continue;
    AddrInfoPtr ai = remote->getAddrInfo();
    if (!ai) continue;
    networkBudgetUsed_ = true;
    remote->hostName = resolver_.reverseName(*ai);
    log_debug(wxString::Format("Set the %s's hostname to %s and ip to %s", to_wide(remote->name),
                               to_wide(remote->hostName), to_wide(remote->ip)));
    return;
  }
}

void Sender::resolveRemote(Remote& remote) {
  if (remote.getConnStatus() == NotResolved) {
    if (AddrInfoPtr numeric = resolver_.resolve(remote.name, remote.getServ(), true)) {
      // A numeric address needs no network: it is taken on the first pass that reaches it.
      adoptAddress(remote, numeric);
    } else if (!networkBudgetUsed_ && indexInPass_ > lastResolveIndex_ && passNumber_ > lastResolvePass_) {
      // A host name waits for its turn in the one-per-pass schedule.
      lastResolveIndex_ = indexInPass_;
      lastResolvePass_ = passNumber_;
      resolvedThisPass_ = true;
      networkBudgetUsed_ = true;
      if (AddrInfoPtr found = resolver_.resolve(remote.name, remote.getServ(), false)) adoptAddress(remote, found);
    }
  }
  ++indexInPass_;
}

void Sender::sendRemote(Remote& remote) {
  // A card without an address cannot be queried, and a query never sent is not a miss.
  AddrInfoPtr address = remote.getAddrInfo();
  if (!address) return;

  WatchEntry entry = watch_.get(remote.name);
  if (entry.missCount > kMissesToSilent) {
    if (entry.missCount <= kMissesToResolve && remote.secondsWithoutReply() > 0) {
      remote.setConnStatus(NotConnected);
      LogMemo::instance().note_no_connect(remote.name);
      timeoutList_.Add(to_wide(remote.name));
    }
    if (entry.missCount > kMissesToResolve) remote.setConnStatus(NotResolved);
  }

  const std::time_t now = clock_now();
  if (!watch_.takeQuery(remote.name, now, kRetryPeriod, kQueryPeriod)) return;

  unsigned char query[datagram::kQuerySize];
  int sent = -1;
  if (buildQuery(remote, host_.alias(), query)) sent = host_.sendTo(address.get(), query, sizeof query);
  if (sent == -1) log_debug(wxString::Format("Send data to %s failed", to_wide(remote.name)));
  log_debug(wxString::Format("Send data to %s", to_wide(remote.name)));
  remote.lastSendTime = now;
}
