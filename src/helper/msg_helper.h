// The fixed English texts that name events, shutdown statuses, protective actions and
// connection states, so that one event is called the same in the log, in wall messages
// and in the status reports.
//
// The narrow tables are constant data (no dynamic initialisation), so they can be read
// from any thread and from other static initialisers. Event codes, shutdown statuses and
// connection statuses come from the model and always lie inside their tables; an Action
// can come from a hand-edited configuration file, so read it through action_name_text().
#pragma once

#include <wx/string.h>

#include <array>
#include <string>

namespace NOXMsgHelper {

constexpr int kEventTexts = 14;
constexpr int kStatusTexts = 4;
constexpr int kActionTexts = 3;
constexpr int kConnectTexts = 3;

extern const std::array<const char*, kEventTexts> event_names;
extern const std::array<const char*, kEventTexts> event_texts;    // an event occurs
extern const std::array<const char*, kEventTexts> restore_texts;  // an event is restored
extern const std::array<const char*, kStatusTexts> status_names;
extern const std::array<const char*, kActionTexts> action_names;
extern const std::array<const char*, kConnectTexts> connect_names;

// "%s: The UPS shutdown delay (%u)s isn't greater than the setting time (%u)s"
extern const char* const kUnreasonableTimeFormat;

// Narrow, untranslated entry of action_names; an action outside the table reads as its
// number ("7"), so no lookup ever leaves the table.
std::string action_name_text(int action);

// Translated (wide) lookups, for user-facing texts. Same index rules as the tables;
// action_name() shares the fallback of action_name_text().
wxString event_name(int event);
wxString event_text(int event);
wxString restore_text(int event);
wxString status_name(int status);
wxString action_name(int action);
wxString connect_name(int status);
wxString unreasonable_time_format();
wxString translate(const wxString& text);

}  // namespace NOXMsgHelper
