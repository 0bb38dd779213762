// The noxctl program, run as a separate process against a server in this process.
#include <fcntl.h>
#include <libgen.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ipc/control_client.h"
#include "ipc/ipc_server.h"
#include "ipc/nox_ipc_server.h"
#include "ipc_test_support.h"
#include "logger/log_ops.h"

namespace {

// build/noxctl sits beside build/test_ipc.
std::string noxctl_path() {
  char self[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "noxctl";
  return std::string(::dirname(self)) + "/noxctl";
}

class Noxctl {
 public:
  struct Result {
    int status = -1;
    std::string out, err;
  };

  void start(const std::vector<std::string>& args, const std::string& input = "") {
    int in[2], out[2], err[2];
    ASSERT_EQ(::pipe(in), 0);
    ASSERT_EQ(::pipe(out), 0);
    ASSERT_EQ(::pipe(err), 0);
    const std::string path = noxctl_path();
    std::vector<std::string> all = {path};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_ = ::fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
      ::execv(path.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (!input.empty()) [[maybe_unused]] ssize_t w = ::write(in[1], input.data(), input.size());
    ::close(in[1]);
    out_fd_ = out[0];
    err_fd_ = err[0];
  }

  // Collects output until out holds text (or the program ends, or the time is up).
  bool wait_for_output(const std::string& text, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (result_.out.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !pump(static_cast<int>(left.count()))) return result_.out.find(text) != std::string::npos;
    }
    return true;
  }

  void interrupt() { ::kill(pid_, SIGINT); }

  Result finish() {
    while (pump(10000)) {
    }
    int st = 0;
    ::waitpid(pid_, &st, 0);
    result_.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    ::close(out_fd_);
    ::close(err_fd_);
    return result_;
  }

 private:
  // Reads what is there; false once both outputs are closed or nothing came in time.
  bool pump(int ms) {
    pollfd p[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
    if (out_done_ && err_done_) return false;
    if (::poll(p, 2, ms) <= 0) return false;
    char buf[4096];
    for (int i = 0; i < 2; ++i) {
      if (!p[i].revents) continue;
      const ssize_t n = ::read(p[i].fd, buf, sizeof buf);
      if (n <= 0) {
        (i == 0 ? out_done_ : err_done_) = true;
        p[i].fd = -1;
      } else {
        (i == 0 ? result_.out : result_.err).append(buf, static_cast<std::size_t>(n));
      }
    }
    return true;
  }

  pid_t pid_ = -1;
  int out_fd_ = -1, err_fd_ = -1;
  bool out_done_ = false, err_done_ = false;
  Result result_;
};

class NoxctlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_events_ = accepted_events->bits();
    saved_debug_ = debug_mode.load();
    ASSERT_EQ(::access(noxctl_path().c_str(), X_OK), 0) << "build the noxctl target: " << noxctl_path();
    path = dir.file("nox.ipc");
    host.sink = &server;
    add_connected(host.tree, "ups1", 30);
    ClusterPtr rack = host.tree.addCluster("rack");
    RemotePtr r2 = rack->addRemote("ups2", "", "M2", "LS1");
    r2->setConnStatus(NotConnected);
    ASSERT_TRUE(server.Create(path));
    // Shorter than the agent's second, but longer than the pause that ends a frame
    // without a zero byte.
    server.connection()->SetPushLimits(64, std::chrono::milliseconds(300));
  }
  void TearDown() override {
    for (int i = 0; i < kEventCount; ++i) accepted_events->set(i, (saved_events_ >> i) & 1u);
    debug_mode = saved_debug_;  // `debug-on` turns it on for the whole process
  }

  Noxctl::Result run(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"--socket", path});
    Noxctl p;
    p.start(args, input);
    return p.finish();
  }

  // Runs the posted jobs and returns their calls, as the main thread would.
  std::vector<std::string> jobs() { return host.run_jobs(); }

  TempDir dir;
  std::string path;
  FakeHost host;
  NOXIPCServer server{host};

 private:
  uint16_t saved_events_ = 0;
  bool saved_debug_ = false;
};

