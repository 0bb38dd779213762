// Remembers what has been logged per remote, so a lasting condition appears once.
// No lock of its own: callers hold tree_mutex.
#pragma once

#include <set>
#include <string>
#include <utility>

class LogMemo {
 public:
  static LogMemo& instance();

  void note_warning(const std::string& name, int event);
  void note_restore(const std::string& name, int event);
  void note_unaccepted_shutting(const std::string& name, int event);
  void note_shutting(const std::string& name, int event);
  void note_no_connect(const std::string& name);
  void note_connect(const std::string& name);

  // For tests and for a fresh start.
  void clear();
  bool is_warned(const std::string& name, int event) const { return warned_.count({name, event}) != 0; }
  bool is_shutting(const std::string& name, int event) const { return shutting_.count({name, event}) != 0; }
  bool is_unreachable(const std::string& name) const { return unreachable_.count(name) != 0; }

 private:
  void forget_events_of(const std::string& name);

  std::set<std::pair<std::string, int>> warned_;
  std::set<std::pair<std::string, int>> shutting_;
  std::set<std::string> unreachable_;
};
