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
  remoteCount_ = 0;
  resolvedThisPass_ = false;
  passNumber_ = 0;
  lastResolvePass_ = -1;
  indexInPass_ = 0;
  lastResolveIndex_ = -1;
  reverseLookupPending_.clear();
}

wxArrayString Sender::runPass(Cluster& root) {
  root_ = &root;
  timeoutList_.clear();
  addressesChanged_ = false;
  networkBudgetUsed_ = false;
  sendCluster(root);
  if (addressesChanged_) host_.addressesChanged();
  root_ = nullptr;
  return timeoutList_;
}

int Sender::countRemotes(const Cluster& cluster) const {
  int n = 0;
  for (const auto& child : cluster.children) {
    if (bNeedDelete) break;
    n += child->isRemote() ? 1 : countRemotes(static_cast<const Cluster&>(*child));
  }
  return n;
}

void Sender::sendCluster(Cluster& cluster) {
  resolvedThisPass_ = false;
  remoteCount_ = countRemotes(cluster);
  // Copy: a push below must not see the list change under it (it cannot today, but the
  // walk should not depend on that).
  const std::vector<NodePtr> children = cluster.children;
  for (const auto& child : children) {
    if (bNeedDelete) break;
    if (!child->isRemote()) {
      sendCluster(static_cast<Cluster&>(*child));
      continue;
    }
    sendRemote(static_cast<Remote&>(*child));
    if (++indexInPass_ >= remoteCount_) {
      ++passNumber_;
      indexInPass_ = 0;
      if (!resolvedThisPass_) {
        remoteCount_ = 0;
        passNumber_ = 0;
        lastResolvePass_ = -1;
        lastResolveIndex_ = -1;
      }
    }
  }
}

bool Sender::resolveRemote(Remote& remote, bool numericOnly) {
  AddrInfoPtr found = resolver_.resolve(remote.name, remote.getServ(), numericOnly);
  if (!found) return false;
  if (Remote* other = root_->findByAddress(found->ai_addr, &remote, true)) {
    log_debug(wxString::Format("Resolve %s success, but it's address is duplicate with %s",
                               to_wide(remote.name), to_wide(other->name)));
    return false;
  }
  host_.storeAddress(remote, found);
  addressesChanged_ = true;
  remote.hostName.clear();
  remote.ip = resolver_.numericHost(*found);
  // The reverse lookup may wait on the network: it takes this pass's budget or waits for a
  // later pass.
  if (!networkBudgetUsed_) {
    networkBudgetUsed_ = true;
    remote.hostName = resolver_.reverseName(*found);
  } else {
    reverseLookupPending_.insert(remote.name);
  }
  log_debug(wxString::Format("Set the %s's hostname to %s and ip to %s", to_wide(remote.name),
                             to_wide(remote.hostName), to_wide(remote.ip)));
  remote.setConnStatus(NotConnected);
  if (watch_.add(remote.name)) host_.advise(host_.remoteInfoText(remote));
  // Query the card in this very pass, also when its watch entry survived a reload.
  watch_.put(remote.name, WatchEntry{});
  log_debug(wxString::Format("Start to watch %s", to_wide(remote.name)));
  return true;
}

void Sender::fillHostName(Remote& remote) {
  auto it = reverseLookupPending_.find(remote.name);
  if (it == reverseLookupPending_.end() || networkBudgetUsed_) return;
  reverseLookupPending_.erase(it);
  AddrInfoPtr ai = remote.getAddrInfo();
  if (!ai) return;
  networkBudgetUsed_ = true;
  remote.hostName = resolver_.reverseName(*ai);
}

void Sender::sendRemote(Remote& remote) {
  if (remote.getConnStatus() == NotResolved) {
    // A numeric address needs no network: it is taken on the first pass that reaches it.
    // A host name waits for its turn in the one-per-pass schedule.
    if (!resolveRemote(remote, true) && !networkBudgetUsed_ && indexInPass_ > lastResolveIndex_ &&
        passNumber_ > lastResolvePass_) {
      lastResolveIndex_ = indexInPass_;
      lastResolvePass_ = passNumber_;
      resolvedThisPass_ = true;
      networkBudgetUsed_ = true;
      resolveRemote(remote, false);
    }
  } else {
    fillHostName(remote);
  }

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
