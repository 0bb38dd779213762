#include "ipc/report_reader.h"

#include <cstdlib>

#include "ipc/text_split.h"

namespace ipc {

namespace {

constexpr std::size_t kRemoteLines = 8;

bool strip(const std::string& line, const char* prefix, std::string& value) {
  if (!starts_with(line, prefix)) return false;
  value = line.substr(std::char_traits<char>::length(prefix));
  return true;
}

bool read_remote(const std::vector<std::string>& lines, std::size_t at, RemoteReport& r) {
  if (at + kRemoteLines > lines.size() || lines[at + 7] != "\n") return false;
  r.name = lines[at];
  return strip(lines[at + 1], "Device Mode: ", r.model) && strip(lines[at + 2], "IP Address: ", r.ip) &&
         strip(lines[at + 3], "Host Name: ", r.host_name) &&
         strip(lines[at + 4], "Connection Status: ", r.connection) &&
         strip(lines[at + 5], "Shutdown Status: ", r.shutdown_status) &&
         strip(lines[at + 6], "UPS Shutdown Delay: ", r.ups_shutdown_delay);
}

// A remote block starts with its name, a line without a newline; anything else in that
// place is a child cluster's own report (empty for an empty cluster).
bool looks_like_remote(const std::vector<std::string>& lines, std::size_t at) {
  RemoteReport probe;
  return lines[at].find('\n') == std::string::npos && read_remote(lines, at, probe);
}

bool all_digits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool read_number(const std::string& s, long long& out) {
  const bool negative = !s.empty() && s[0] == '-';
  if (!all_digits(negative ? s.substr(1) : s)) return false;
  out = std::strtoll(s.c_str(), nullptr, 10);
  return true;
}

bool read_codes(const std::string& s, std::vector<int>& out) {
  out.clear();
  for (const auto& part : split_escaped(s, '.')) {
    long long v = 0;
    if (!read_number(part, v)) return false;
    out.push_back(static_cast<int>(v));
  }
  return true;
}

// Cuts n fields off the right end at sep; fields[0] is what is left on the left.
bool split_right(const std::string& text, char sep, std::size_t n, std::vector<std::string>& fields) {
  fields.assign(n + 1, std::string());
  std::string rest = text;
  for (std::size_t i = n; i > 0; --i) {
    const std::size_t at = rest.rfind(sep);
    if (at == std::string::npos) return false;
    fields[i] = rest.substr(at + 1);
    rest.erase(at);
  }
  fields[0] = rest;
  return true;
}

// "name(first": the name may itself hold "(", the number never does.
bool split_name(const std::string& text, std::string& name, long long& first) {
  const std::size_t open = text.rfind('(');
  if (open == std::string::npos) return false;
  name = text.substr(0, open);
  return read_number(text.substr(open + 1), first);
}

// The "[cluster]" suffix that every remote of a level carries, or empty. A name may end in
// brackets itself; only a suffix shared by the whole level is taken for the cluster's.
std::string shared_suffix(const std::vector<RemoteReport>& remotes) {
  std::string suffix;
  for (const auto& r : remotes) {
    const std::size_t open = r.name.rfind('[');
    if (r.name.empty() || r.name.back() != ']' || open == std::string::npos || open == 0) return std::string();
    const std::string s = r.name.substr(open);
    if (!suffix.empty() && s != suffix) return std::string();
    suffix = s;
  }
  return suffix;
}

}  // namespace

namespace {

// Deeper than any tree a person builds; keeps a garbled text from exhausting the stack.
constexpr int kMaxDepth = 64;

ClusterReport read_level(const std::string& text, int depth) {
  ClusterReport c;
  const std::vector<std::string> lines = split_escaped(text, '\n');
  std::size_t at = 0;
  while (at < lines.size()) {
    const bool nested = lines[at].empty() || lines[at].find('\n') != std::string::npos;
    if (looks_like_remote(lines, at)) {
      RemoteReport r;
      read_remote(lines, at, r);
      c.remotes.push_back(std::move(r));
      c.order.push_back(true);
      at += kRemoteLines;
    } else if (nested && depth < kMaxDepth) {
      // A child cluster's report: empty, or its own lines one escape deeper.
      c.clusters.push_back(read_level(lines[at], depth + 1));
      c.order.push_back(false);
      ++at;
    } else {
      break;  // not the report's layout
    }
  }
  const std::string suffix = shared_suffix(c.remotes);
  if (!suffix.empty()) {
    c.name = suffix.substr(1, suffix.size() - 2);
    for (auto& r : c.remotes) {
      r.name.erase(r.name.size() - suffix.size());
      r.cluster = c.name;
    }
  }
  return c;
}

}  // namespace

ClusterReport read_full_status_report(const std::string& text) { return read_level(text, 0); }

bool read_push(const std::string& body, PushReport& out) {
  out = PushReport();
  std::vector<std::string> f;
  if (starts_with(body, "remote_info:")) {
    long long conn = 0;
    if (!split_right(body.substr(12), ',', 5, f) || !split_name(f[0], out.name, conn) ||
        !read_number(f[1], out.delay) || !read_number(f[2], out.power))
      return false;
    out.connection = static_cast<int>(conn);
    out.events = f[3];
    out.ip = f[4];
    out.host_name = f[5];
    out.kind = PushReport::RemoteInfo;
    return true;
  }
  if (starts_with(body, "remote_msg:")) {
    if (!split_right(body.substr(11), ',', 4, f) || !split_name(f[0], out.name, out.delay) ||
        !read_number(f[1], out.power) || !read_codes(f[3], out.restored) || !read_codes(f[4], out.changed))
      return false;
    out.events = f[2];
    out.kind = PushReport::RemoteMsg;
    return true;
  }
  if (starts_with(body, "shut_seq:")) {
    const std::string rest = body.substr(9);
    if (rest.empty() || rest[0] < '0' || rest[0] > '4') return false;
    out.stage = rest[0] - '0';
    out.has_seconds = rest.size() > 1;
    if (out.has_seconds && !read_number(rest.substr(1), out.seconds)) return false;
    out.kind = PushReport::ShutSeq;
    return true;
  }
  if (starts_with(body, "timeout:")) {
    out.names = split_escaped(body.substr(8), ',');
    out.kind = PushReport::Timeout;
    return true;
  }
  return false;
}

}  // namespace ipc
