// Splitting and joining of the control channel's texts. A separator that belongs to a
// field travels with a backslash in front of it; only the separator is escaped, never the
// backslash itself, so each nesting level adds exactly one backslash before its separator.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ipc {

// Fields joined with sep between neighbours; a sep inside a field gets a backslash first.
std::string join_escaped(const std::vector<std::string>& fields, char sep);

// The reverse: a sep preceded by a backslash does not split and loses the backslash.
// An empty text gives no fields; a trailing sep gives a last, empty field.
std::vector<std::string> split_escaped(const std::string& text, char sep);

// The text before the first sep and the text after it; the whole text and an empty rest
// when there is no sep.
std::pair<std::string, std::string> split_first(const std::string& text, char sep);

inline bool starts_with(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace ipc
