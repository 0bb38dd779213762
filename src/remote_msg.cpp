#include "remote_msg.h"

#include "cipher/block_cipher.h"
#include "ipc/push_bodies.h"
#include "logger/log_memo.h"
#include "logger/log_ops.h"
#include "output/msg_output.h"
#include "server/datagram.h"
#include "server/event_parser.h"

namespace {

void handle_one(RemotePayload& p, const RemoteMsgContext& ctx) {
  if (!p.remote) {
    log_debug("Communication Thread post payload with null remote");
    return;
  }
  Remote& remote = *p.remote;
  const wxString name = to_wide(remote.name);
  // The remote must still be in the tree, and be the very object the datagram came for: a
  // remote removed and added again under the same name starts afresh.
  if (ctx.root.findRemote(remote.name) != &remote) {
    log_debug(wxString::Format("Remote %s is not exist", name));
    return;
  }
  if (p.len < datagram::kBodySize) {
    log_debug(wxString::Format("Remote %s package size < 96", name));
    return;
  }
  cipher::decrypt(p.data, datagram::kBodySize, cipher::deviceKey);
  log_debug(wxString::Format("Receive data: %s from %s", wxString(body_hex_dump(p.data, datagram::kBodySize)), name));

  const uint32_t t = ctx.cfg.setting_time();
  const uint32_t d0 = remote.getUpsShutdownDelay();
  const bool d0_was_reasonable = d0 > t;

  remote.setConnStatus(Connected);
  if (remote.getPrevConnStatus() == NotResolved || remote.getPrevConnStatus() == NotConnected) {
    log_debug(wxString::Format("Set the communication status of %s to Connected", name));
    LogMemo::instance().note_connect(remote.name);
  }

  std::vector<int> restored, changed, active;
  EventParser(&remote, p.data, p.len, restored, changed, active);

  for (int i : changed) {
    LogMemo::instance().note_warning(remote.name, i);
    make_msg_output()->event_warning(remote.name, i);
  }
  for (int i : restored) {
    LogMemo::instance().note_restore(remote.name, i);
    make_msg_output()->event_restore(remote.name, i);
  }
  for (int i : active) {
    const int s = remote.getEventStatus(i);
    if (s == Shutting)
      LogMemo::instance().note_shutting(remote.name, i);
    else if (s == Warning)
      LogMemo::instance().note_unaccepted_shutting(remote.name, i);
  }

  const uint32_t d1 = remote.getUpsShutdownDelay();
  if (d1 <= t && (d0_was_reasonable || d1 != d0)) {
    log_unreasonable_time(remote.name, t, d1);
    make_msg_output()->unreasonable_time(remote.name, t, d1);
  }

  if (ctx.in_sequence) {
    const wxString info = ctx.remote_info_text ? ctx.remote_info_text(remote) : wxString();
    ctx.pushes.Advise(info);
    log_debug("==== Server send info:" + info);
  } else {
    const wxString msg = to_wide(remote_msg_text(remote, restored, changed));
    ctx.pushes.Advise(msg);
    log_debug("==== Server send warning:" + msg);
  }
}

}  // namespace

void handle_remote_payloads(std::vector<RemotePayload>& payloads, const RemoteMsgContext& ctx) {
  for (auto& p : payloads) {
    if (bNeedDelete) {
      log_debug("Remote is bNeedDelete");
      break;
    }
    handle_one(p, ctx);
  }
}
