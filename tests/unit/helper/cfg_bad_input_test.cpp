// Files no agent wrote: huge, deeply nested or built to make the XML library's tree builder
// slow. Each load prints how long it took; none of them may hang or crash.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "helper/cfg_fixture.h"
#include "helper/xml_guard.h"

namespace {

using CfgBadInput = CfgFileTest;

std::string repeat(const std::string& piece, std::size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

std::string many_attributes(int n) {
  std::string attrs;
  for (int i = 0; i < n; ++i) attrs += "a" + std::to_string(i) + "='' ";
  return attrs;
}

std::string nox(const std::string& body) { return "<?xml version=\"1.0\"?>\n<NOX>" + body + "</NOX>\n"; }

class Timed {
 public:
  explicit Timed(std::string what) : what_(std::move(what)), start_(std::chrono::steady_clock::now()) {}
  ~Timed() {
    const std::chrono::duration<double, std::milli> ms = std::chrono::steady_clock::now() - start_;
    std::printf("[ figure   ] %-44s %9.1f ms\n", what_.c_str(), ms.count());
  }

 private:
  std::string what_;
  std::chrono::steady_clock::time_point start_;
};

TEST_F(CfgBadInput, FiftyMegabyteFileIsRefusedUnread) {
  const std::string line = "<Remote name=\"ups-000000\" serv=\"2993\" model=\"m\" powerby=\"Master\"/>\n";
  const std::string bytes = nox("<RemoteList>" + repeat(line, (50u << 20) / line.size() + 1) + "</RemoteList>");
  ASSERT_GT(bytes.size(), 50u << 20);
  write(conf(), bytes);
  bool loaded = true;
  {
    Timed t("load of a 50 MB file");
    loaded = load();
  }
  EXPECT_FALSE(loaded);
  EXPECT_TRUE(root_->children.empty());
}

// Each of these stays under the size limit and would make the library's builder crash
// (nesting) or run for minutes (text in many pieces) without the first pass.
TEST_F(CfgBadInput, PathologicalDocumentsUnderTheSizeLimitAreRefused) {
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"100000 nested elements", nox(repeat("<a>", 100000) + repeat("</a>", 100000))},
      {"nesting left open", nox(repeat("<a>", 1000000))},
      {"3.5 MB text of entity references", nox("<Alias>x" + repeat("&amp;", 700000) + "</Alias>")},
      {"3.8 MB text of short lines", nox("<Script>" + repeat("x\n", 1900000) + "</Script>")},
      {"3.9 MB text on one line", nox("<Script>" + std::string(3900000, 'x') + "</Script>")},
      {"3.9 MB comment", nox("<!--" + std::string(3900000, 'c') + "-->")},
      {"3.9 MB attribute value", nox("<Remote name='" + std::string(3900000, 'n') + "'/>")},
      {"1 million empty elements", nox(repeat("<a/>", 1000000))},
      {"200000 attributes on one element", "<NOX " + many_attributes(200000) + "/>"},
  };
  for (const auto& c : cases) {
    ASSERT_LE(c.bytes.size(), NOXCfgHelper::kMaxFileBytes) << c.what;
    write(conf(), c.bytes);
    fresh();
    bool loaded = true;
    {
      Timed t(c.what);
      loaded = load();
    }
    EXPECT_FALSE(loaded) << c.what;
  }
}

// Nested entities are left unexpanded by the library, so they cannot blow up.
TEST_F(CfgBadInput, EntityExpansionBombLoadsHarmlessly) {
  std::string dtd = "<!DOCTYPE NOX [<!ENTITY e0 \"xxxxxxxxxx\">";
  for (int i = 1; i < 10; ++i) {
    dtd += "<!ENTITY e" + std::to_string(i) + " \"" + repeat("&e" + std::to_string(i - 1) + ";", 10) + "\">";
  }
  dtd += "]>";
  write(conf(), dtd + "<NOX><Alias>&e9;</Alias><ShutDelay>5</ShutDelay></NOX>");
  bool loaded = false;
  {
    Timed t("load of an entity bomb");
    loaded = load();
  }
  EXPECT_TRUE(loaded);
  EXPECT_EQ(cfg_->alias(), "");
  EXPECT_EQ(cfg_->shut_delay(), 5u);
}

