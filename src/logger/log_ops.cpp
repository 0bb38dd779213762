#include "logger/log_ops.h"

#include "helper/msg_helper.h"
#include "model/events.h"

#include <wx/log.h>
#include <wx/strconv.h>

std::atomic<bool> debug_mode{false};

namespace {

// Codes come from the model, but a code outside the table must never index past it.
bool known_event(int event) { return event >= 0 && event < NOXMsgHelper::kEventTexts; }

}  // namespace

wxString to_wide(const std::string& narrow) {
  if (narrow.empty()) return wxString();
  size_t out_len = 0;
  wxWCharBuffer buf = wxConvLibc.cMB2WC(narrow.data(), narrow.size(), &out_len);
  if (out_len == wxCONV_FAILED || !buf.data()) return wxString();
  return wxString(buf.data(), out_len);
}

std::string to_narrow(const wxString& wide) {
  if (wide.empty()) return std::string();
  size_t out_len = 0;
  wxCharBuffer buf = wxConvLibc.cWC2MB(wide.wc_str(), wide.length(), &out_len);
  if (out_len == wxCONV_FAILED || !buf.data()) return std::string();
  return std::string(buf.data(), out_len);
}

// Every text goes in as an argument: remote names come from the configuration file and may hold '%'.
void log_debug(const wxString& text) {
  if (debug_mode.load(std::memory_order_relaxed)) wxLogMessage("%s", text);
}

void log_event_warning(const std::string& name, int event) {
  if (!known_event(event) || event == LS1 || event == LS2) return;
  wxLogMessage("Warning message from %s, reason: %s", to_wide(name), NOXMsgHelper::event_names[event]);
}

void log_event_restore(const std::string& name, int event) {
  if (!known_event(event)) return;
  wxLogMessage("%s: %s", to_wide(name), NOXMsgHelper::restore_texts[event]);
}

void log_connect(const std::string& name) { wxLogMessage("Connect to %s", to_wide(name)); }

void log_no_connect(const std::string& name) { wxLogMessage("Can't connect to %s", to_wide(name)); }

void log_unreasonable_time(const std::string& name, uint32_t setting_time, uint32_t ups_delay) {
  wxLogMessage(NOXMsgHelper::kUnreasonableTimeFormat, to_wide(name), static_cast<unsigned>(ups_delay),
               static_cast<unsigned>(setting_time));
}

void log_unaccept_shutting_event(const std::string& name, int event) {
  if (!known_event(event)) return;
  wxLogMessage("Unaccepted shutting message from %s, reason: %s", to_wide(name), NOXMsgHelper::event_names[event]);
}

void log_event_shutting(const std::string& name, int event) {
  if (!known_event(event)) return;
  wxLogMessage("Shutting message from %s, reason: %s", to_wide(name), NOXMsgHelper::event_names[event]);
}
