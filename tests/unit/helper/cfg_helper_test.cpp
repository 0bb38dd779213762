#include "helper/cfg_helper.h"

#include <wx/mstream.h>
#include <wx/xml/xml.h>

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "helper/cfg_fixture.h"

namespace {

// Element names and event codes in the order the file lists them.
const struct {
  const char* name;
  int code;
} kEvents[] = {
    {"AcFail", 0}, {"BatteryLow", 1}, {"Overload", 2}, {"OverTp", 3},    {"EMPTp", 6},
    {"EMPHum", 7}, {"EMPCt1", 8},     {"EMPCt2", 9},   {"WSS", 4},       {"SSS", 5},
    {"Capacity", 10}, {"RemainTime", 11}, {"LS1", 12}, {"LS2", 13},
};

using CfgHelper = CfgFileTest;

// A configuration with every value away from its default.
void populate(NOXConfig& cfg, Cluster& root) {
  cfg.set_alias("ups-agent.example");
  cfg.set_cancel_if(true);
  cfg.set_shut_delay(300);
  cfg.set_enable_script(true);
  cfg.set_enable_user_run(true);
  cfg.set_script("/usr/local/sbin/before-off.sh \"a & b\" <x>");
  cfg.set_max_script_time(65536);
  cfg.set_action(2);
  cfg.set_pwd(std::string("p\x01\xff=w", 5));
  cfg.set_lang("fr");
  cfg.set_server_udp_port(40000);
  for (int code : {0, 3, 9, 12}) cfg.set_event_accept(code, false);
  for (int code : {2, 6}) cfg.set_event_accept(code, true);

  root.addRemote("10.0.0.1", "", "SMART 3000", "Master");
  auto c = root.addCluster("rack-a");
  c->addRemote("ups-a1.example", "3000", "", "LS1");
  c->addRemote("ups-a2.example", "3001", "m2", "LS2");
  root.addCluster("empty");
  root.addRemote("fe80::1", "2993", "", "Master");
}

TEST_F(CfgHelper, SaveLoadSaveGivesTheSameBytes) {
  populate(*cfg_, *root_);
  const uint16_t saved_bits = accepted_events->bits();
  ASSERT_TRUE(save());
  const std::string first = read(conf());

  restore(kDefaultAcceptedEvents);  // the load must bring the flags back by itself
  fresh();
  ASSERT_TRUE(load());
  EXPECT_EQ(cfg_->alias(), "ups-agent.example");
  EXPECT_TRUE(cfg_->cancel_if());
  EXPECT_EQ(cfg_->shut_delay(), 300u);
  EXPECT_TRUE(cfg_->enable_script());
  EXPECT_TRUE(cfg_->enable_user_run());
  EXPECT_EQ(cfg_->script(), "/usr/local/sbin/before-off.sh \"a & b\" <x>");
  EXPECT_EQ(cfg_->max_script_time(), 65536u);
  EXPECT_EQ(cfg_->action(), 2);
  EXPECT_EQ(cfg_->pwd(), std::string("p\x01\xff=w", 5));
  EXPECT_EQ(cfg_->lang(), "fr");
  EXPECT_EQ(cfg_->server_udp_port(), 40000u);
  EXPECT_EQ(accepted_events->bits(), saved_bits);
  EXPECT_EQ(tree(),
            "R(10.0.0.1,2993,SMART 3000,Master) C(rack-a)[R(ups-a1.example,3000,,LS1) "
            "R(ups-a2.example,3001,m2,LS2)] C(empty)[] R(fe80::1,2993,,Master)");
  const auto* member = root_->findRemote("ups-a1.example");
  ASSERT_NE(member, nullptr);
  EXPECT_EQ(member->parent, root_->findCluster("rack-a"));
  EXPECT_EQ(member->events.powerby, "LS1");

  ASSERT_TRUE(save());
  EXPECT_EQ(read(conf()), first);
}

std::vector<std::string> child_names(const wxXmlNode* node) {
  std::vector<std::string> names;
  for (const wxXmlNode* n = node->GetChildren(); n; n = n->GetNext())
    if (n->GetType() == wxXML_ELEMENT_NODE) names.push_back(n->GetName().ToStdString());
  return names;
}

std::vector<std::string> attributes(const wxXmlNode* node) {
  std::vector<std::string> out;
  for (const wxXmlAttribute* a = node->GetAttributes(); a; a = a->GetNext())
    out.push_back(a->GetName().ToStdString() + "=" + a->GetValue().ToStdString());
  return out;
}

std::string text_of(const wxXmlNode* top, const char* name) {
  for (const wxXmlNode* n = top->GetChildren(); n; n = n->GetNext())
    if (n->GetName() == name) return n->GetNodeContent().ToStdString();
  return "<missing>";
}

TEST_F(CfgHelper, SavedDocumentFollowsTheLayout) {
  populate(*cfg_, *root_);
  cfg_->set_action(-1);
  root_->findCluster("rack-a")->addCluster("nested")->addRemote("deep", "", "", "Master");
  ASSERT_TRUE(save());
  const std::string bytes = read(conf());
  EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<NOX ", 0), 0u) << bytes;
  EXPECT_NE(bytes.find("\n  <RemoteList>\n    <Remote "), std::string::npos) << bytes;

  wxMemoryInputStream in(bytes.data(), bytes.size());
  wxXmlDocument doc;
  ASSERT_TRUE(doc.Load(in));
  const wxXmlNode* top = doc.GetRoot();
  ASSERT_EQ(top->GetName(), "NOX");
  EXPECT_EQ(attributes(top), (std::vector<std::string>{
                                 "xmlns:xsi=http://www.w3.org/2001/XMLSchema-instance",
                                 "xsi:noNamespaceSchemaLocation=Noxguard.xsd"}));
  std::vector<std::string> expected = {"RemoteList"};
  for (const auto& e : kEvents) expected.push_back(e.name);
  for (const char* s : {"Alias", "CancelIf", "ShutDelay", "EnableScript", "EnableUserRun", "Script",
                        "MaxScriptTime", "Action", "Pwd", "Lang", "ServerUDPPort"})
    expected.push_back(s);
  EXPECT_EQ(child_names(top), expected);

  const wxXmlNode* list = top->GetChildren();
  EXPECT_EQ(child_names(list), (std::vector<std::string>{"Remote", "Cluster", "Cluster", "Remote"}));
  EXPECT_EQ(attributes(list->GetChildren()),
            (std::vector<std::string>{"name=10.0.0.1", "serv=2993", "model=SMART 3000", "powerby=Master"}));
  // Only remotes are written inside a cluster.
  EXPECT_EQ(child_names(list->GetChildren()->GetNext()), (std::vector<std::string>{"Remote", "Remote"}));

  for (const auto& e : kEvents)
    EXPECT_EQ(text_of(top, e.name), cfg_->is_event_accepted(e.code) ? "1" : "0") << e.name;
  EXPECT_EQ(text_of(top, "CancelIf"), "1");
  EXPECT_EQ(text_of(top, "ShutDelay"), "300");
  EXPECT_EQ(text_of(top, "MaxScriptTime"), "65536");
  EXPECT_EQ(text_of(top, "Action"), "-1");
  EXPECT_EQ(text_of(top, "Pwd"), "cAH/PXc=");
  EXPECT_EQ(text_of(top, "ServerUDPPort"), "40000");
}

TEST_F(CfgHelper, EmptyTreeWritesTheTemplateWhichLoadsAsNothing) {
  ASSERT_TRUE(save());
  const std::string bytes = read(conf());
  EXPECT_NE(bytes.find("<RemoteList>\n"
                       "    <Remote name=\"\" serv=\"2993\" model=\"\" powerby=\"Master\"/>\n"
                       "    <Cluster name=\"\">\n"
                       "      <Remote name=\"\" serv=\"2993\" model=\"\" powerby=\"Master\"/>\n"
                       "    </Cluster>\n"
                       "  </RemoteList>"),
            std::string::npos)
      << bytes;
  fresh();
  ASSERT_TRUE(load());
  EXPECT_TRUE(root_->children.empty());
  ASSERT_TRUE(save());
  EXPECT_EQ(read(conf()), bytes);
}

TEST_F(CfgHelper, NullPointersAreRefused) {
  EXPECT_FALSE(NOXCfgHelper::save(nullptr, root_.get(), dir()));
  EXPECT_FALSE(NOXCfgHelper::save(cfg_.get(), nullptr, dir()));
  EXPECT_TRUE(dir_entries().empty());
  ASSERT_TRUE(save());
  EXPECT_FALSE(NOXCfgHelper::load(nullptr, root_.get(), dir()));
  EXPECT_FALSE(NOXCfgHelper::load(cfg_.get(), nullptr, dir()));
}

TEST(CfgParseBool, PrefixRules) {
  const struct {
    const char* text;
    int want;  // -1: the default
  } cases[] = {
      {"0", 0},     {"01", 0},      {"0yes", 0},  {"false", 0}, {"FALSE", 0}, {"fAlSeish", 0},
      {"1", 1},     {"10", 1},      {"true", 1},  {"TRUE", 1},  {"True!", 1}, {"yes", -1},
      {"maybe", -1}, {"", -1},      {" 1", -1},   {"fals", -1}, {"tru", -1},  {"-1", -1},
  };
  for (const auto& c : cases) {
    for (bool def : {false, true}) {
      const bool want = c.want < 0 ? def : c.want == 1;
      EXPECT_EQ(NOXCfgHelper::parse_bool(c.text, def), want) << '"' << c.text << "\" default " << def;
    }
  }
}

TEST_F(CfgHelper, BooleanElementsUseTheirOwnDefaults) {
  cfg_->set_event_accept(AcFail, false);
  ASSERT_TRUE(load_body("<AcFail>maybe</AcFail><CancelIf>yes</CancelIf>"
                        "<EnableScript>maybe</EnableScript><EnableUserRun>yes</EnableUserRun>"));
  EXPECT_TRUE(cfg_->is_event_accepted(AcFail));
  EXPECT_TRUE(cfg_->cancel_if());
  EXPECT_FALSE(cfg_->enable_script());
  EXPECT_FALSE(cfg_->enable_user_run());

  ASSERT_TRUE(load_body("<CancelIf>False</CancelIf><EnableScript>TRUE</EnableScript>"
                        "<EnableUserRun>10</EnableUserRun>"));
  EXPECT_FALSE(cfg_->cancel_if());
  EXPECT_TRUE(cfg_->enable_script());
  EXPECT_TRUE(cfg_->enable_user_run());
}

// Every element must reach its own code even though the file order differs from code order.
TEST_F(CfgHelper, EachEventElementSetsItsOwnCode) {
  for (const auto& e : kEvents) {
    for (int i = 0; i < kEventCount; ++i) accepted_events->set(i, true);
    ASSERT_TRUE(load_body(std::string("<") + e.name + ">0</" + e.name + ">"));
    for (int i = 0; i < kEventCount; ++i) EXPECT_EQ(cfg_->is_event_accepted(i), i != e.code) << e.name << " " << i;
  }
}

TEST_F(CfgHelper, AbsentEventElementKeepsTheFlag) {
  cfg_->set_event_accept(Overload, true);
  ASSERT_TRUE(load_body("<AcFail>0</AcFail>"));
  EXPECT_TRUE(cfg_->is_event_accepted(Overload));
  EXPECT_FALSE(cfg_->is_event_accepted(AcFail));
}

// The first element sets a known value; the second is the case: the later one wins when it
// reads, and a value that does not read leaves the earlier one.
TEST_F(CfgHelper, NumbersReadAsThirtyTwoBitUnsigned) {
  const struct {
    const char* element;
    const char* text;
    uint32_t want;
  } cases[] = {
      {"ShutDelay", "70000", 65536},     {"ShutDelay", " 30", 30},         {"ShutDelay", "-1", 65536},
      {"ShutDelay", "+30", 30},          {"ShutDelay", "30 ", 45},         {"ShutDelay", "abc", 45},
      {"ShutDelay", "", 45},             {"ShutDelay", "4294967296", 45},  {"ShutDelay", "65536", 65536},
      {"MaxScriptTime", "0", 0},         {"MaxScriptTime", "65537", 65536}, {"MaxScriptTime", "x", 45},
      {"ServerUDPPort", "-1", 4294967295u}, {"ServerUDPPort", "99999", 99999}, {"ServerUDPPort", "3034x", 45},
  };
  for (const auto& c : cases) {
    const std::string e = c.element;
    ASSERT_TRUE(load_body("<" + e + ">45</" + e + "><" + e + ">" + c.text + "</" + e + ">"));
    const uint32_t got = e == "ShutDelay"       ? cfg_->shut_delay()
                         : e == "MaxScriptTime" ? cfg_->max_script_time()
                                                : cfg_->server_udp_port();
    EXPECT_EQ(got, c.want) << e << " \"" << c.text << '"';
  }
}

TEST_F(CfgHelper, ActionIsTakenUncheckedAsSigned) {
  const struct {
    const char* text;
    int32_t want;
  } cases[] = {{"0", 0}, {"2", 2}, {"7", 7}, {"-1", -1}, {"4294967294", -2}, {"two", 1}, {"", 1}};
  for (const auto& c : cases) {
    ASSERT_TRUE(load_body(std::string("<Action>") + c.text + "</Action>"));
    EXPECT_EQ(cfg_->action(), c.want) << '"' << c.text << '"';
  }
}

TEST_F(CfgHelper, TextSettings) {
  const std::string hundred(100, 'a');
  ASSERT_TRUE(load_body("<Alias>" + hundred + "</Alias><Script></Script>"));
  EXPECT_EQ(cfg_->alias(), hundred.substr(0, 64));
  EXPECT_EQ(cfg_->script(), "");

  ASSERT_TRUE(load_body("<Alias>one</Alias><Alias>two</Alias><Script><![CDATA[run <now> & wait]]></Script>"));
  EXPECT_EQ(cfg_->alias(), "two");
  EXPECT_EQ(cfg_->script(), "run <now> & wait");
}

TEST_F(CfgHelper, PasswordRules) {
  const struct {
    std::string body;
    std::string want;
  } cases[] = {
      {"<Pwd>c2VjcmV0</Pwd>", "secret"},
      {"<Pwd>YWJ=Yw</Pwd>", "ab"},     // read up to the "=" only
      {"<Pwd></Pwd>", "qolvy"},        // empty: the default stays
      {"<Pwd>\xc3\xa9t\xc3\xa9</Pwd>", "qolvy"},  // not ASCII
      {"<Pwd>!!</Pwd>", ""},           // ASCII, but nothing decodes
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(load_body(c.body));
    EXPECT_EQ(cfg_->pwd(), c.want) << c.body;
  }
}

TEST_F(CfgHelper, OnlyKnownLanguagesAreTaken) {
  const struct {
    const char* text;
    const char* want;
  } cases[] = {
      {"fr", "fr"}, {"en_US", "en_US"}, {"EN_us", "EN_us"}, {"de", "de"},
      {"en-us", "en-us"},       // not in the database: the default stays, which looks the same
      {"klingon", "en-us"},     {"", "en-us"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(load_body(std::string("<Lang>") + c.text + "</Lang>"));
    EXPECT_EQ(cfg_->lang(), c.want) << '"' << c.text << '"';
  }
  // A later unknown language does not undo an earlier known one.
  ASSERT_TRUE(load_body("<Lang>fr</Lang><Lang>klingon</Lang>"));
  EXPECT_EQ(cfg_->lang(), "fr");
}

TEST_F(CfgHelper, DeviceTreeRules) {
  const struct {
    const char* what;
    std::string list;
    std::string want;
  } cases[] = {
      {"attribute defaults", "<Remote name=\"a\"/>", "R(a,2993,,Master)"},
      {"powerby is exact", "<Remote name=\"a\" powerby=\"ls1\"/><Remote name=\"b\" powerby=\"LS2\"/>",
       "R(a,2993,,Master) R(b,2993,,LS2)"},
      {"non-ASCII model", "<Remote name=\"a\" serv=\"7\" model=\"Mod\xc3\xa8le\"/>", "R(a,7,,Master)"},
      {"nameless remotes", "<Remote/><Remote name=\"\"/><Remote name=\"a\"/>", "R(a,2993,,Master)"},
      {"duplicate names, first wins",
       "<Remote name=\"a\" serv=\"1\"/><Cluster name=\"c\"><Remote name=\"a\" serv=\"2\"/>"
       "<Remote name=\"b\" serv=\"3\"/></Cluster><Cluster name=\"d\"><Remote name=\"b\" serv=\"4\"/></Cluster>"
       "<Remote name=\"b\" serv=\"5\"/>",
       "R(a,1,,Master) C(c)[R(b,3,,Master)] C(d)[]"},
      {"names are case-sensitive", "<Remote name=\"a\"/><Remote name=\"A\"/>", "R(a,2993,,Master) R(A,2993,,Master)"},
      {"cluster named like a remote", "<Remote name=\"x\"/><Cluster name=\"x\"><Remote name=\"y\"/></Cluster>",
       "R(x,2993,,Master)"},
      {"remote named like a cluster", "<Cluster name=\"x\"/><Remote name=\"x\"/>", "C(x)[]"},
      {"remote named like its cluster", "<Cluster name=\"x\"><Remote name=\"x\"/></Cluster>", "C(x)[]"},
      {"non-ASCII cluster skipped whole",
       "<Cluster name=\"caf\xc3\xa9\"><Remote name=\"a\"/></Cluster><Remote name=\"b\"/>", "R(b,2993,,Master)"},
      {"nameless clusters skipped", "<Cluster><Remote name=\"a\"/></Cluster><Cluster name=\"\"><Remote name=\"b\"/></Cluster>",
       ""},
      {"only remotes inside a cluster",
       "<Cluster name=\"c\"><Cluster name=\"n\"><Remote name=\"deep\"/></Cluster><Foo/>text<Remote name=\"a\"/></Cluster>",
       "C(c)[R(a,2993,,Master)]"},
      {"unknown list children", "<Foo name=\"f\"/><Remote name=\"a\"/>", "R(a,2993,,Master)"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(load_body("<RemoteList>" + c.list + "</RemoteList>")) << c.what;
    EXPECT_EQ(tree(), c.want) << c.what;
  }
}

TEST_F(CfgHelper, EveryRemoteListIsRead) {
  ASSERT_TRUE(load_body("<RemoteList><Remote name=\"a\"/></RemoteList><Alias>x</Alias>"
                        "<RemoteList><Remote name=\"a\"/><Remote name=\"b\"/></RemoteList>"));
  EXPECT_EQ(tree(), "R(a,2993,,Master) R(b,2993,,Master)");
}

TEST_F(CfgHelper, UnknownElementsAndAttributesAreIgnored) {
  ASSERT_TRUE(load_body("<!-- note --><Extra><ShutDelay>9</ShutDelay></Extra><?pi x?>"
                        "<ShutDelay unit=\"s\">12</ShutDelay><shutdelay>99</shutdelay>"));
  EXPECT_EQ(cfg_->shut_delay(), 12u);
}

TEST_F(CfgHelper, AnyWellFormedLayoutIsAccepted) {
  write(conf(),
        "<?xml version='1.0' encoding='ISO-8859-15'?>\n"
        "<!DOCTYPE NOX>\n<NOX\n><Alias\n>plain</Alias><RemoteList><Remote name='a' model='ab&amp;c'\n/>"
        "<Remote name='b' model='\xa4'/></RemoteList><ShutDelay>&#x33;0</ShutDelay></NOX>");
  fresh();
  ASSERT_TRUE(load());
  EXPECT_EQ(cfg_->alias(), "plain");
  EXPECT_EQ(tree(), "R(a,2993,ab&c,Master) R(b,2993,,Master)");
  EXPECT_EQ(cfg_->shut_delay(), 30u);
}

// Narrow texts are converted with the process locale; the agent never changes it.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) : old_(std::setlocale(LC_ALL, nullptr)) { ok_ = std::setlocale(LC_ALL, name); }
  ~ScopedLocale() { std::setlocale(LC_ALL, old_.c_str()); }
  bool ok() const { return ok_; }

 private:
  std::string old_;
  bool ok_ = false;
};

const char kZurich[] = "Z\xc3\xbcrich";  // UTF-8

TEST_F(CfgHelper, NonAsciiTextsRoundTripInAUtf8Locale) {
  ScopedLocale utf8("C.UTF-8");
  if (!utf8.ok()) GTEST_SKIP() << "no C.UTF-8 locale here";
  cfg_->set_alias(kZurich);
  root_->addRemote(kZurich, "", "", "Master");
  ASSERT_TRUE(save());
  EXPECT_NE(read(conf()).find(std::string("<Alias>") + kZurich + "</Alias>"), std::string::npos);
  fresh();
  ASSERT_TRUE(load());
  EXPECT_EQ(cfg_->alias(), kZurich);
  EXPECT_EQ(tree(), std::string("R(") + kZurich + ",2993,,Master)");
}

TEST_F(CfgHelper, TextsTheLocaleCannotConvertBecomeEmpty) {
  ScopedLocale c("C");
  ASSERT_TRUE(c.ok());
  ASSERT_TRUE(load_body(std::string("<Alias>") + kZurich + "</Alias><RemoteList><Remote name=\"" + kZurich +
                        "\"/><Remote name=\"plain\"/></RemoteList>"));
  EXPECT_EQ(cfg_->alias(), "");
  EXPECT_EQ(tree(), "R(plain,2993,,Master)");

  cfg_->set_alias(kZurich);
  ASSERT_TRUE(save());
  EXPECT_NE(read(conf()).find("<Alias></Alias>"), std::string::npos);
}

}  // namespace
