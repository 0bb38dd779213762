// Event-log operations. Each writes one record at message level through wxLog (so the
// record is dropped while a wxLogNull is active on the calling thread). A remote name is
// always passed as an argument, never used as a format.
#pragma once

#include <wx/string.h>

#include <atomic>
#include <cstdint>
#include <string>

// Debug mode: trace lines are written and the log is never trimmed. Once on, stays on.
extern std::atomic<bool> debug_mode;

// Trace line, written only in debug mode. Callers format with wxString::Format themselves.
void log_debug(const wxString& text);

void log_event_warning(const std::string& name, int event);  // nothing for codes 12 and 13
void log_event_restore(const std::string& name, int event);
void log_connect(const std::string& name);
void log_no_connect(const std::string& name);
void log_unreasonable_time(const std::string& name, uint32_t setting_time, uint32_t ups_delay);
void log_unaccept_shutting_event(const std::string& name, int event);
void log_event_shutting(const std::string& name, int event);

// Narrow text in the process locale's multibyte encoding, and back; empty when the text
// has no conversion.
wxString to_wide(const std::string& narrow);
std::string to_narrow(const wxString& wide);
