#include "signals.h"

#include <signal.h>

#include <atomic>

namespace {

std::atomic<bool> terminate_requested{false};
std::atomic<bool> reload_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "flags are set from a signal handler");

void on_sigterm(int) { terminate_requested.store(true); }
void on_sighup(int) { reload_requested.store(true); }

bool install(int sig, void (*handler)(int), int blocked) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sigaddset(&sa.sa_mask, blocked);
  sa.sa_flags = 0;
  return sigaction(sig, &sa, nullptr) == 0;
}

}  // namespace

bool install_signal_handlers() {
  return install(SIGTERM, on_sigterm, SIGHUP) && install(SIGHUP, on_sighup, SIGTERM);
}

bool take_terminate_request() { return terminate_requested.exchange(false); }
bool take_reload_request() { return reload_requested.exchange(false); }
