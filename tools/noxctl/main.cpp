// noxctl: reads and changes a running Noxguard agent through its local control channel.
#include <errno.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "ipc/control_client.h"
#include "ipc/report_reader.h"
#include "ipc/text_split.h"
#include "options.h"
#include "render.h"
#include "settings_view.h"

namespace noxctl {
namespace {

struct Command {
  const char* name;
  const char* usage;
  const char* help;
  std::size_t min_args, max_args;
  bool takes_cluster, takes_yes;
};

const Command kCommands[] = {
    {"status", "status [--json]", "Shows every remote: model, address, connection, shutdown status and delay.",
     0, 0, false, false},
    {"settings", "settings", "Shows the protection settings: accepted events, delay, script and action.", 0, 0,
     false, false},
    {"get", "get SETTING [EVENT-CODE]",
     "Prints one setting in the form `set` takes: pwd, shutdelay, ignore_restore, enable_script,\n"
     "script and max_script_time (shown only while the script is enabled), action, accept\n"
     "(all events, or the one EVENT-CODE 0-13). alias, lang and enable_user_run can only be set.",
     1, 2, false, false},
    {"set", "set SETTING VALUE  |  set accept EVENT-CODE on|off",
     "Changes one setting: alias, shutdelay (seconds), enable_script, enable_user_run,\n"
     "ignore_restore (on/off), script (path), max_script_time (seconds), action (0 or warning,\n"
     "1 or shutdown, 2 or sleep), accept, lang, pwd. Only lang and pwd are saved at once; use\n"
     "`save` for the others.",
     2, 3, false, false},
    {"add-remote", "add-remote NAME PORT MODEL POWER-BY [--cluster CLUSTER]",
     "Adds a UPS card by host name or address, UDP port (empty for the default), model text and\n"
     "the load segment feeding this host (LS1, LS2 or empty), below the root or CLUSTER.",
     4, 4, true, false},
    {"add-cluster", "add-cluster NAME [--cluster CLUSTER]",
     "Adds a cluster (UPSs that feed the host redundantly) below the root or CLUSTER.", 1, 1, true, false},
    {"move", "move NODE [CLUSTER]",
     "Moves a remote or cluster below CLUSTER (the root when left out). A cluster cannot move\n"
     "below itself or its own members.",
     1, 2, false, false},
    {"remove", "remove NAME [--cluster CLUSTER]",
     "Removes a remote or a cluster with everything in it (searched below CLUSTER, or everywhere).", 1, 1, true,
     false},
    {"rename-cluster", "rename-cluster CLUSTER NEW-NAME",
     "Renames a cluster; an empty CLUSTER (\"\") renames the root.", 2, 2, false, false},
    {"set-remote-model", "set-remote-model REMOTE MODEL", "Changes the model text of a remote.", 2, 2, false,
     false},
    {"set-remote-power", "set-remote-power REMOTE POWER-BY",
     "Changes the load segment (LS1, LS2 or empty) that feeds this host from a remote.", 2, 2, false, false},
    {"save", "save", "Writes the settings and the device tree to the configuration file.", 0, 0, false, false},
    {"debug-on", "debug-on", "Turns on the agent's debug trace in its event log (until it restarts).", 0, 0,
     false, false},
    {"protect-now", "protect-now [--yes]",
     "Carries out the protective action (power off or hibernate) at once, whatever the UPSs\n"
     "report. Asks first unless --yes is given.",
     0, 0, false, true},
    {"exit", "exit", "Stops the agent in order.", 0, 0, false, false},
    {"watch", "watch [--json]",
     "Turns status pushes on and prints each as a time-stamped line until interrupted (Ctrl-C).\n"
     "The state of every remote comes first, one a second.",
     0, 0, false, false},
    {"raw", "raw TEXT", "Sends TEXT as one message (with its prefix, e.g. \"request:get.exec_path\") and prints\n"
                        "the answer.",
     1, 1, false, false},
};

const char* kIntro =
    "usage: noxctl [--socket PATH] [--json] [--timeout SECONDS] COMMAND [ARGS]\n"
    "       noxctl COMMAND --help\n\n"
    "Talks to the Noxguard agent over its control socket (default /opt/nox/nox.ipc). Only root and\n"
    "the agent's own user may use it.\n\n"
    "Exit status: 0 done, 1 the agent refused or the value is not shown, 2 usage error,\n"
    "3 the agent is not running, 4 access refused, 5 no answer.\n\ncommands:\n";

volatile sig_atomic_t interrupted = 0;
void on_interrupt(int) { interrupted = 1; }

void general_help(std::ostream& out) {
  out << kIntro;
  for (const auto& c : kCommands) out << "  " << c.usage << "\n";
}

const Command* find_command(const std::string& name) {
  for (const auto& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

int usage(const std::string& message) {
  std::cerr << "noxctl: " << message << "\n(try noxctl --help)\n";
  return kUsage;
}

// One connection to the agent, opened on first use.
class Session {
 public:
  explicit Session(const Options& o) : o_(o) {}

  int open() {
    if (client_.is_open()) return kOk;
    switch (client_.connect(o_.socket)) {
      case ipc::ControlClient::Connect::Ok: return kOk;
      case ipc::ControlClient::Connect::NotRunning:
        std::cerr << "noxctl: the agent is not running (" << o_.socket << ": " << client_.error() << ")\n";
        return kNotRunning;
      case ipc::ControlClient::Connect::AccessDenied:
        std::cerr << "noxctl: access to " << o_.socket << " refused (" << client_.error()
                  << "); only root and the agent's own user may use it\n";
        return kAccess;
      default:
        std::cerr << "noxctl: cannot connect to " << o_.socket << ": " << client_.error() << "\n";
        return kNotRunning;
    }
  }

  // Sends one message and reads the agent's answer message whole.
  int exchange(const std::string& text, std::string& reply) {
    if (const int rc = open()) return rc;
    if (!client_.send(text)) {
      if (errno == EPIPE || errno == ECONNRESET) return closed_early();
      std::cerr << "noxctl: cannot send to the agent: " << client_.error() << "\n";
      return kNoAnswer;
    }
    for (;;) {
      switch (client_.read(reply, o_.timeout_ms)) {
        case ipc::ControlClient::Read::Message:
          if (ipc::starts_with(reply, "push:")) continue;  // not ours to answer
          return kOk;
        case ipc::ControlClient::Read::Closed:
          return closed_early();
        case ipc::ControlClient::Read::Timeout:
          std::cerr << "noxctl: no answer from the agent within " << o_.timeout_ms / 1000.0
                    << " s (another control program may be connected)\n";
          return kNoAnswer;
        default:
          std::cerr << "noxctl: reading from the agent failed: " << client_.error() << "\n";
          return kNoAnswer;
      }
    }
  }

  // A "request:" and the text after "response:".
  int request(const std::string& body, std::string& answer) {
    std::string reply;
    if (const int rc = exchange("request:" + body, reply)) return rc;
    if (!ipc::starts_with(reply, "response:")) {
      std::cerr << "noxctl: unexpected message from the agent: " << reply << "\n";
      return kNoAnswer;
    }
    answer = reply.substr(9);
    return kOk;
  }

  // A command answered "1" or "0".
  int change(const std::string& body, const std::string& what) {
    std::string answer;
    if (const int rc = request(body, answer)) return rc;
    if (answer == "1") return kOk;
    std::cerr << "noxctl: the agent refused to " << what << "\n";
    return kRefused;
  }

  ipc::ControlClient& client() { return client_; }

 private:
  // The agent closes a peer it does not admit at once, without a word.
  static int closed_early() {
    std::cerr << "noxctl: the agent closed the connection without an answer; only root and the agent's own"
                 " user may use it\n";
    return kAccess;
  }

  const Options& o_;
  ipc::ControlClient client_;
};

bool check_item_name(const std::string& name, const char* what) {
  if (name.find(')') == std::string::npos) return true;
  std::cerr << "noxctl: a " << what << " name with \")\" cannot be sent in this command\n";
  return false;
}

int cmd_get(Session& s, const Options& o) {
  const std::string& name = o.args[0];
  if (!is_setting(name)) return usage("unknown setting " + name);
  int code = -1;
  if (o.args.size() == 2) {
    if (name != "accept") return usage("only `get accept` takes an event code");
    code = std::atoi(o.args[1].c_str());
    if (o.args[1].find_first_not_of("0123456789") != std::string::npos || code > 13)
      return usage("event codes run from 0 to 13");
  }
  std::string answer;
  if (name == "pwd") {
    if (const int rc = s.request("get.cfg.pwd", answer)) return rc;
    std::cout << answer << "\n";
    return kOk;
  }
  if (const int rc = s.request("get.protect_setting", answer)) return rc;
  std::string value, why;
  if (!setting_from_report(answer, name, code, value, why)) {
    std::cerr << "noxctl: " << why << "\n";
    return kRefused;
  }
  std::cout << value << "\n";
  return kOk;
}

int cmd_set(Session& s, const Options& o) {
  const std::string& name = o.args[0];
  if (!is_setting(name)) return usage("unknown setting " + name);
  if ((name == "accept") != (o.args.size() == 3)) return usage("set accept EVENT-CODE on|off; others: set NAME VALUE");
  std::string value, why;
  if (!agent_value(name, o.args[1], o.args.size() == 3 ? o.args[2] : "", value, why)) return usage(why);
  return s.change("set.cfg." + name + ")" + value, "set " + name + " to " + value);
}

int cmd_protect_now(Session& s, const Options& o) {
  if (!o.yes) {
    std::cerr << "This carries out the protective action now (power off or hibernate this host),\n"
                 "whatever the UPSs report. Type yes to go on: ";
    std::string line;
    if (!std::getline(std::cin, line) || line != "yes") {
      std::cerr << "noxctl: not confirmed; nothing done\n";
      return kRefused;
    }
  }
  return s.change("save_complete", "carry out the protective action");
}

int cmd_watch(Session& s, const Options& o) {
  struct sigaction sa {};
  sa.sa_handler = on_interrupt;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no restart: the wait for data must end on Ctrl-C
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  std::string reply;
  if (const int rc = s.exchange("start:", reply)) return rc;
  if (reply != "response:1" && reply != "response:0") {
    std::cerr << "noxctl: the agent did not switch pushes on (" << reply << ")\n";
    return kRefused;
  }
  while (!interrupted) {
    std::string text;
    switch (s.client().read(text, 1000)) {
      case ipc::ControlClient::Read::Message:
        if (ipc::starts_with(text, "push:")) {
          const std::string body = text.substr(5);
          std::cout << (o.json ? push_json(body, std::time(nullptr)) : push_line(body, std::time(nullptr)))
                    << std::flush;
        }
        break;
      case ipc::ControlClient::Read::Timeout:
      case ipc::ControlClient::Read::Interrupted:
        break;
      case ipc::ControlClient::Read::Closed:
        std::cerr << "noxctl: the agent closed the connection\n";
        return kNoAnswer;
      default:
        std::cerr << "noxctl: reading from the agent failed: " << s.client().error() << "\n";
        return kNoAnswer;
    }
  }
  s.client().send("stop:");
  return kOk;
}

int run(const Options& o, const Command& c) {
  Session s(o);
  const std::string cluster = o.cluster;
  const std::string& cmd = o.command;
  std::string answer;
  if (cmd == "status") {
    if (const int rc = s.request("get.all_rt_info", answer)) return rc;
    const ipc::ClusterReport tree = ipc::read_full_status_report(answer);
    std::cout << (o.json ? status_json(tree) : status_text(tree));
    return kOk;
  }
  if (cmd == "settings") {
    if (const int rc = s.request("get.protect_setting", answer)) return rc;
    std::cout << answer << "\n";
    return kOk;
  }
  if (cmd == "get") return cmd_get(s, o);
  if (cmd == "set") return cmd_set(s, o);
  if (cmd == "add-remote") {
    if (!check_item_name(cluster, "cluster")) return kUsage;
    return s.change("fn.cluster.add_remote(" + cluster + ")" + ipc::join_escaped(o.args, ','),
                    "add remote " + o.args[0]);
  }
  if (cmd == "add-cluster") {
    if (!check_item_name(cluster, "cluster")) return kUsage;
    return s.change("fn.cluster.add_cluster(" + cluster + ")" + o.args[0], "add cluster " + o.args[0]);
  }
  if (cmd == "move") {
    const std::string target = o.args.size() > 1 ? o.args[1] : "";
    if (!check_item_name(target, "cluster")) return kUsage;
    return s.change("fn.cluster.add(" + target + ")" + o.args[0],
                    "move " + o.args[0] + (target.empty() ? " to the root" : " into " + target));
  }
  if (cmd == "remove") {
    if (!check_item_name(cluster, "cluster")) return kUsage;
    return s.change("fn.cluster.remove(" + cluster + ")" + o.args[0], "remove " + o.args[0]);
  }
  if (cmd == "rename-cluster") {
    if (!check_item_name(o.args[0], "cluster")) return kUsage;
    return s.change("fn.cluster.set_name(" + o.args[0] + ")" + o.args[1], "rename cluster " + o.args[0]);
  }
  if (cmd == "set-remote-model" || cmd == "set-remote-power") {
    if (!check_item_name(o.args[0], "remote")) return kUsage;
    const std::string property = cmd == "set-remote-model" ? "type" : "power";
    return s.change("set.remote." + property + "(" + o.args[0] + ")" + o.args[1], "change remote " + o.args[0]);
  }
  if (cmd == "save") return s.change("save_config", "save its configuration");
  if (cmd == "debug-on") return s.change("run_at_debug_mode", "turn debug mode on");
  if (cmd == "exit") return s.change("face_exit", "exit");
  if (cmd == "protect-now") return cmd_protect_now(s, o);
  if (cmd == "watch") return cmd_watch(s, o);
  if (cmd == "raw") {
    std::string reply;
    if (const int rc = s.exchange(o.args[0], reply)) return rc;
    std::cout << reply << "\n";
    return reply == "response:0" ? kRefused : kOk;
  }
  return usage(std::string("no handler for ") + c.name);
}

}  // namespace
}  // namespace noxctl

int main(int argc, char** argv) {
  using namespace noxctl;
  signal(SIGPIPE, SIG_IGN);
  Options o;
  std::string error;
  if (!parse_options(std::vector<std::string>(argv + 1, argv + argc), o, error)) return usage(error);
  if (o.command.empty() || o.command == "help") {
    const Command* c = o.args.empty() ? nullptr : find_command(o.args[0]);
    if (c) {
      std::cout << "usage: noxctl " << c->usage << "\n\n" << c->help << "\n";
      return kOk;
    }
    general_help(o.help || o.command == "help" ? std::cout : std::cerr);
    return o.help || o.command == "help" ? kOk : kUsage;
  }
  const Command* c = find_command(o.command);
  if (!c) return usage("unknown command " + o.command);
  if (o.help) {
    std::cout << "usage: noxctl " << c->usage << "\n\n" << c->help << "\n";
    return kOk;
  }
  if (o.args.size() < c->min_args || o.args.size() > c->max_args) return usage("usage: noxctl " + std::string(c->usage));
  if (o.cluster_given && !c->takes_cluster) return usage(std::string(c->name) + " does not take --cluster");
  if (o.yes && !c->takes_yes) return usage(std::string(c->name) + " does not take --yes");
  if (o.json && o.command != "status" && o.command != "watch") return usage("--json applies to status and watch");
  return run(o, *c);
}
