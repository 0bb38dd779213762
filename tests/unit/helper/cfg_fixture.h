// A private directory per test for the configuration file, fresh settings and tree, and
// the accepted-event set put back afterwards (it is process-wide).
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "helper/cfg_helper.h"
#include "helper/noxconfig.h"
#include "model/accepted_guard.h"
#include "model/tree.h"

class CfgFileTest : public AcceptedEventsTest {
 protected:
  void SetUp() override {
    AcceptedEventsTest::SetUp();
    std::string tmpl = (std::filesystem::temp_directory_path() / "noxcfg.XXXXXX").string();
    ASSERT_NE(mkdtemp(&tmpl[0]), nullptr);
    dir_ = tmpl;
    fresh();
  }

  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    AcceptedEventsTest::TearDown();
  }

  // New settings and an empty root, as a configuration rebuild makes them.
  void fresh() {
    cfg_ = std::make_unique<NOXConfig>("testhost");
    root_ = std::make_unique<Non_Cluster>("", nullptr);
  }

  wxString dir() const { return wxString(dir_ + "/"); }
  std::string conf() const { return dir_ + "/Noxguard.conf"; }
  std::string bad() const { return dir_ + "/Noxguard.conf.bad"; }

  bool load() { return NOXCfgHelper::load(cfg_.get(), root_.get(), dir()); }
  bool save() { return NOXCfgHelper::save(cfg_.get(), root_.get(), dir()); }

  // A fresh load of a NOX document with the given children.
  bool load_body(const std::string& body) {
    write(conf(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<NOX>" + body + "</NOX>\n");
    fresh();
    return load();
  }

  static void write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
  }

  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static mode_t mode_of(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
  }

  std::vector<std::string> dir_entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // The tree as one line: R(name,serv,model,powerby) and C(name)[...] in list order.
  static std::string describe(const Cluster& c) {
    std::ostringstream out;
    bool first = true;
    for (const auto& child : c.children) {
      if (!first) out << ' ';
      first = false;
      if (child->isRemote()) {
        const auto& r = static_cast<const Remote&>(*child);
        out << "R(" << r.name << ',' << r.getServ() << ',' << r.getModel() << ',' << r.getPowerBy() << ')';
      } else {
        out << "C(" << child->name << ")[" << describe(static_cast<const Cluster&>(*child)) << ']';
      }
    }
    return out.str();
  }

  std::string tree() const { return describe(*root_); }

  std::string dir_;
  std::unique_ptr<NOXConfig> cfg_;
  std::unique_ptr<Cluster> root_;
};