TEST_F(CfgBadInput, LargeRealisticFileLoadsWhole) {
  std::string list;
  for (int c = 0; c < 100; ++c) {
    list += "<Cluster name=\"rack-" + std::to_string(c) + "\">\n";
    for (int r = 0; r < 200; ++r)
      list += "  <Remote name=\"ups-" + std::to_string(c) + "-" + std::to_string(r) +
              ".example.net\" serv=\"2993\" model=\"SMART 3000\" powerby=\"Master\"/>\n";
    list += "</Cluster>\n";
  }
  const std::string bytes = nox("<RemoteList>" + list + "</RemoteList><Script>" +
                                repeat("echo stopping service\n", 2000) + "</Script>");
  ASSERT_LE(bytes.size(), NOXCfgHelper::kMaxFileBytes);
  write(conf(), bytes);
  bool loaded = false;
  {
    Timed t("load of 20000 remotes (" + std::to_string(bytes.size() / 1024) + " KiB)");
    loaded = load();
  }
  ASSERT_TRUE(loaded);
  ASSERT_EQ(root_->children.size(), 100u);
  std::size_t remotes = 0;
  for (const auto& c : root_->children) remotes += static_cast<const Cluster&>(*c).children.size();
  EXPECT_EQ(remotes, 20000u);
  EXPECT_NE(root_->findRemote("ups-99-199.example.net"), nullptr);
  EXPECT_EQ(cfg_->script(), repeat("echo stopping service\n", 2000));
  {
    Timed t("save of 20000 remotes");
    EXPECT_TRUE(save());
  }
}

TEST(XmlGuard, CountsAgainstEachLimit) {
  XmlLimits tight;
  tight.max_depth = 3;
  tight.max_nodes = 4;
  tight.max_work = 100;
  const struct {
    const char* what;
    std::string text;
    XmlCheck want;
  } cases[] = {
      {"three levels", "<a><b><c/></b></a>", XmlCheck::Fits},
      {"four levels", "<a><b><c><d/></c></b></a>", XmlCheck::TooBig},
      {"four nodes with attributes", "<a x='1' y='2'><b/></a>", XmlCheck::Fits},
      {"five nodes", "<a x='1' y='2'><b/><c/></a>", XmlCheck::TooBig},
      {"text runs count as nodes", "<a>t<b/>u<c/></a>", XmlCheck::TooBig},
      {"short text in pieces", "<a>ab&amp;cd&amp;ef</a>", XmlCheck::Fits},
      {"long text in pieces", "<a>" + repeat("abcd&amp;", 12) + "</a>", XmlCheck::TooBig},
      {"single-byte encoding", "<?xml version='1.0' encoding='ISO-8859-2'?><a>\xb1</a>", XmlCheck::Fits},
      {"empty", "", XmlCheck::Malformed},
      {"unclosed", "<a><b/>", XmlCheck::Malformed},
      {"garbage", "\x01\x02\x03", XmlCheck::Malformed},
  };
  for (const auto& c : cases) EXPECT_EQ(check_xml(c.text.data(), c.text.size(), tight), c.want) << c.what;

  // Attributes cost the builder a walk of the list each: n attributes about n*n/2 steps,
  // each weighed as 8 bytes of copying.
  XmlLimits attrs;
  attrs.max_work = 1600;
  const std::string twenty = "<a " + many_attributes(20) + "/>";
  const std::string twenty_one = "<a " + many_attributes(21) + "/>";
  EXPECT_EQ(check_xml(twenty.data(), twenty.size(), attrs), XmlCheck::Fits);
  EXPECT_EQ(check_xml(twenty_one.data(), twenty_one.size(), attrs), XmlCheck::TooBig);

  // The library reads 1024 bytes at a time: what spans reads is scanned or copied again.
  XmlLimits reads;
  reads.max_work = 10000;
  const struct {
    const char* what;
    std::string text;
    XmlCheck want;
  } spans[] = {
      {"comment within one read", "<a><!--" + std::string(1000, 'c') + "--></a>", XmlCheck::Fits},
      {"comment across reads", "<a><!--" + std::string(6000, 'c') + "--></a>", XmlCheck::TooBig},
      {"attribute within one read", "<a v='" + std::string(1000, 'v') + "'/>", XmlCheck::Fits},
      {"attribute across reads", "<a v='" + std::string(6000, 'v') + "'/>", XmlCheck::TooBig},
      {"text within one read", "<a>" + std::string(1000, 't') + "</a>", XmlCheck::Fits},
      {"text across reads", "<a>" + std::string(4000, 't') + "</a>", XmlCheck::TooBig},
  };
  for (const auto& c : spans) EXPECT_EQ(check_xml(c.text.data(), c.text.size(), reads), c.want) << c.what;
}

TEST(XmlGuard, DefaultsLetARealFileThrough) {
  const std::string deep = repeat("<a>", 60) + "text" + repeat("</a>", 60);
  EXPECT_EQ(check_xml(deep.data(), deep.size()), XmlCheck::Fits);
  const std::string wide = "<NOX>" + repeat("<Remote name='x' serv='1' model='m' powerby='Master'/>\n", 50000) + "</NOX>";
  EXPECT_EQ(check_xml(wide.data(), wide.size()), XmlCheck::Fits);
}

}  // namespace
