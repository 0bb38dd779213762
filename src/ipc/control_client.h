// The user interface's end of the control channel, as a command-line tool uses it:
// connect, send framed texts, and read whole messages back.
//
// Reading: a frame ends with the block that holds the text's first zero byte. A text
// whose length is a multiple of 16 has no zero byte, so its end shows only as a pause in
// the data: when whole blocks have arrived without a zero byte and nothing more comes
// within the pause, they are taken as one message.
#pragma once

#include <string>

#include "ipc/channel_frame.h"

namespace ipc {

class ControlClient {
 public:
  enum class Connect { Ok, NotRunning, AccessDenied, Failed };
  enum class Read { Message, Timeout, Closed, Interrupted, Error };
  static constexpr int kPauseMs = 200;

  ControlClient() = default;
  ~ControlClient();
  ControlClient(const ControlClient&) = delete;
  ControlClient& operator=(const ControlClient&) = delete;

  Connect connect(const std::string& path);
  void close();
  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // The system's text for the last failure.
  const std::string& error() const { return error_; }

  // Frames the text and sends all of it.
  bool send(const std::string& text);
  // Next whole message, waiting up to timeout_ms in all.
  Read read(std::string& text, int timeout_ms, int pause_ms = kPauseMs);
  // Sends text and reads the message that comes back.
  Read ask(const std::string& text, std::string& answer, int timeout_ms);

 private:
  int fd_ = -1;
  std::string error_;
  MessageReader reader_;
};

}  // namespace ipc