TEST_F(NoxctlTest, StatusAsTextAndJson) {
  auto r = run({"status"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "ups1\n"
            "  Device Mode: Model-ups1\n"
            "  IP Address: 127.0.0.2\n"
            "  Host Name: host-ups1\n"
            "  Connection Status: Connected\n"
            "  Shutdown Status: Normal\n"
            "  UPS Shutdown Delay: 30s\n"
            "Cluster rack\n"
            "  ups2\n"
            "    Device Mode: M2\n"
            "    IP Address: \n"
            "    Host Name: Unknown\n"
            "    Connection Status: Not Connected\n"
            "    Shutdown Status: Unknown\n"
            "    UPS Shutdown Delay: Unknown\n");
  r = run({"status", "--json"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"remotes\":[{\"name\":\"ups1\",\"model\":\"Model-ups1\",\"ip\":\"127.0.0.2\",\"host_name\":\"host-ups1\","
            "\"connection\":\"Connected\",\"shutdown_status\":\"Normal\",\"ups_shutdown_delay\":30}],"
            "\"clusters\":[{\"name\":\"rack\",\"remotes\":[{\"name\":\"ups2\",\"model\":\"M2\",\"ip\":\"\","
            "\"host_name\":null,\"connection\":\"Not Connected\",\"shutdown_status\":\"Unknown\","
            "\"ups_shutdown_delay\":null}],\"clusters\":[]}]}\n");
}

TEST_F(NoxctlTest, GetReadsWhatTheAgentShows) {
  host.cfg.set_shut_delay(120);
  host.cfg.set_action(2);
  host.cfg.set_pwd("s3cret");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  } cases[] = {
      {{"get", "shutdelay"}, 0, "120\n"},
      {{"get", "action"}, 0, "2\n"},
      {{"get", "pwd"}, 0, "s3cret\n"},
      {{"get", "ignore_restore"}, 0, "0\n"},
      {{"get", "enable_script"}, 0, "0\n"},
      {{"get", "accept", "0"}, 0, "1\n"},
      {{"get", "accept", "2"}, 0, "0\n"},
      {{"get", "script"}, 1, ""},  // not shown while the script is off
      {{"get", "alias"}, 1, ""},   // never shown
      {{"get", "colour"}, 2, ""},
      {{"get", "accept", "14"}, 2, ""},
  };
  for (const auto& c : cases) {
    const auto r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[1] << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.args[1];
  }
  const auto all = run({"get", "accept"});
  EXPECT_EQ(all.out.rfind("0 Ac Fail: enable\n1 Battery Low: enable\n2 UPS Overload: disable\n", 0), 0u) << all.out;
}

TEST_F(NoxctlTest, SetChangesSettingsAndReportsRefusals) {
  struct Case {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"set", "shutdelay", "30"}, 0},    {{"set", "shutdelay", "-1"}, 1}, {{"set", "shutdelay", "30s"}, 1},
      {{"set", "enable_script", "on"}, 0}, {{"set", "enable_script", "maybe"}, 2},
      {{"set", "action", "sleep"}, 0},    {{"set", "action", "7"}, 1},
      {{"set", "accept", "3", "off"}, 0}, {{"set", "accept", "3"}, 2},
      {{"set", "script", "/root/a b.sh"}, 0}, {{"set", "colour", "red"}, 2},
  };
  for (const auto& c : cases) {
    const auto r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[1] << " " << c.args[2] << ": " << r.err;
    if (c.status == 1) {
      EXPECT_NE(r.err.find("the agent refused"), std::string::npos) << r.err;
    }
  }
  EXPECT_EQ(host.cfg.shut_delay(), 30u);
  EXPECT_TRUE(host.cfg.enable_script());
  EXPECT_EQ(host.cfg.action(), 2);
  EXPECT_FALSE(host.cfg.is_event_accepted(3));
  EXPECT_EQ(host.cfg.script(), "/root/a b.sh");
  accepted_events->set(3, true);
  EXPECT_EQ(run({"get", "script"}).out, "/root/a b.sh\n");  // shown now that the script is on
}

