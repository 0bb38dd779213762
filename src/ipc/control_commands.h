// The commands a user interface sends in "request:" messages: reading remotes, settings
// and reports, changing settings and remotes, editing the device tree, and the few
// commands without a verb. Every answer is a text: a value, "1" or "0", or empty.
//
// Runs on the control channel's thread. Whatever reads or changes the tree or the
// settings holds tree_mutex; work that belongs to the main thread goes there as a job.
#pragma once

#include <string>

class Cluster;
class ControlHost;

class ControlCommands {
 public:
  explicit ControlCommands(ControlHost& host) : host_(host) {}

  // The answer to a request body.
  std::string OnRequest(const std::string& body);
  // "get..." items: the value, or empty.
  std::string OnGet(const std::string& item);
  // "set..." and "fn..." items with their data.
  bool OnPoke(const std::string& item, const std::string& data);
  // Commands without a verb.
  bool OnExec(const std::string& command);

 private:
  std::string RemoteQuery(const std::string& argument, const std::string& property);
  bool SetRemote(const std::string& name, const std::string& property, const std::string& data);
  bool SetConfig(const std::string& property, const std::string& data);
  bool EditTree(const std::string& cluster, const std::string& operation, const std::string& data);
  bool Remove(Cluster& target, const std::string& name);

  ControlHost& host_;
};
