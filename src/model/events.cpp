#include "model/events.h"

const std::shared_ptr<EvtAcptList>& shared_accepted_events() {
  static const std::shared_ptr<EvtAcptList> set = std::make_shared<EvtAcptList>(kDefaultAcceptedEvents);
  return set;
}

const std::shared_ptr<EvtAcptList> accepted_events = shared_accepted_events();

bool EvtAcptList::set(int code, bool accepted) {
  if (code < 0 || code >= kEventCount) return false;
  const uint16_t bit = static_cast<uint16_t>(1u << code);
  if (accepted)
    bits_.fetch_or(bit, std::memory_order_relaxed);
  else
    bits_.fetch_and(static_cast<uint16_t>(~bit), std::memory_order_relaxed);
  return true;
}

bool EvtAcptList::test(int code) const {
  if (code < 0 || code >= kEventCount) return false;
  return (bits() >> code) & 1u;
}

EvtList::EvtList() : entries(kEventCount), acceptList(shared_accepted_events()) {}

int EvtList::getEventStatus(int index) const {
  if ((index == LS1 && powerby != "LS1") || (index == LS2 && powerby != "LS2")) return Normal;
  const int s = entries[index].status;
  if (s != Shutting) return s;
  return acceptList->test(index) ? Shutting : Warning;
}

int EvtList::getShutStatus() const {
  int result = Unknown;
  for (int i = 0; i < kEventCount; ++i) {
    const int s = getEventStatus(i);
    if (s > result) result = s;
    if (result == Shutting) break;
  }
  return result;
}

void EvtList::resetEvents() {
  for (auto& e : entries) e.setStatus(Unknown);
}
