#include "options.h"

#include <cstdlib>

namespace noxctl {

namespace {

// "--name=value" or "--name value".
bool take_value(const std::vector<std::string>& argv, std::size_t& i, const std::string& name, std::string& value,
                std::string& error) {
  const std::string& a = argv[i];
  if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
    value = a.substr(name.size() + 1);
    return true;
  }
  if (i + 1 >= argv.size()) {
    error = name + " needs a value";
    return false;
  }
  value = argv[++i];
  return true;
}

bool is_option(const std::string& a, const std::string& name) {
  return a == name || (a.size() > name.size() && a.compare(0, name.size() + 1, name + "=") == 0);
}

}  // namespace

bool parse_options(const std::vector<std::string>& argv, Options& out, std::string& error) {
  bool only_positional = false;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    // "-1" is a value (a refused delay, say), not an option.
    const bool negative_number = a.size() > 1 && a[0] == '-' && a[1] >= '0' && a[1] <= '9';
    if (only_positional || a.empty() || a[0] != '-' || a == "-" || negative_number) {
      if (out.command.empty())
        out.command = a;
      else
        out.args.push_back(a);
      continue;
    }
    if (a == "--") {
      only_positional = true;
    } else if (a == "--help" || a == "-h") {
      out.help = true;
    } else if (a == "--json") {
      out.json = true;
    } else if (a == "--yes" || a == "-y") {
      out.yes = true;
    } else if (is_option(a, "--socket")) {
      if (!take_value(argv, i, "--socket", out.socket, error)) return false;
    } else if (is_option(a, "--cluster")) {
      if (!take_value(argv, i, "--cluster", out.cluster, error)) return false;
      out.cluster_given = true;
    } else if (is_option(a, "--timeout")) {
      std::string v;
      if (!take_value(argv, i, "--timeout", v, error)) return false;
      char* end = nullptr;
      const double secs = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !(secs > 0) || secs > 3600) {
        error = "--timeout takes seconds, more than 0 and at most 3600";
        return false;
      }
      out.timeout_ms = static_cast<int>(secs * 1000);
    } else {
      error = "unknown option " + a;
      return false;
    }
  }
  return true;
}

}  // namespace noxctl
