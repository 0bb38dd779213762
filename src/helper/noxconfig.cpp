#include "helper/noxconfig.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "model/events.h"

std::string NOXConfig::default_alias() {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* res = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &res) != 0 || !res) return host;
  char name[256] = {};
  std::string alias = host;
  if (getnameinfo(res->ai_addr, res->ai_addrlen, name, sizeof name, nullptr, 0, NI_NAMEREQD) == 0)
    alias = name;
  freeaddrinfo(res);
  return alias;
}

NOXConfig::NOXConfig() : NOXConfig(default_alias()) {}

NOXConfig::NOXConfig(const std::string& alias) : alias_(alias) {}

bool NOXConfig::set_alias(const std::string& alias) {
  std::lock_guard<std::mutex> g(text_lock_);
  alias_ = alias.substr(0, kMaxAlias);
  return true;
}

bool NOXConfig::set_shut_delay(uint32_t s) {
  shut_delay_ = std::min(s, kMaxSeconds);
  return true;
}

bool NOXConfig::set_enable_script(bool on) {
  enable_script_ = on;
  return true;
}

bool NOXConfig::set_enable_user_run(bool on) {
  enable_user_run_ = on;
  return true;
}

bool NOXConfig::set_cancel_if(bool on) {
  cancel_if_ = on;
  return true;
}

bool NOXConfig::set_script(const std::string& script) {
  std::lock_guard<std::mutex> g(text_lock_);
  script_ = script;
  return true;
}

bool NOXConfig::set_max_script_time(uint32_t s) {
  max_script_time_ = std::min(s, kMaxSeconds);
  return true;
}

bool NOXConfig::set_action(int32_t action) {
  action_ = action;
  return true;
}

bool NOXConfig::set_pwd(const std::string& pwd) {
  std::lock_guard<std::mutex> g(text_lock_);
  pwd_ = pwd;
  return true;
}

bool NOXConfig::set_lang(const std::string& lang) {
  std::lock_guard<std::mutex> g(text_lock_);
  lang_ = lang;
  return true;
}

bool NOXConfig::set_event_accept(int code, bool accepted) { return shared_accepted_events()->set(code, accepted); }

bool NOXConfig::is_event_accepted(int code) const { return shared_accepted_events()->test(code); }

std::string NOXConfig::alias() const {
  std::lock_guard<std::mutex> g(text_lock_);
  return alias_;
}

std::string NOXConfig::script() const {
  std::lock_guard<std::mutex> g(text_lock_);
  return script_;
}

std::string NOXConfig::pwd() const {
  std::lock_guard<std::mutex> g(text_lock_);
  return pwd_;
}

std::string NOXConfig::lang() const {
  std::lock_guard<std::mutex> g(text_lock_);
  return lang_;
}

uint32_t NOXConfig::setting_time() const {
  const uint32_t delay = shut_delay_;
  return enable_script_ ? delay + max_script_time_.load() : delay;
}
