// Numbers in the configuration file and in control commands are read the same way on every
// platform: as a 32-bit unsigned long is read by strtoul. Leading blanks and one sign are
// accepted, anything after the digits is not; a minus sign wraps modulo 2^32 ("-1" reads as
// 4294967295) and a magnitude above 4294967295 is refused.
#pragma once

#include <wx/string.h>

#include <cstdint>
#include <string>

// On failure out keeps its value.
bool parse_u32(const wxString& text, uint32_t& out);
bool parse_u32(const std::string& text, uint32_t& out);
