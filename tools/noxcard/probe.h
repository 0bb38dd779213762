// A stand-in for the agent's query side: asks cards once and reports what they answer.
#pragma once

#include <string>

// Sends one query carrying alias to each of count cards starting at first ("host:port";
// consecutive ports, or consecutive IPv4 addresses when spread), then prints one line per
// notification received within timeout_ms and a summary line. Returns 0 when every card
// answered, 1 when some did not, 2 on bad arguments.
int probe_cards(const std::string& first, int count, bool spread, const std::string& alias, int timeout_ms);
