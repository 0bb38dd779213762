// Settings as the agent lets them be read: the password on its own, the others only
// through the protection settings report.
#pragma once

#include <string>

namespace noxctl {

// The names `get` and `set` take, as the agent calls them.
bool is_setting(const std::string& name);

// The value of one setting out of the settings report, in the form `set` takes it.
// For "accept", code selects one event (-1: all, one "CODE NAME: enable" line each).
// False, with the reason in why, when the report does not show the setting.
bool setting_from_report(const std::string& report, const std::string& name, int code, std::string& value,
                         std::string& why);

// A value as the agent wants it: switches as 1/0, actions as their number, "accept" as
// "CODE,FLAG". False, with the reason in why, for a value that cannot be meant.
bool agent_value(const std::string& name, const std::string& value, const std::string& flag, std::string& out,
                 std::string& why);

}  // namespace noxctl
