#include "output/msg_output.h"

#include "helper/clock.h"
#include "helper/msg_helper.h"
#include "logger/log_ops.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kHeader[] = "Noxguard Message:\n";
const char kTopicWarning[] = "Event Warning";
const char kTopicRestore[] = "Event Restore";
const char kTopicUnreasonable[] = "Unreasonable Time";

std::atomic<MsgOutputFactory> g_factory{nullptr};

// Local time of the clock seam as "%Y-%m-%d %H:%M:%S".
std::string now_text() {
  std::time_t t = clock_now();
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return std::string(buf, n);
}

// printf into a string sized to fit, so no line is ever cut.
template <typename... Args>
std::string format(const char* fmt, Args... args) {
  int n = std::snprintf(nullptr, 0, fmt, args...);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&out[0], out.size(), fmt, args...);
  out.resize(static_cast<size_t>(n));
  return out;
}

// Event codes come from the model; one outside the table reads as its number.
std::string event_entry(const std::array<const char*, NOXMsgHelper::kEventTexts>& table, int event) {
  if (event < 0 || event >= NOXMsgHelper::kEventTexts) return std::to_string(event);
  return table[event];
}

std::string event_layout(const char* topic, const std::string& who, const std::string& what, const std::string& now) {
  std::string text = kHeader;
  text += "Topic: " + std::string(topic) + "\n";
  text += "When: " + now + "\n";
  text += "Who: " + who + "\n";
  text += "What: " + what + "\n";
  return text;
}

std::string unreasonable_what(uint32_t setting_time, uint32_t device_delay) {
  return format("The UPS shutdown delay (%u)s isn't greater than the setting time (%u)s",
                static_cast<unsigned>(device_delay), static_cast<unsigned>(setting_time));
}

// Removes the temporary file however broadcast leaves.
class TempFile {
 public:
  TempFile() : fd_(::mkstemp(name_)) {}
  ~TempFile() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(name_);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool ok() const { return fd_ >= 0; }
  const char* name() const { return name_; }
  bool write_all(const std::string& text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
      ssize_t n = ::write(fd_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      p += n;
      left -= static_cast<size_t>(n);
    }
    return true;
  }

 private:
  char name_[17] = "noxwallmsgXXXXXX";
  int fd_;
};

bool command_succeeded(int status) { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

}  // namespace

std::string compose_event_warning(const std::string& who, int event, const std::string& now) {
  return event_layout(kTopicWarning, who, event_entry(NOXMsgHelper::event_texts, event), now);
}

std::string compose_event_restore(const std::string& who, int event, const std::string& now) {
  return event_layout(kTopicRestore, who, event_entry(NOXMsgHelper::restore_texts, event), now);
}

std::string compose_unreasonable_time(const std::string& who, uint32_t setting_time, uint32_t device_delay,
                                      const std::string& now) {
  return event_layout(kTopicUnreasonable, who, unreasonable_what(setting_time, device_delay), now);
}

std::string compose_announce_delay(int action, int seconds) {
  return kHeader +
         format("System will be %s after (%d)s delay", NOXMsgHelper::action_name_text(action).c_str(), seconds) +
         "\n";
}

std::string compose_announce_script(int action, int seconds) {
  return kHeader + format("Executing script... in (%d)s", seconds) + "\n" +
         format("System will be %s as soon as the script done or the time reached",
                NOXMsgHelper::action_name_text(action).c_str()) +
         "\n";
}

// ---- NOXMsgOutput: keeps the source and the translated description ----

void NOXMsgOutput::event_warning(const std::string& who, int event) {
  who_ = who;
  what_ = event >= 0 && event < NOXMsgHelper::kEventTexts ? NOXMsgHelper::event_text(event)
                                                          : wxString::Format("%d", event);
}

void NOXMsgOutput::event_restore(const std::string& who, int event) {
  who_ = who;
  what_ = event >= 0 && event < NOXMsgHelper::kEventTexts ? NOXMsgHelper::restore_text(event)
                                                          : wxString::Format("%d", event);
}

void NOXMsgOutput::unreasonable_time(const std::string& who, uint32_t setting_time, uint32_t device_delay) {
  who_ = who;
  what_ = wxString::Format(NOXMsgHelper::unreasonable_time_format(), to_wide(who),
                           static_cast<unsigned>(device_delay), static_cast<unsigned>(setting_time));
}

// ---- NOXMsgOutputCUI: the same, shown on standard output ----

void NOXMsgOutputCUI::event_warning(const std::string& who, int event) {
  NOXMsgOutput::event_warning(who, event);
  show(kTopicWarning);
}

void NOXMsgOutputCUI::event_restore(const std::string& who, int event) {
  NOXMsgOutput::event_restore(who, event);
  show(kTopicRestore);
}

void NOXMsgOutputCUI::unreasonable_time(const std::string& who, uint32_t setting_time, uint32_t device_delay) {
  NOXMsgOutput::unreasonable_time(who, setting_time, device_delay);
  show(kTopicUnreasonable);
}

void NOXMsgOutputCUI::show(const std::string& topic) {
  std::cout << "Topic: " << to_narrow(NOXMsgHelper::translate(to_wide(topic))) << "\n"
            << "When: " << now_text() << "\n"
            << "Who: " << who_ << "\n"
            << "What: " << to_narrow(what_) << std::endl;
}

// ---- NOXMsgOutputWall: composed messages broadcast with wall ----

void NOXMsgOutputWall::event_warning(const std::string& who, int event) {
  std::string text = compose_event_warning(who, event, now_text());
  broadcast(text);
}

void NOXMsgOutputWall::event_restore(const std::string& who, int event) {
  std::string text = compose_event_restore(who, event, now_text());
  broadcast(text);
}

void NOXMsgOutputWall::unreasonable_time(const std::string& who, uint32_t setting_time, uint32_t device_delay) {
  std::string text = compose_unreasonable_time(who, setting_time, device_delay, now_text());
  broadcast(text);
}

void NOXMsgOutputWall::announce_delay(int action, int seconds) {
  std::string text = compose_announce_delay(action, seconds);
  broadcast(text);
}

void NOXMsgOutputWall::announce_script(int action, int seconds) {
  std::string text = compose_announce_script(action, seconds);
  broadcast(text);
}

// The message reaches the shell only as the contents of a file whose name mkstemp made
// from letters and digits, so names from the cards are never parsed as commands. The
// second form is for a wall that takes the message as arguments; it runs only when the
// first one failed, so a host whose wall takes both forms does not see every message twice.
// The substitution is quoted: the text arrives as one argument, without word splitting or
// pathname expansion.
void NOXMsgOutputWall::broadcast(std::string& text) {
  {
    TempFile file;
    if (file.ok() && file.write_all(text)) {
      const std::string name = file.name();
      if (!command_succeeded(std::system(("wall " + name).c_str()))) {
        int ignored = std::system(("wall \"$(cat " + name + ")\"").c_str());
        (void)ignored;
      }
    }
  }
  text.clear();
}

std::shared_ptr<NOXMsgOutput> make_msg_output() {
  MsgOutputFactory factory = g_factory.load();
  if (factory) return factory();
  return std::make_shared<NOXMsgOutputWall>();
}

void set_msg_output_factory(MsgOutputFactory factory) { g_factory.store(factory); }
