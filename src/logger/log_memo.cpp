#include "logger/log_memo.h"

#include "logger/log_ops.h"

#include <limits>

LogMemo& LogMemo::instance() {
  // Created on first use, destroyed at exit; callers serialise through tree_mutex.
  static LogMemo memo;
  return memo;
}

void LogMemo::note_warning(const std::string& name, int event) {
  if (warned_.insert({name, event}).second) log_event_warning(name, event);
}

void LogMemo::note_restore(const std::string& name, int event) {
  if (warned_.erase({name, event}) == 0) return;
  log_event_restore(name, event);
  shutting_.erase({name, event});
}

void LogMemo::note_unaccepted_shutting(const std::string& name, int event) {
  note_warning(name, event);
  if (shutting_.insert({name, event}).second) log_unaccept_shutting_event(name, event);
}

void LogMemo::note_shutting(const std::string& name, int event) {
  note_warning(name, event);
  if (shutting_.insert({name, event}).second) log_event_shutting(name, event);
}

void LogMemo::note_no_connect(const std::string& name) {
  if (unreachable_.insert(name).second) log_no_connect(name);
  forget_events_of(name);
}

void LogMemo::note_connect(const std::string& name) {
  log_connect(name);
  unreachable_.erase(name);
  forget_events_of(name);
}

void LogMemo::clear() {
  warned_.clear();
  shutting_.clear();
  unreachable_.clear();
}

void LogMemo::forget_events_of(const std::string& name) {
  // Pairs sort by name first, so one name's entries are one contiguous range.
  for (auto* list : {&warned_, &shutting_}) {
    auto first = list->lower_bound({name, std::numeric_limits<int>::min()});
    auto last = first;
    while (last != list->end() && last->first == name) ++last;
    list->erase(first, last);
  }
}
