#include "sequence_glue.h"

#include <wx/utils.h>

#include "logger/log_ops.h"

namespace {
constexpr int kTickMs = 1000;
}

NOXScriptCallback::NOXScriptCallback(SequenceGlue* owner) : wxProcess(static_cast<wxEvtHandler*>(nullptr), -1), owner_(owner) {}

void NOXScriptCallback::OnTerminate(int, int) {
  log_debug("Execute script period normally ended");
  ended_ = true;
  if (owner_) {
    reporting_ = true;
    owner_->script_ended(this);
    reporting_ = false;
  }
  if (!owner_) delete this;
}

void NOXScriptCallback::release() {
  owner_ = nullptr;
  if (ended_ && !reporting_) delete this;
}

SequenceGlue::SequenceGlue(SequenceHost& host)
    : delay_timer_(this, kDelayTimer), script_timer_(this, kScriptTimer), sequence_(host, *this) {
  Bind(wxEVT_TIMER, &SequenceGlue::on_delay_tick, this, kDelayTimer);
  Bind(wxEVT_TIMER, &SequenceGlue::on_script_tick, this, kScriptTimer);
}

SequenceGlue::~SequenceGlue() {
  delay_timer_.Stop();
  script_timer_.Stop();
  release_script();
}

std::string SequenceGlue::program_path(const std::string& script) {
  if (script.find('/') == std::string::npos) return "./" + script;
  return script;
}

void SequenceGlue::script_ended(NOXScriptCallback* process) {
  if (process == script_process_) sequence_.on_script_terminated();
}

void SequenceGlue::start_delay_timer() { delay_timer_.Start(kTickMs, wxTIMER_CONTINUOUS); }
void SequenceGlue::stop_delay_timer() { delay_timer_.Stop(); }
void SequenceGlue::start_script_timer() { script_timer_.Start(kTickMs, wxTIMER_CONTINUOUS); }
void SequenceGlue::stop_script_timer() { script_timer_.Stop(); }

bool SequenceGlue::launch_script(const std::string& path) {
  release_script();
  auto* process = new NOXScriptCallback(this);
  script_process_ = process;
  // One program, no splitting at blanks; the end may be reported before wxExecute returns.
  const std::string program = program_path(path);
  const char* argv[] = {program.c_str(), nullptr};
  if (wxExecute(argv, wxEXEC_ASYNC, process) == 0) {
    process->mark_not_started();
    return false;
  }
  return true;
}

void SequenceGlue::release_script() {
  NOXScriptCallback* process = script_process_;
  script_process_ = nullptr;
  if (process) process->release();
}

void SequenceGlue::pause_ms(unsigned long ms) { wxMilliSleep(ms); }

void SequenceGlue::on_delay_tick(wxTimerEvent&) { sequence_.on_delay_timer(); }
void SequenceGlue::on_script_tick(wxTimerEvent&) { sequence_.on_script_timer(); }