TEST_F(NoxctlTest, TreeEdits) {
  struct Case {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"add-cluster", "room"}, 0},
      {{"add-cluster", "shelf", "--cluster", "room"}, 0},
      {{"add-remote", "ups,3", "", "M3", "LS2", "--cluster", "shelf"}, 0},
      {{"add-remote", "ups1", "2993", "M", ""}, 1},  // the name is taken
      {{"move", "ups1", "shelf"}, 0},
      {{"move", "room", "shelf"}, 1},  // below its own member
      {{"set-remote-model", "ups1", "Big"}, 0},
      {{"set-remote-power", "ups2", "LS2"}, 0},
      {{"rename-cluster", "shelf", "Shelf"}, 0},
      {{"rename-cluster", "a)b", "x"}, 2},
      {{"remove", "rack"}, 0},
      {{"remove", "nobody"}, 1},
      {{"add-cluster"}, 2},
  };
  for (const auto& c : cases) {
    const auto r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << ": " << r.err;
  }
  wxMutexLocker lock(tree_mutex);  // the server's thread made the changes
  const Cluster* shelf = host.tree.findCluster("Shelf");
  ASSERT_NE(shelf, nullptr);
  EXPECT_EQ(shelf->parent, host.tree.findCluster("room"));
  ASSERT_NE(host.tree.findRemote("ups1"), nullptr);
  EXPECT_EQ(host.tree.findRemote("ups1")->parent, shelf);
  EXPECT_EQ(host.tree.findRemote("ups1")->getModel(), "Big");
  ASSERT_NE(host.tree.findRemote("ups,3"), nullptr);
  EXPECT_EQ(host.tree.findRemote("ups,3")->getServ(), "2993");  // empty port: the default
  EXPECT_EQ(host.tree.find("rack"), nullptr);
}

TEST_F(NoxctlTest, CommandsThatBecomeJobs) {
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::vector<std::string> jobs;
  } cases[] = {
      {{"save"}, "", 0, {"save"}},
      {{"exit"}, "", 0, {"exit"}},
      {{"debug-on"}, "", 0, {}},
      {{"protect-now"}, "no\n", 1, {}},
      {{"protect-now"}, "", 1, {}},
      {{"protect-now"}, "yes\n", 0, {"shut"}},
      {{"protect-now", "--yes"}, "", 0, {"shut"}},
  };
  for (const auto& c : cases) {
    const auto r = run(c.args, c.input);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.input << ": " << r.err;
    EXPECT_EQ(jobs(), c.jobs) << c.args[0] << " " << c.input;
  }
}

