// Turns a decrypted notification body into changes of a remote's event entries, UPS shutdown
// delay and power source.
#pragma once

#include <cstddef>
#include <vector>

#include "model/tree.h"

// Appends event codes to the three lists (passed in empty):
//   restored - an event that just went away after having been known,
//   changed  - a new warning value,
//   active   - an event that just became present, or is present but does not count yet.
// A missing remote or body, or a body shorter than 96 bytes, changes nothing.
// The caller holds tree_mutex.
void EventParser(Remote* remote, const unsigned char* body, std::size_t len, std::vector<int>& restored,
                 std::vector<int>& changed, std::vector<int>& active);
