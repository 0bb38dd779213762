#include "commands.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <strings.h>
#include <vector>

namespace {

const char* const kKeys[kEventCount] = {"AcFail", "BatteryLow", "Overload", "OverTp", "WSS",
                                        "SSS",    "EMPTp",      "EMPHum",   "EMPCt1", "EMPCt2",
                                        "Capacity", "RemainTime", "LS1",    "LS2"};

bool to_number(const std::string& s, long lo, long hi, long& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  out = std::strtol(s.c_str(), &end, 10);
  return !*end && out >= lo && out <= hi;
}

// The cards a selector names: "all", an index, "a-b" (indexes) or a card's "host:port".
bool select(const Fleet& fleet, const std::string& sel, std::vector<std::size_t>& out) {
  out.clear();
  if (sel == "all") {
    for (std::size_t i = 0; i < fleet.size(); ++i) out.push_back(i);
    return true;
  }
  const auto dash = sel.find('-');
  if (dash != std::string::npos && dash > 0) {
    long a = 0, b = 0;
    const long last = static_cast<long>(fleet.size()) - 1;
    if (to_number(sel.substr(0, dash), 0, last, a) && to_number(sel.substr(dash + 1), a, last, b)) {
      for (long i = a; i <= b; ++i) out.push_back(static_cast<std::size_t>(i));
      return true;
    }
  }
  const int i = fleet.find(sel);
  if (i < 0) return false;
  out.push_back(static_cast<std::size_t>(i));
  return true;
}

std::string stamp(double t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", t);
  return buf;
}

const char* kHelp =
    "event <cards> <code|name> on|off   set or clear an event\n"
    "warn <cards> <code|name> <0-255>    warning value (0 = none)\n"
    "delay <cards> <0-65535>             UPS shutdown delay in seconds\n"
    "source <cards> <0-255>              power source (1 load segment, 2 master)\n"
    "silent <cards> | resume <cards>     stop or start answering\n"
    "notify <cards>                      send a notification now\n"
    "dump                                one line per card\n"
    "queries <cards>                     the last queries each card got\n"
    "quit                                end the simulator\n"
    "<cards>: all, an index, a range a-b, or host:port\n";

}  // namespace

int event_code(const std::string& text) {
  long n = 0;
  if (to_number(text, 0, kEventCount - 1, n)) return static_cast<int>(n);
  for (int i = 0; i < kEventCount; ++i)
    if (strcasecmp(text.c_str(), kKeys[i]) == 0) return i;
  return -1;
}

const char* event_key(int code) { return code >= 0 && code < kEventCount ? kKeys[code] : "?"; }

std::string describe(const Card& c) {
  std::string events, warns;
  for (int i = 0; i < kEventCount; ++i) {
    if (c.state.events[i]) events += std::string(events.empty() ? "" : ",") + kKeys[i];
    if (c.state.warnings[i])
      warns += std::string(warns.empty() ? "" : ",") + kKeys[i] + ":" + std::to_string(c.state.warnings[i]);
  }
  std::string s = "card=" + std::to_string(c.index) + " addr=" + c.label + " events=" + (events.empty() ? "-" : events) +
                  " warn=" + (warns.empty() ? "-" : warns) + " delay=" + std::to_string(c.state.delay) +
                  " source=" + std::to_string(c.state.source) + " silent=" + (c.silent ? "yes" : "no") +
                  " queries=" + std::to_string(c.queries) + " answered=" + std::to_string(c.answered) +
                  " notified=" + std::to_string(c.notified) + " invalid=" + std::to_string(c.invalid) +
                  " send_errors=" + std::to_string(c.send_errors);
  if (c.agent_len) s += " agent=" + endpoint_text(reinterpret_cast<const sockaddr*>(&c.agent), c.agent_len);
  if (!c.recent.empty()) {
    const QueryRecord& q = c.recent.back();
    s += " last_query=" + stamp(q.time) + " suffix=" + (q.suffix.empty() ? "-" : q.suffix) + " alias=" + q.alias;
  }
  return s;
}

