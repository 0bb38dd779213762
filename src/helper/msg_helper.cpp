#include "helper/msg_helper.h"

#include "model/events.h"

#include <wx/translation.h>

namespace NOXMsgHelper {

static_assert(kEventTexts == kEventCount, "one catalogue entry per event code");
static_assert(kStatusTexts == Shutting + 1, "one catalogue entry per shutdown status");

const std::array<const char*, kEventTexts> event_names = {
    "Ac Fail",
    "Battery Low",
    "UPS Overload",
    "UPS Over Temperature",
    "Weekly Schedule Shutdown",
    "Specific Day Schedule Shutdown",
    "EMP Over Temperature",
    "EMP Over Humidity",
    "EMP Contact1 Alarm",
    "EMP Contact2 Alarm",
    "Battery Capacity Below Limit",
    "Battery Backup Time Below Limit",
    "Load segment 1 shutdown",
    "Load segment 2 shutdown",
};

const std::array<const char*, kEventTexts> event_texts = {
    "Utility power is not available",
    "UPS batteries are low and will soon be exhausted",
    "UPS is overload",
    "UPS internal temperature is too high",
    "Weekly Schedule Shutdown",
    "Specific Day Schedule Shutdown",
    "EMP temperature is over threshold",
    "EMP humidity is over threshold",
    "Contact Alarm-1 activated",
    "Contact Alarm-2 activated",
    "The UPS battery capacity below limit",
    "The UPS battery backup time below limit",
    "Load segment 1 shutdown warning",
    "Load segment 2 shutdown warning",
};

const std::array<const char*, kEventTexts> restore_texts = {
    "Utility power has restored",
    "The UPS has return from a low battery condition",
    "UPS load return from overload",
    "UPS internal temperature return to normal",
    "Weekly Schedule Shutdown cancel",
    "Specific Day Schedule Shutdown cancel",
    "EMP temperature return to normal",
    "EMP humidity return to normal",
    "Contact Alarm-1 not active",
    "Contact Alarm-2 not active",
    "The UPS battery capacity return to normal",
    "The UPS battery backup time return to normal",
    "Load segment 1 normal",
    "Load segment 2 normal",
};

const std::array<const char*, kStatusTexts> status_names = {"Unknown", "Normal", "Warning", "Shutting"};

const std::array<const char*, kActionTexts> action_names = {"Event Warning", "Shutdown", "Sleep"};

const std::array<const char*, kConnectTexts> connect_names = {"Not Connected", "Not Connected", "Connected"};

const char* const kUnreasonableTimeFormat =
    "%s: The UPS shutdown delay (%u)s isn't greater than the setting time (%u)s";

std::string action_name_text(int action) {
  if (action < 0 || action >= kActionTexts) return std::to_string(action);
  return action_names[action];
}

wxString translate(const wxString& text) { return wxGetTranslation(text); }

// The catalogue texts are plain ASCII, so the conversion cannot fail.
wxString event_name(int event) { return translate(wxString::FromAscii(event_names[event])); }
wxString event_text(int event) { return translate(wxString::FromAscii(event_texts[event])); }
wxString restore_text(int event) { return translate(wxString::FromAscii(restore_texts[event])); }
wxString status_name(int status) { return translate(wxString::FromAscii(status_names[status])); }
wxString action_name(int action) { return translate(wxString::FromAscii(action_name_text(action).c_str())); }
wxString connect_name(int status) { return translate(wxString::FromAscii(connect_names[status])); }
wxString unreasonable_time_format() { return translate(wxString::FromAscii(kUnreasonableTimeFormat)); }

}  // namespace NOXMsgHelper
