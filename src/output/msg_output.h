// Messages to the users logged in on the host.
#pragma once

#include <wx/string.h>

#include <cstdint>
#include <memory>
#include <string>

class NOXMsgOutput {
 public:
  virtual ~NOXMsgOutput() = default;
  virtual void event_warning(const std::string& who, int event);
  virtual void event_restore(const std::string& who, int event);
  virtual void unreasonable_time(const std::string& who, uint32_t setting_time, uint32_t device_delay);
  virtual void announce_delay(int action, int seconds) {}
  virtual void announce_script(int action, int seconds) {}

  const std::string& who() const { return who_; }
  const wxString& what() const { return what_; }

 protected:
  std::string who_;
  wxString what_;
};

// Console variant: the event operations also print four lines to standard output.
class NOXMsgOutputCUI : public NOXMsgOutput {
 public:
  void event_warning(const std::string& who, int event) override;
  void event_restore(const std::string& who, int event) override;
  void unreasonable_time(const std::string& who, uint32_t setting_time, uint32_t device_delay) override;
  virtual void show(const std::string& topic);
};

// The variant the agent uses: composes a message and broadcasts it with wall.
class NOXMsgOutputWall : public NOXMsgOutputCUI {
 public:
  void event_warning(const std::string& who, int event) override;
  void event_restore(const std::string& who, int event) override;
  void unreasonable_time(const std::string& who, uint32_t setting_time, uint32_t device_delay) override;
  void announce_delay(int action, int seconds) override;
  void announce_script(int action, int seconds) override;

  // Hands the finished text to wall through a temporary file in the working directory.
  virtual void broadcast(std::string& text);
};

// The five message layouts, exposed for tests and for broadcast. `now` is the local time
// text "%Y-%m-%d %H:%M:%S".
std::string compose_event_warning(const std::string& who, int event, const std::string& now);
std::string compose_event_restore(const std::string& who, int event, const std::string& now);
std::string compose_unreasonable_time(const std::string& who, uint32_t setting_time, uint32_t device_delay,
                                      const std::string& now);
std::string compose_announce_delay(int action, int seconds);
std::string compose_announce_script(int action, int seconds);

// Every message goes out through one of these; tests swap in a recorder.
using MsgOutputFactory = std::shared_ptr<NOXMsgOutput> (*)();
std::shared_ptr<NOXMsgOutput> make_msg_output();
void set_msg_output_factory(MsgOutputFactory factory);  // nullptr restores the wall output
