#include "ipc/text_split.h"

namespace ipc {

std::string join_escaped(const std::vector<std::string>& fields, char sep) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) out += sep;
    for (char c : fields[i]) {
      if (c == sep) out += '\\';
      out += c;
    }
  }
  return out;
}

std::vector<std::string> split_escaped(const std::string& text, char sep) {
  std::vector<std::string> fields;
  if (text.empty()) return fields;
  std::string cur;
  char prev = '\0';
  for (char c : text) {
    if (c == sep) {
      if (prev == '\\') {
        cur.back() = sep;
      } else {
        fields.push_back(cur);
        cur.clear();
      }
    } else {
      cur += c;
    }
    prev = c;
  }
  fields.push_back(cur);
  return fields;
}

std::pair<std::string, std::string> split_first(const std::string& text, char sep) {
  const std::size_t at = text.find(sep);
  if (at == std::string::npos) return {text, std::string()};
  return {text.substr(0, at), text.substr(at + 1)};
}

}  // namespace ipc