TEST_F(NoxctlTest, RawMessages) {
  auto r = run({"raw", "request:get.exec_path"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "response:/srv/nox/\n");
  r = run({"raw", "hello"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "response:0\n");
}

TEST_F(NoxctlTest, WatchPrintsEachPushUntilInterrupted) {
  for (bool json : {false, true}) {
    Noxctl p;
    std::vector<std::string> args = {"--socket", path, "watch"};
    if (json) args.push_back("--json");
    p.start(args);
    // "start:" schedules the full status push; run it as the main thread would.
    for (int i = 0; i < 200 && host.pending_jobs() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(jobs(), std::vector<std::string>{"push"});
    server.Advise("shut_seq:2120");
    server.Advise("timeout:ups1");
    ASSERT_TRUE(p.wait_for_output(json ? "\"kind\":\"timeout\"" : "no answer from ups1", 5000));
    p.interrupt();
    const auto r = p.finish();
    EXPECT_EQ(r.status, 0) << r.err;
    // The countdown overtakes the status backlog of the full status push.
    const std::string expected[] = {
        json ? "\"kind\":\"shut_seq\",\"stage\":2,\"seconds\":120" : "  shutdown delay: 120 s left\n",
        json ? "\"kind\":\"remote_info\",\"name\":\"ups1\",\"connection\":2,\"ups_shutdown_delay\":30"
             : "  ups1: Connected, UPS shutdown delay 30 s, power source 0, no warnings, ip 127.0.0.2, host host-ups1\n",
        json ? "\"kind\":\"remote_info\",\"name\":\"ups2\",\"connection\":1,\"ups_shutdown_delay\":null"
             : "  ups2: Not Connected, UPS shutdown delay unknown",
        json ? "\"kind\":\"timeout\",\"names\":[\"ups1\"]" : "  no answer from ups1\n",
    };
    std::size_t at = 0;
    for (const auto& e : expected) {
      const std::size_t hit = r.out.find(e, at);
      EXPECT_NE(hit, std::string::npos) << e << "\nin:\n" << r.out;
      if (hit != std::string::npos) at = hit;
    }
  }
}

TEST_F(NoxctlTest, ClearFailures) {
  auto r = run({"--socket", dir.file("none.ipc"), "status"});  // the later --socket wins
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("the agent is not running"), std::string::npos) << r.err;

  ipc::ControlClient occupant;  // holds the only slot
  ASSERT_EQ(occupant.connect(path), ipc::ControlClient::Connect::Ok);
  std::string answer;
  ASSERT_EQ(occupant.ask("stop:", answer, 3000), ipc::ControlClient::Read::Message);
  r = run({"--timeout", "0.3", "status"});
  EXPECT_EQ(r.status, 5);
  EXPECT_NE(r.err.find("no answer from the agent"), std::string::npos) << r.err;
}

TEST(NoxctlDefaultSocket, FindsTheAgentWithoutBeingTold) {
  if (const char* s = std::getenv("NOX_SANDBOX"); !s || std::string(s) != "1")
    GTEST_SKIP() << "uses /opt/nox, which only the sandbox makes private";
  FakeHost host;
  NOXIPCServer server(host);
  ASSERT_TRUE(server.Create(wxString("/opt/nox/nox.ipc")));
  Noxctl p;
  p.start({"raw", "request:get.exec_path"});
  const auto r = p.finish();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "response:/srv/nox/\n");
}

TEST(NoxctlAccess, APeerTheAgentTurnsAwayIsTold) {
  class Refusing : public IPCServerConnection {
    bool AcceptPeer(uid_t) override { return false; }
  };
  class RefusingServer : public IPCServer {
    IPCServerConnection* OnAcceptConnection() override { return new Refusing; }
  };
  TempDir dir;
  RefusingServer server;
  ASSERT_TRUE(server.Create(dir.file("r.ipc")));
  Noxctl p;
  p.start({"--socket", dir.file("r.ipc"), "settings"});
  const auto r = p.finish();
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("only root and the agent's own user"), std::string::npos) << r.err;
}

TEST(NoxctlHelp, EveryCommandHasHelp) {
  for (const char* cmd : {"status", "settings", "get", "set", "add-remote", "add-cluster", "move", "remove",
                          "rename-cluster", "set-remote-model", "set-remote-power", "save", "debug-on",
                          "protect-now", "exit", "watch", "raw"}) {
    Noxctl p;
    p.start({cmd, "--help"});
    const auto r = p.finish();
    EXPECT_EQ(r.status, 0) << cmd;
    EXPECT_EQ(r.out.rfind(std::string("usage: noxctl ") + cmd, 0), 0u) << r.out;
  }
  struct Case {
    std::vector<std::string> args;
    int status;
  } cases[] = {{{"--help"}, 0}, {{}, 2}, {{"frobnicate"}, 2}, {{"status", "extra"}, 2},
               {{"save", "--yes"}, 2}, {{"settings", "--json"}, 2}, {{"--socket"}, 2}};
  for (const auto& c : cases) {
    Noxctl p;
    p.start(c.args);
    EXPECT_EQ(p.finish().status, c.status) << (c.args.empty() ? "(none)" : c.args[0]);
  }
}

}  // namespace
