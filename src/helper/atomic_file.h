// Replacing a file so that a reader, a crash or a full disk never meets it half written:
// the new content goes to a temporary file in the same directory, is synced, and only then
// renamed over the old name.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

// fill writes the content to the descriptor it is given and says whether that worked.
// The file gets exactly `mode`, whatever the umask. On any failure the old file (if any) is
// left as it was, no temporary file remains, and the result is false.
bool replace_file(const std::string& path, mode_t mode, const std::function<bool(int fd)>& fill);
bool replace_file(const std::string& path, const std::string& bytes, mode_t mode);

// Writes all of data, retrying after interruptions and short writes.
bool write_all(int fd, const char* data, std::size_t len);
