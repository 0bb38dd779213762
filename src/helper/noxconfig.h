// The agent-wide settings. The control thread writes them while the main and sender
// threads read them: numbers are atomics and texts sit behind text_lock_, so text getters
// return copies.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

class NOXConfig {
 public:
  static constexpr uint32_t kMaxSeconds = 65536;  // clamp of ShutDelay and MaxScriptTime
  static constexpr std::size_t kMaxAlias = 64;

  NOXConfig();  // defaults; the alias is the host's name
  // Defaults with a given alias (stored as given), for callers that must not look up the host.
  explicit NOXConfig(const std::string& alias);
  virtual ~NOXConfig() = default;
  NOXConfig(const NOXConfig&) = delete;
  NOXConfig& operator=(const NOXConfig&) = delete;

  virtual bool set_alias(const std::string& alias);  // cut to 64 bytes
  virtual bool set_shut_delay(uint32_t seconds);     // clamped to 65536
  virtual bool set_enable_script(bool on);
  virtual bool set_enable_user_run(bool on);
  virtual bool set_cancel_if(bool on);
  virtual bool set_script(const std::string& script);
  virtual bool set_max_script_time(uint32_t seconds);  // clamped to 65536
  virtual bool set_action(int32_t action);             // unchecked
  virtual bool set_pwd(const std::string& pwd);
  virtual bool set_lang(const std::string& lang);  // unchecked
  // Sets or clears the flag in the process-wide accepted-event set; false for codes above 13.
  virtual bool set_event_accept(int code, bool accepted);

  std::string alias() const;
  bool cancel_if() const { return cancel_if_; }
  uint32_t shut_delay() const { return shut_delay_; }
  bool enable_script() const { return enable_script_; }
  bool enable_user_run() const { return enable_user_run_; }
  std::string script() const;
  uint32_t max_script_time() const { return max_script_time_; }
  int32_t action() const { return action_; }
  std::string pwd() const;
  std::string lang() const;
  uint32_t server_udp_port() const { return server_udp_port_; }
  void set_server_udp_port(uint32_t port) { server_udp_port_ = port; }

  // Time the agent needs between its decision and the protective action.
  uint32_t setting_time() const;
  bool is_event_accepted(int code) const;

  // The host's name as the agent presents itself by default (reverse-resolved when possible).
  static std::string default_alias();

 private:
  mutable std::mutex text_lock_;  // guards alias_, script_, pwd_, lang_
  std::string alias_;
  std::atomic<bool> cancel_if_{false};
  std::atomic<uint32_t> shut_delay_{0};
  std::atomic<bool> enable_script_{false};
  std::atomic<bool> enable_user_run_{false};
  std::string script_;
  std::atomic<uint32_t> max_script_time_{60};
  std::atomic<int32_t> action_{1};
  std::string pwd_{"qolvy"};
  std::string lang_{"en-us"};
  std::atomic<uint32_t> server_udp_port_{3034};
};
