#include "server/event_parser.h"

#include "logger/log_ops.h"
#include "server/datagram.h"

using namespace datagram;

void EventParser(Remote* remote, const unsigned char* body, std::size_t len, std::vector<int>& restored,
                 std::vector<int>& changed, std::vector<int>& active) {
  if (!remote || !body || len < kBodySize) return;

  // Every code is judged by its effective status before this notification touched it, and
  // with the power-by text the remote had when the notification arrived.
  for (int i = 0; i < kEventCount; ++i) {
    const int h = remote->getEventStatus(i);
    if (body[kFlagOffset + i] == 1) {
      if (h != Shutting) {
        remote->setEventStatus(i, Shutting);
        active.push_back(i);
      }
      continue;
    }
    const int v = body[kWarnOffset + i];
    if (v == 0) {
      if (h != Normal) {
        remote->setEventStatus(i, Normal);
        if (h != Unknown) restored.push_back(i);
      }
    } else if (v != remote->getEventValue(i)) {
      remote->setEventStatus(i, Warning);
      remote->setEventValue(i, v);
      changed.push_back(i);
    }
  }

  const unsigned delay = body[kDelayOffset] * 256u + body[kDelayOffset + 1];
  remote->setUpsShutdownDelay(delay);
  const int source = body[kSourceOffset];
  remote->setPowerSource(source);
  if (source == 1 && remote->getPowerBy() == "Master") remote->setPowerBy("LS1");
  else if (source == 2 && remote->getPowerBy() != "Master") remote->setPowerBy("Master");

  log_debug(wxString::Format("Event Parser: The ups shutdown delay of %s is %u", to_wide(remote->name), delay));
}
