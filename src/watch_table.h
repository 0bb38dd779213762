// The sender's per-remote bookkeeping: when the last query went out and how many went
// unanswered. The receiver thread (replies), the sender thread (queries) and control
// commands (removals) all change it, so it has a lock of its own.
#pragma once

#include <ctime>
#include <map>
#include <mutex>
#include <string>

struct WatchEntry {
  std::time_t lastQueryTime = 0;  // 0 = no query sent yet
  int missCount = 0;              // queries sent since the last valid datagram
};

class WatchTable {
 public:
  // The entry for name, created as (0, 0) when missing.
  WatchEntry get(const std::string& name);
  void put(const std::string& name, const WatchEntry& entry);
  bool contains(const std::string& name) const;
  // Creates the entry when missing; true when it was created.
  bool add(const std::string& name);
  void erase(const std::string& name);
  void clear();
  std::size_t size() const;

  // In one step under the lock, so a reply arriving meanwhile is never lost: when a query is
  // due at now (the first one, a retry of a silent card, or the regular one), records it
  // (lastQueryTime = now, one more miss) and returns true.
  bool takeQuery(const std::string& name, std::time_t now, int retryPeriod, int queryPeriod);

  // A valid datagram from the remote: the miss count starts over, and a card that had been
  // silent for more than three queries gets its next query 12 to 15 seconds from now.
  // rand_value is one draw of the C library's rand().
  void noteReply(const std::string& name, std::time_t now, int rand_value);

 private:
  mutable std::mutex lock_;  // guards entries_
  std::map<std::string, WatchEntry> entries_;
};
