// Small socket helpers for the control channel's Unix-domain stream sockets.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace ipc {

// How long one frame may take to leave when the peer reads slowly; a peer that stalls
// longer is treated as gone, so it cannot hold the channel's only slot forever.
constexpr int kSendStallMs = 2000;

// Waits up to timeout_ms (0: just looks) for the events (POLLIN/POLLOUT) on fd.
// 1 ready, 0 not ready, -1 failure; an interrupted wait counts as not ready.
int wait_fd(int fd, short events, int timeout_ms);

// Sends all len bytes, continuing short writes and waiting while the socket is full,
// never longer than stall_ms without progress. False on failure or stall (errno says which).
bool send_all(int fd, const void* data, std::size_t len, int stall_ms = kSendStallMs);

bool set_nonblocking(int fd);

// User id of the process at the other end of a connected Unix-domain socket.
bool peer_uid(int fd, uid_t* uid);

// Only root and the agent's own user may speak to the agent: the channel hands out the
// password, starts the protective action and changes what runs as root.
constexpr bool peer_may_connect(uid_t peer, uid_t agent) { return peer == 0 || peer == agent; }

}  // namespace ipc
