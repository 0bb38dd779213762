#include "helper/cfg_helper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <wx/log.h>
#include <wx/mstream.h>
#include <wx/intl.h>
#include <wx/xml/xml.h>

#include <cerrno>
#include <memory>
#include <string>
#include <unordered_set>

#include "helper/atomic_file.h"
#include "helper/base64.h"
#include "helper/noxconfig.h"
#include "helper/parse_u32.h"
#include "helper/xml_guard.h"
#include "model/tree.h"

namespace {

constexpr mode_t kFileMode = S_IRUSR | S_IWUSR;  // the file holds the password

// Event elements in file order, which is not code order.
constexpr struct {
  const char* name;
  int code;
} kEventElements[] = {
    {"AcFail", AcFail}, {"BatteryLow", BatteryLow}, {"Overload", Overload}, {"OverTp", OverTp},
    {"EMPTp", EMPTp},   {"EMPHum", EMPHum},         {"EMPCt1", EMPCt1},     {"EMPCt2", EMPCt2},
    {"WSS", WSS},       {"SSS", SSS},               {"Capacity", Capacity}, {"RemainTime", RemainTime},
    {"LS1", LS1},       {"LS2", LS2},
};

// Texts are narrow in the settings and the tree and wide in the XML library; the process
// locale converts between them and a text it cannot convert becomes empty.
std::string narrow(const wxString& text) {
  const wxCharBuffer buf = text.mb_str(wxConvLibc);
  return buf.data() ? std::string(buf.data(), buf.length()) : std::string();
}

wxString widen(const std::string& text) { return wxString(text.data(), wxConvLibc, text.size()); }

bool is_ascii(const wxString& text) {
  for (const wxUniChar c : text)
    if (c.GetValue() > 0x7F) return false;
  return true;
}

// Empty when the directory's name does not convert, so that nothing lands elsewhere.
std::string file_path(const wxString& dir, const char* name) {
  const std::string d = narrow(dir);
  if (d.empty() && !dir.empty()) return std::string();
  return d + name;
}

// Opens only a regular file, and without blocking, so a FIFO or device put in the file's
// place cannot stall the caller.
int open_regular(const std::string& path, struct stat& st) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}

// The whole file, or false when it is missing, not a regular file or larger than max.
bool read_small_file(const std::string& path, std::size_t max, std::string& out) {
  struct stat st {};
  const int fd = open_regular(path, st);
  if (fd < 0) return false;
  bool ok = static_cast<std::size_t>(st.st_size) <= max;
  std::string bytes;
  char buf[64 * 1024];
  while (ok) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    bytes.append(buf, static_cast<std::size_t>(n));
    ok = bytes.size() <= max;  // it may have grown since fstat
  }
  close(fd);
  if (ok) out.swap(bytes);
  return ok;
}

bool is_element(const wxXmlNode* node, const char* name) {
  return node->GetType() == wxXML_ELEMENT_NODE && node->GetName() == name;
}

// Reads the device tree. Names must be unique in the whole tree; the set mirrors the tree
// so that a large file costs one lookup per node instead of a walk of the tree.
class TreeReader {
 public:
  explicit TreeReader(Cluster* root) : root_(root) { collect(*root); }

  void read_list(const wxXmlNode* list) {
    for (const wxXmlNode* n = list->GetChildren(); n; n = n->GetNext()) {
      if (is_element(n, "Cluster"))
        read_cluster(n);
      else if (is_element(n, "Remote"))
        read_remote(n, root_);
    }
  }

 private:
  void collect(const Cluster& c) {
    for (const auto& child : c.children) {
      names_.insert(child->name);
      if (!child->isRemote()) collect(static_cast<const Cluster&>(*child));
    }
  }

  void read_cluster(const wxXmlNode* node) {
    wxString wide;
    if (!node->GetAttribute("name", &wide) || !is_ascii(wide)) return;
    const std::string name = narrow(wide);
    if (name == root_->name || names_.count(name)) return;
    auto cluster = std::make_shared<Cluster>(name, root_);
    root_->children.push_back(cluster);
    names_.insert(name);
    for (const wxXmlNode* n = node->GetChildren(); n; n = n->GetNext())
      if (is_element(n, "Remote")) read_remote(n, cluster.get());
  }