CommandResult run_command(Fleet& fleet, const std::string& line, bool notify_on_change) {
  CommandResult r;
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string t; in >> t;) w.push_back(t);
  auto fail = [&r](const std::string& why) {
    r.text += "error: " + why + "\n";
    return r;
  };
  if (w.empty() || w[0][0] == '#') {
    r.text = "ok\n";
    return r;
  }
  const std::string& cmd = w[0];

  if (cmd == "quit" || cmd == "exit") {
    r.quit = true;
    r.text = "ok\n";
    return r;
  }
  if (cmd == "help") {
    r.text = std::string(kHelp) + "ok\n";
    return r;
  }
  if (cmd == "dump") {
    for (std::size_t i = 0; i < fleet.size(); ++i) r.text += describe(fleet.card(i)) + "\n";
    r.text += "ok\n";
    return r;
  }

  static const char* const kCardCommands[] = {"event", "warn", "delay", "source", "silent",
                                              "resume", "notify", "queries"};
  bool known = false;
  for (const char* k : kCardCommands) known = known || cmd == k;
  if (!known) return fail("unknown command: " + cmd + " (try help)");

  std::vector<std::size_t> cards;
  if (w.size() < 2) return fail(cmd + ": which cards?");
  if (!select(fleet, w[1], cards)) return fail("no such card: " + w[1]);

  bool changes = false;
  if (cmd == "event" || cmd == "warn") {
    if (w.size() != 4) return fail(cmd == "event" ? "usage: event <cards> <code|name> on|off"
                                                  : "usage: warn <cards> <code|name> <0-255>");
    const int code = event_code(w[2]);
    if (code < 0) return fail("no such event: " + w[2]);
    long value = 0;
    if (cmd == "event") {
      if (w[3] != "on" && w[3] != "off") return fail("event state must be on or off");
      for (auto i : cards) fleet.card(i).state.events[code] = w[3] == "on";
    } else {
      if (!to_number(w[3], 0, 255, value)) return fail("warning value must be 0 to 255");
      for (auto i : cards) fleet.card(i).state.warnings[code] = static_cast<uint8_t>(value);
    }
    changes = true;
  } else if (cmd == "delay") {
    long v = 0;
    if (w.size() != 3 || !to_number(w[2], 0, 65535, v)) return fail("usage: delay <cards> <0-65535>");
    for (auto i : cards) fleet.card(i).state.delay = static_cast<uint16_t>(v);
    changes = true;
  } else if (cmd == "source") {
    long v = 0;
    if (w.size() != 3 || !to_number(w[2], 0, 255, v)) return fail("usage: source <cards> <0-255>");
    for (auto i : cards) fleet.card(i).state.source = static_cast<uint8_t>(v);
    changes = true;
  } else if (cmd == "silent" || cmd == "resume") {
    if (w.size() != 2) return fail("usage: " + cmd + " <cards>");
    for (auto i : cards) fleet.card(i).silent = cmd == "silent";
  } else if (cmd == "notify") {
    if (w.size() != 2) return fail("usage: notify <cards>");
    std::size_t sent = 0;
    for (auto i : cards) sent += fleet.notify(fleet.card(i)) ? 1 : 0;
    r.text = "notified " + std::to_string(sent) + " of " + std::to_string(cards.size()) + "\n";
    if (sent == 0) return fail("nothing sent (silent cards, or no agent known yet)");
  } else if (cmd == "queries") {
    if (w.size() != 2) return fail("usage: queries <cards>");
    for (auto i : cards) {
      const Card& c = fleet.card(i);
      for (const auto& q : c.recent)
        r.text += "card=" + std::to_string(c.index) + " time=" + stamp(q.time) + " from=" + q.from +
                  " suffix=" + (q.suffix.empty() ? "-" : q.suffix) + " alias=" + q.alias + "\n";
    }
  }

  if (changes && notify_on_change)
    for (auto i : cards) fleet.notify(fleet.card(i));
  r.text += "ok\n";
  return r;
}
