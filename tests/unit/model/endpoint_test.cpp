#include "model/endpoint.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/un.h>

#include <cstring>
#include <string>

#include "model/addr_fixture.h"

namespace {

TEST(SameEndpoint, ComparesFamilyPortAndAddress) {
  struct Case {
    const char* a_host;
    const char* a_port;
    const char* b_host;
    const char* b_port;
    bool same;
  };
  const Case cases[] = {
      {"192.0.2.7", "2993", "192.0.2.7", "2993", true},
      {"192.0.2.7", "2993", "192.0.2.7", "2994", false},
      {"192.0.2.7", "2993", "192.0.2.8", "2993", false},
      // A dual-stack socket reports IPv4 senders in IPv6 form.
      {"192.0.2.7", "2993", "::ffff:192.0.2.7", "2993", true},
      {"::ffff:192.0.2.7", "2993", "192.0.2.7", "2993", true},
      {"::ffff:192.0.2.7", "2993", "192.0.2.7", "3000", false},
      {"::ffff:192.0.2.7", "2993", "::ffff:192.0.2.8", "2993", false},
      {"192.0.2.7", "2993", "::192.0.2.7", "2993", true},
      {"::192.0.2.7", "2993", "::ffff:192.0.2.7", "2993", true},
      // ::1 and :: are the IPv6 loopback and unspecified addresses, not embedded IPv4.
      {"::1", "2993", "0.0.0.1", "2993", false},
      {"::", "2993", "0.0.0.0", "2993", false},
      {"::1", "2993", "::1", "2993", true},
      {"::0.0.0.2", "2993", "0.0.0.2", "2993", true},
      {"2001:db8::1", "2993", "2001:db8::1", "2993", true},
      {"2001:db8::1", "2993", "2001:db8::1", "2994", false},
      {"2001:db8::1", "2993", "2001:db8::2", "2993", false},
      // Same last four bytes but a real IPv6 prefix: not the IPv4 address.
      {"2001:db8::c000:207", "2993", "192.0.2.7", "2993", false},
      {"::fffe:192.0.2.7", "2993", "192.0.2.7", "2993", false},
  };
  for (const auto& c : cases) {
    Resolved a(c.a_host, c.a_port), b(c.b_host, c.b_port);
    ASSERT_TRUE(a && b) << c.a_host << " / " << c.b_host;
    EXPECT_EQ(c.same, sameEndpoint(a.addr(), b.addr()))
        << c.a_host << ":" << c.a_port << " vs " << c.b_host << ":" << c.b_port;
    EXPECT_EQ(c.same, sameEndpoint(b.addr(), a.addr()))
        << c.b_host << ":" << c.b_port << " vs " << c.a_host << ":" << c.a_port;
  }
}

TEST(SameEndpoint, NullAndOtherFamiliesNeverMatch) {
  Resolved v4("192.0.2.7", "2993");
  ASSERT_TRUE(v4);
  EXPECT_FALSE(sameEndpoint(nullptr, v4.addr()));
  EXPECT_FALSE(sameEndpoint(v4.addr(), nullptr));
  EXPECT_FALSE(sameEndpoint(nullptr, nullptr));

  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  std::strcpy(un.sun_path, "/tmp/x");
  const auto* u = reinterpret_cast<const sockaddr*>(&un);
  EXPECT_FALSE(sameEndpoint(u, u));
  EXPECT_FALSE(sameEndpoint(u, v4.addr()));

  // An unspecified family does not even match itself.
  sockaddr_storage other{};
  other.ss_family = AF_UNSPEC;
  EXPECT_FALSE(sameEndpoint(reinterpret_cast<const sockaddr*>(&other),
                            reinterpret_cast<const sockaddr*>(&other)));
}

TEST(AdoptAddrinfo, NullStaysNullAndTheListLivesWhileShared) {
  EXPECT_EQ(nullptr, adopt_addrinfo(nullptr));
  AddrInfoPtr copy;
  {
    Resolved r("198.51.100.4", "5000");
    ASSERT_TRUE(r);
    copy = r.info;
  }
  // The fixture's holder is gone; the copy still reads a valid address.
  ASSERT_NE(nullptr, copy);
  Resolved again("198.51.100.4", "5000");
  EXPECT_TRUE(sameEndpoint(copy->ai_addr, again.addr()));
}

}  // namespace