  void read_remote(const wxXmlNode* node, Cluster* parent) {
    const std::string name = narrow(node->GetAttribute("name", wxEmptyString));
    if (name.empty() || names_.count(name)) return;
    const std::string serv = narrow(node->GetAttribute("serv", wxEmptyString));
    const wxString model = node->GetAttribute("model", wxEmptyString);
    std::string powerby = narrow(node->GetAttribute("powerby", wxEmptyString));
    if (powerby != "Master" && powerby != "LS1" && powerby != "LS2") powerby = "Master";
    parent->children.push_back(
        std::make_shared<Remote>(name, serv, is_ascii(model) ? narrow(model) : std::string(), powerby, parent));
    names_.insert(name);
  }

  Cluster* root_;
  std::unordered_set<std::string> names_;
};

// One setting element; other names are ignored.
void apply_setting(NOXConfig* cfg, const wxString& name, const wxString& text) {
  for (const auto& e : kEventElements) {
    if (name == e.name) {
      cfg->set_event_accept(e.code, NOXCfgHelper::parse_bool(text, true));
      return;
    }
  }
  uint32_t number = 0;
  if (name == "Alias") {
    cfg->set_alias(narrow(text));
  } else if (name == "CancelIf") {
    cfg->set_cancel_if(NOXCfgHelper::parse_bool(text, true));
  } else if (name == "ShutDelay") {
    if (parse_u32(text, number)) cfg->set_shut_delay(number);
  } else if (name == "EnableScript") {
    cfg->set_enable_script(NOXCfgHelper::parse_bool(text, false));
  } else if (name == "EnableUserRun") {
    cfg->set_enable_user_run(NOXCfgHelper::parse_bool(text, false));
  } else if (name == "Script") {
    cfg->set_script(narrow(text));
  } else if (name == "MaxScriptTime") {
    if (parse_u32(text, number)) cfg->set_max_script_time(number);
  } else if (name == "Action") {
    if (parse_u32(text, number)) cfg->set_action(static_cast<int32_t>(number));
  } else if (name == "Pwd") {
    if (!text.empty() && is_ascii(text)) cfg->set_pwd(base64_decode(narrow(text)));
  } else if (name == "Lang") {
    if (wxLocale::FindLanguageInfo(text)) cfg->set_lang(narrow(text));
  } else if (name == "ServerUDPPort") {
    if (parse_u32(text, number)) cfg->set_server_udp_port(number);
  }
}

// Appends children in order without walking the list for every one.
class Appender {
 public:
  explicit Appender(wxXmlNode* parent) : parent_(parent) {}

  wxXmlNode* element(const char* name) {
    auto* node = new wxXmlNode(wxXML_ELEMENT_NODE, name);
    parent_->InsertChildAfter(node, last_);
    last_ = node;
    return node;
  }

  void text(const char* name, const wxString& value) {
    element(name)->AddChild(new wxXmlNode(wxXML_TEXT_NODE, wxEmptyString, value));
  }

  void flag(const char* name, bool on) { text(name, on ? "1" : "0"); }
  void unsigned_number(const char* name, uint32_t v) { text(name, wxString::Format("%u", v)); }

 private:
  wxXmlNode* parent_;
  wxXmlNode* last_ = nullptr;
};

// Collects what the XML writer produces. A memory stream of the library grows by exactly
// each small write, which costs a copy of everything so far whenever realloc has to move.
class StringSink : public wxOutputStream {
 public:
  std::string bytes;

 protected:
  size_t OnSysWrite(const void* buffer, size_t size) override {
    bytes.append(static_cast<const char*>(buffer), size);
    return size;
  }
};

void add_remote(Appender& list, const std::string& name, const std::string& serv, const std::string& model,
                const std::string& powerby) {
  wxXmlNode* node = list.element("Remote");
  node->AddAttribute("name", widen(name));
  node->AddAttribute("serv", widen(serv));
  node->AddAttribute("model", widen(model));
  node->AddAttribute("powerby", widen(powerby));
}

