// The simulator's command language, one command a line (see noxcard --help).
#pragma once

#include <string>

#include "fleet.h"

struct CommandResult {
  std::string text;  // reply lines, each ending in a line feed; the last is "ok" or "error: ..."
  bool quit = false;
};

// Runs one command line on the fleet. With notify_on_change, every card whose state a
// command changed sends its notification at once.
CommandResult run_command(Fleet& fleet, const std::string& line, bool notify_on_change);

// Event code for a key name (any case) or a decimal code; -1 when neither.
int event_code(const std::string& text);
const char* event_key(int code);

// One line describing a card, as "dump" prints it.
std::string describe(const Card& c);
