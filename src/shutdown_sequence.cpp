#include "shutdown_sequence.h"

#include <wx/filefn.h>
#include <wx/log.h>

#include "helper/clock.h"
#include "helper/msg_helper.h"
#include "logger/log_ops.h"
#include "model/events.h"
#include "output/msg_output.h"
#include "output/shutter.h"

ShutdownSequence::ShutdownSequence(SequenceHost& host, SequenceDriver& driver) : host_(host), driver_(driver) {}

void ShutdownSequence::push(const wxString& text) { host_.pusher().Advise(text); }

void ShutdownSequence::stop_listening(const char* trace) {
  host_.stop_comm();
  comm_stopped_ = true;
  log_debug(trace);
}

void ShutdownSequence::leave_sequence() {
  driver_.stop_delay_timer();
  if (script_period_) driver_.stop_script_timer();
  in_sequence_ = false;
  delay_running_ = false;
  script_period_ = false;
  if (comm_stopped_) {
    comm_stopped_ = false;
    host_.start_comm();
  }
}

void ShutdownSequence::cluster_shutdown_check(const StatusReader& root_status) {
  const std::time_t now = clock_now();
  // The tree still shows what the cards said before the host slept: give fresh
  // notifications time to arrive. A clock set back after waking would stretch this quiet
  // time until the clock caught up, so it then restarts from the new time.
  if (now < last_sleep_time_) last_sleep_time_ = now;
  if (last_sleep_time_ + kSleepQuietSeconds >= now) return;

  NOXConfig& cfg = host_.config();
  if (in_sequence_) {
    // Only the delay can be cancelled; once the script period began the host is committed.
    if (delay_running_ && cfg.cancel_if() && root_status() != Shutting) {
      log_debug("Cluster shutdown check decide to restore from shutdown sequence");
      restore();
    }
    return;
  }

  // Action 0 only reports events; any other value but Shutdown and Sleep could never end
  // in an action, so no sequence is started for it.
  const int action = cfg.action();
  if (action != 1 && action != 2) return;
  if (root_status() != Shutting) return;
  in_sequence_ = true;
  log_debug("Cluster shutdown check decide to enter shutdown sequence");
  enter_shutdown_sequence();
}

void ShutdownSequence::enter_shutdown_sequence() {
  log_debug("Enter shutdown sequence");
  push("shut_seq:1");
  start_shutdown_delay();
}

void ShutdownSequence::start_shutdown_delay() {
  NOXConfig& cfg = host_.config();
  const int action = cfg.action();
  const uint32_t delay = cfg.shut_delay();
  // Nothing can cancel a Shutdown without CancelIf or without a delay: stop listening now.
  if (action == 1 && (!cfg.cancel_if() || delay == 0))
    stop_listening("Stop commnunication at the beginning of shutdown delay");
  if (delay == 0) {
    run_script();
    return;
  }

  delay_running_ = true;
  if (auto out = make_msg_output()) out->announce_delay(action, static_cast<int>(delay));
  delay_length_ = static_cast<int32_t>(delay);
  delay_start_ = clock_now();
  delay_ticks_ = 0;
  driver_.start_delay_timer();
}

void ShutdownSequence::on_delay_timer() {
  if (!delay_running_) return;
  ++delay_ticks_;
  // Counted by the wall clock, because a push may hold a tick for a second. A clock set
  // back must not stretch the delay while the batteries drain, so never count fewer
  // seconds than ticks seen.
  int64_t elapsed = static_cast<int64_t>(clock_now() - delay_start_);
  if (elapsed < delay_ticks_) elapsed = delay_ticks_;
  const int64_t left = static_cast<int64_t>(delay_length_) - elapsed;
  push(wxString::Format("shut_seq:2%lld", static_cast<long long>(left)));
  if (left > 0) return;

  if (host_.config().action() == 1 && !comm_stopped_)
    stop_listening("Stop commnunication at the end of shutdown sequence");
  delay_running_ = false;
  driver_.stop_delay_timer();
  run_script();
}

void ShutdownSequence::restore() {
  wxLogMessage("Restore from shutdown sequence");
  leave_sequence();
  push("shut_seq:0");
}

void ShutdownSequence::run_script() {
  NOXConfig& cfg = host_.config();
  const uint32_t max_time = cfg.max_script_time();
  if (!cfg.enable_script() || max_time == 0) {
    end_script(0);
    return;
  }
  const std::string script = cfg.script();
  if (script.empty()) {
    end_script(-1);
    return;
  }
  // The whole setting is one path: a command with arguments is refused here.
  const wxString path = to_wide(script);
  if (path.empty() || !wxFileExists(path)) {
    end_script(-1);
    return;
  }

  launching_ = true;
  ended_at_launch_ = false;
  const bool started = driver_.launch_script(script);
  launching_ = false;
  // A script that could not be started ends its period at once, like one that exits at once.
  if (!started) ended_at_launch_ = true;
  log_debug("Execute script: " + path);
  if (auto out = make_msg_output()) out->announce_script(cfg.action(), static_cast<int>(max_time));

  delay_running_ = false;
  script_left_ = static_cast<int32_t>(max_time);
  if (ended_at_launch_) {
    end_script(1);
    return;
  }
  script_period_ = true;
  driver_.start_script_timer();
}

void ShutdownSequence::on_script_timer() {
  if (!script_period_) return;
  push(wxString::Format("shut_seq:3%u", static_cast<unsigned>(script_left_)));
  if (--script_left_ > 0) return;
  end_script(1);
  log_debug("Execute script period forcely ended");
}

void ShutdownSequence::on_script_terminated() {
  if (launching_) {
    ended_at_launch_ = true;
    return;
  }
  if (!script_period_) return;  // the period is already over; the script outlived it
  end_script(1);
}

void ShutdownSequence::end_script(int how) {
  if (script_period_) {
    script_period_ = false;
    driver_.stop_script_timer();
  }
  if (how == 0) driver_.release_script();
  push("shut_seq:4");
  shut();
}

void ShutdownSequence::shut() {
  const int action = host_.config().action();
  wxLogMessage("System start %s", to_wide(NOXMsgHelper::action_name_text(action)));
  if (!exec_protect_action(action)) wxLogMessage("Execute protect action failed");
}

bool ShutdownSequence::exec_protect_action(int action) {
  switch (action) {
    case 1: {
      bool ok = false;
      {
        const auto shutter = make_shutter();
        ok = shutter && shutter->shutdown();
      }
      // Leave even when the command failed: the agent stops rather than watch on after
      // it has given up the host.
      host_.exit_main_loop();
      return ok;
    }
    case 2: {
      bool ok = false;
      {
        const auto shutter = make_shutter();
        ok = shutter && shutter->sleep();
      }
      // Whatever arrived around the hibernation describes the time before it.
      driver_.pause_ms(kResumePauseMs);
      host_.discard_datagrams();
      last_sleep_time_ = clock_now();
      if (ok) {
        // Also stops a delay or script period that was still counting (the action can be
        // asked for from the control channel at any time), so the host is not put to sleep
        // a second time when that countdown ends.
        leave_sequence();
        return true;
      }
      wxLogMessage("Sleep fail, system is about to shutdown");
      return exec_protect_action(1);
    }
    default:
      // No action can be taken for this value. Go back to watching (with communication
      // on) rather than stay in a sequence that no longer leads anywhere, which would
      // leave the host unprotected until the agent restarts.
      leave_sequence();
      return false;
  }
}
