// One pass of the sender over the device tree: resolve the cards, query each at its
// cadence, count the queries that went unanswered and mark silent cards.
//
// Kept apart from the thread so a pass can be driven step by step with a fake clock.
#pragma once

#include <wx/arrstr.h>
#include <wx/string.h>

#include <deque>
#include <set>
#include <string>

#include "model/tree.h"
#include "watch_table.h"

// Name resolution. Numeric address texts never touch the network; everything else may.
class Resolver {
 public:
  virtual ~Resolver() = default;
  // Forward lookup of host and service for datagram sockets; null on failure.
  // numericOnly: succeed only when host is a numeric address text (no network involved).
  virtual AddrInfoPtr resolve(const std::string& host, const std::string& serv, bool numericOnly);
  // Numeric text of the address; empty on failure.
  virtual std::string numericHost(const addrinfo& ai);
  // Name of the address by reverse lookup (a name is required); empty on failure.
  virtual std::string reverseName(const addrinfo& ai);
};

// What a pass needs from the rest of the agent.
class SenderHost {
 public:
  virtual ~SenderHost() = default;
  virtual std::string alias() = 0;
  virtual int sendTo(const addrinfo* ai, const unsigned char* bytes, std::size_t len) = 0;
  virtual void advise(const wxString& text) = 0;
  virtual wxString remoteInfoText(const Remote& remote) = 0;
  // Replaces a remote's resolved address under the address lock.
  virtual void storeAddress(Remote& remote, AddrInfoPtr address) = 0;
  // At least one remote got a new address during the pass (the receiver's view is stale).
  virtual void addressesChanged() = 0;
};

class Sender {
 public:
  static constexpr int kQueryPeriod = 14;     // seconds between queries of an answering card
  static constexpr int kRetryPeriod = 5;      // seconds between queries of a silent card
  static constexpr int kMissesToSilent = 3;   // more than this: NotConnected
  static constexpr int kMissesToResolve = 59; // more than this: resolve again

  Sender(SenderHost& host, WatchTable& watch, Resolver& resolver)
      : host_(host), watch_(watch), resolver_(resolver) {}

  // One pass over root. The caller holds tree_mutex. Returns the names found silent.
  wxArrayString runPass(Cluster& root);

  // Forget the resolution schedule (the tree was replaced).
  void resetSchedule();

 private:
  // Runs step on every remote below cluster in tree order, stopping when bNeedDelete is set.
  void walk(Cluster& cluster, void (Sender::*step)(Remote&));
  // The resolution step of one remote; positions in the walk count here.
  void resolveRemote(Remote& remote);
  // The miss check and, when one is due, the query of one remote.
  void sendRemote(Remote& remote);
  // Takes a resolution result as the remote's address unless a connected remote already
  // has it; true when taken.
  bool adoptAddress(Remote& remote, AddrInfoPtr found);
  void queueReverseLookup(const std::string& name);
  void fillOneHostName(Cluster& root);
  void endPass();
  // Hands the addresses taken so far to the receiver, once per change.
  void publishAddresses();

  SenderHost& host_;
  WatchTable& watch_;
  Resolver& resolver_;
  Cluster* root_ = nullptr;
  wxArrayString timeoutList_;
  bool addressesChanged_ = false;
  // One operation that may wait on the network per pass: a host-name resolution or a
  // reverse lookup. A reverse lookup that finds the budget spent waits for the end of a
  // later pass that left it unused: it only fills in a display name and must never hold
  // back a resolution (a card without an address is not watched at all).
  bool networkBudgetUsed_ = false;
  std::deque<std::string> reverseLookupPending_;  // oldest first
  std::set<std::string> reverseLookupQueued_;     // the names in reverseLookupPending_

  // Schedule of host-name resolutions, positions counted over the walk of the whole tree
  // (sub-clusters included): at most one name is tried per pass, each at a later position
  // than the one tried before it; a pass that tries none starts the schedule over.
  bool resolvedThisPass_ = false;
  int passNumber_ = 0;
  int lastResolvePass_ = -1;
  int indexInPass_ = 0;
  int lastResolveIndex_ = -1;
};
