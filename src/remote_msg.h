// The main thread's handling of the notifications the receiver queued: decrypt, apply to
// the remote's events, log, tell logged-in users, push to a user interface.
#pragma once

#include <wx/string.h>

#include <functional>
#include <vector>

#include "helper/noxconfig.h"
#include "helper/push_sink.h"
#include "model/tree.h"
#include "server/remote_payload.h"

struct RemoteMsgContext {
  Cluster& root;
  const NOXConfig& cfg;
  bool in_sequence;
  PushSink& pushes;
  // The "remote_info:" text of a remote, pushed instead of the remote message while the
  // shutdown sequence runs.
  std::function<wxString(const Remote&)> remote_info_text;
};

// Handles the payloads in arrival order. The caller holds tree_mutex.
void handle_remote_payloads(std::vector<RemotePayload>& payloads, const RemoteMsgContext& ctx);
