// The two ends of one control-channel connection: the bytes, the one peer, the pushes.
//
// One thread (the server's) runs Poll and with it every hook and every write to the peer;
// other threads only queue pushes (QueuePush), which never waits on the peer.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

#include "ipc/push_queue.h"

class IPCConnection {
 public:
  IPCConnection();
  virtual ~IPCConnection();
  IPCConnection(const IPCConnection&) = delete;
  IPCConnection& operator=(const IPCConnection&) = delete;

  // One cycle of the channel; negative when the channel is gone for good.
  virtual int Poll() = 0;
  virtual void OnError(const std::string& text) {}
  virtual void OnDisconnect() {}
  // Closes the peer socket; pushes go off with it.
  virtual void Disconnect();

  // Writes one framed text to the peer: 1 sent, 0 nothing sent (no peer, or the socket
  // is not writable this instant), -1 failure (the peer socket is then closed).
  int Write(const std::string& text);
  // Writes "push:" and the body; -1 without writing while pushes are off, else as Write.
  int Push(const std::string& body);

  // Any thread: hands a push body to the channel's thread. False, and nothing queued,
  // while pushes are off. Never waits for the peer.
  bool QueuePush(const std::string& body);
  bool IsAdvising() const;
  // Any thread: ends the channel thread's current wait early.
  void Wake();

  // Size of the push queue and the least time between two pushes on the wire.
  void SetPushLimits(std::size_t capacity, std::chrono::milliseconds spacing);

 protected:
  // A queued push was written (1), dropped because the socket was not ready (0) or
  // failed (-1). Runs on the channel's thread.
  virtual void OnPushWritten(const std::string& body, int result) {}
  // Pushes were dropped from a full queue since the last report.
  virtual void OnPushesDropped(std::size_t count) {}

  // Switches pushes on or off; off forgets what is still queued. Returns the old state.
  bool SetAdvising(bool on);
  // Closes the peer socket (if any) and switches pushes off.
  void ClosePeer();
  // Frames text and sends all of it; conn_lock_ held, peer present.
  bool SendFrame(const std::string& text);
  // Writes the next queued push when its time has come.
  void WriteDuePush();
  // The next push waits a full spacing from now. After a frame without a zero byte only
  // a pause tells the peer where it ends, so nothing may follow it at once.
  void DelayNextPush();
  // Milliseconds until a queued push is due: 0 when one is due now, -1 when none waits.
  int PushDueIn() const;
  // The read end of the wake-up pipe, and emptying it.
  int wake_fd() const { return wake_[0]; }
  void DrainWake();

  int peer_sock_ = -1;  // the connected peer, -1 when none; changed under conn_lock_
  // Held while a frame is written and while peer_sock_ changes. Never taken by QueuePush,
  // so a slow peer cannot hold up a pushing thread.
  std::recursive_mutex conn_lock_;

 private:
  mutable std::mutex queue_lock_;  // guards advising_ and pushes_
  bool advising_ = false;          // pushes are on
  ipc::PushQueue pushes_;
  int wake_[2] = {-1, -1};
};

class IPCServerConnection : public IPCConnection {
 public:
  ~IPCServerConnection() override;

  int Poll() override;
  // Closes the peer and the listening socket and removes the socket file.
  void Disconnect() override;

  // Creates the listening socket at path, reachable only by the agent's own user.
  bool Listen(const std::string& path);
  const std::string& path() const { return path_; }

  virtual std::string OnRequest(const std::string& body) { return "1"; }
  virtual std::string OnStartAdvise(const std::string& body);
  virtual std::string OnStopAdvise();
  virtual void OnConnect() {}
  // Whether a newly accepted peer may stay; by default root and the agent's own user.
  // A refused peer is closed at once, without an answer.
  virtual bool AcceptPeer(uid_t uid);

 protected:
  int listen_sock_ = -1;  // -1 when not listening; only the channel's thread changes it
  std::string path_;      // the socket file, empty until Listen succeeds

 private:
  int AcceptOne();
  int ReadAndAnswer();
};
