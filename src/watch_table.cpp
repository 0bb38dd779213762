#include "watch_table.h"

WatchEntry WatchTable::get(const std::string& name) {
  std::lock_guard<std::mutex> g(lock_);
  return entries_[name];
}

void WatchTable::put(const std::string& name, const WatchEntry& entry) {
  std::lock_guard<std::mutex> g(lock_);
  entries_[name] = entry;
}

bool WatchTable::contains(const std::string& name) const {
  std::lock_guard<std::mutex> g(lock_);
  return entries_.count(name) != 0;
}

bool WatchTable::add(const std::string& name) {
  std::lock_guard<std::mutex> g(lock_);
  return entries_.emplace(name, WatchEntry{}).second;
}

void WatchTable::erase(const std::string& name) {
  std::lock_guard<std::mutex> g(lock_);
  entries_.erase(name);
}

void WatchTable::clear() {
  std::lock_guard<std::mutex> g(lock_);
  entries_.clear();
}

std::size_t WatchTable::size() const {
  std::lock_guard<std::mutex> g(lock_);
  return entries_.size();
}

void WatchTable::noteReply(const std::string& name, std::time_t now, int rand_value) {
  std::lock_guard<std::mutex> g(lock_);
  WatchEntry& e = entries_[name];
  if (e.missCount > 3) e.lastQueryTime = now + (rand_value % 4) - 2;
  e.missCount = 0;
}

bool WatchTable::takeQuery(const std::string& name, std::time_t now, int retryPeriod, int queryPeriod) {
  std::lock_guard<std::mutex> g(lock_);
  WatchEntry& e = entries_[name];
  if (e.lastQueryTime != 0) {
    const bool retry_due = e.missCount > 0 && now >= e.lastQueryTime + retryPeriod;
    const bool regular_due = now >= e.lastQueryTime + queryPeriod;
    if (!retry_due && !regular_due) return false;
  }
  e.lastQueryTime = now;
  e.missCount += 1;
  return true;
}