void add_tree(wxXmlNode* list_node, const Cluster& root) {
  Appender list(list_node);
  if (root.children.empty()) {
    // A template for whoever edits the file by hand; the empty names keep it from loading.
    add_remote(list, "", Remote::kDefaultServ, "", "Master");
    wxXmlNode* cluster = list.element("Cluster");
    cluster->AddAttribute("name", "");
    Appender members(cluster);
    add_remote(members, "", Remote::kDefaultServ, "", "Master");
    return;
  }
  for (const auto& child : root.children) {
    if (child->isRemote()) {
      const auto& r = static_cast<const Remote&>(*child);
      add_remote(list, r.name, r.getServ(), r.getModel(), r.getPowerBy());
      continue;
    }
    const auto& c = static_cast<const Cluster&>(*child);
    wxXmlNode* cluster = list.element("Cluster");
    cluster->AddAttribute("name", widen(c.name));
    Appender members(cluster);
    for (const auto& member : c.children) {
      if (!member->isRemote()) continue;  // the file has no clusters inside clusters
      const auto& r = static_cast<const Remote&>(*member);
      add_remote(members, r.name, r.getServ(), r.getModel(), r.getPowerBy());
    }
  }
}

}  // namespace

bool NOXCfgHelper::parse_bool(const wxString& text, bool def) {
  const wxString lower = text.Lower();
  if (text.StartsWith("0") || lower.StartsWith("false")) return false;
  if (text.StartsWith("1") || lower.StartsWith("true")) return true;
  return def;
}

bool NOXCfgHelper::load(NOXConfig* cfg, Cluster* root, const wxString& dir) {
  if (!cfg || !root) return false;
  wxLogNull quiet;  // the XML library reports parse errors through the log

  const std::string path = file_path(dir, kFileName);
  std::string bytes;
  if (path.empty() || !read_small_file(path, kMaxFileBytes, bytes)) return false;
  if (check_xml(bytes.data(), bytes.size()) != XmlCheck::Fits) return false;
  wxMemoryInputStream in(bytes.data(), bytes.size());
  wxXmlDocument doc;
  if (!doc.Load(in, "UTF-8")) return false;
  const wxXmlNode* top = doc.GetRoot();
  if (!top || top->GetName() != "NOX") return false;

  TreeReader tree(root);
  for (const wxXmlNode* n = top->GetChildren(); n; n = n->GetNext()) {
    if (n->GetType() != wxXML_ELEMENT_NODE) continue;
    if (n->GetName() == "RemoteList")
      tree.read_list(n);
    else
      apply_setting(cfg, n->GetName(), n->GetNodeContent());
  }
  return true;
}

bool NOXCfgHelper::save(const NOXConfig* cfg, const Cluster* root, const wxString& dir) {
  if (!cfg || !root) return false;
  const std::string path = file_path(dir, kFileName);
  if (path.empty()) return false;

  auto* top = new wxXmlNode(wxXML_ELEMENT_NODE, "NOX");
  top->AddAttribute("xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance");
  top->AddAttribute("xsi:noNamespaceSchemaLocation", "Noxguard.xsd");
  wxXmlDocument doc;
  doc.SetRoot(top);
  doc.SetVersion("1.0");
  doc.SetFileEncoding("UTF-8");

  Appender out(top);
  add_tree(out.element("RemoteList"), *root);
  for (const auto& e : kEventElements) out.flag(e.name, cfg->is_event_accepted(e.code));
  out.text("Alias", widen(cfg->alias()));
  out.flag("CancelIf", cfg->cancel_if());
  out.unsigned_number("ShutDelay", cfg->shut_delay());
  out.flag("EnableScript", cfg->enable_script());
  out.flag("EnableUserRun", cfg->enable_user_run());
  out.text("Script", widen(cfg->script()));
  out.unsigned_number("MaxScriptTime", cfg->max_script_time());
  out.text("Action", wxString::Format("%d", cfg->action()));
  out.text("Pwd", widen(base64_encode(cfg->pwd())));
  out.text("Lang", widen(cfg->lang()));
  out.unsigned_number("ServerUDPPort", cfg->server_udp_port());

  StringSink out_bytes;
  if (!doc.Save(out_bytes, 2)) return false;
  return replace_file(path, out_bytes.bytes, kFileMode);
}

bool NOXCfgHelper::preserve_rejected(const wxString& dir) {
  const std::string from = file_path(dir, kFileName);
  const std::string to = file_path(dir, kRejectedName);
  struct stat st {};
  if (from.empty()) return false;
  const int src = open_regular(from, st);
  if (src < 0) return false;
  const bool copied = replace_file(to, kFileMode, [src](int dst) {
    char buf[64 * 1024];
    for (;;) {
      const ssize_t n = read(src, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) return true;
      if (!write_all(dst, buf, static_cast<std::size_t>(n))) return false;
    }
  });
  close(src);
  return copied;
}
