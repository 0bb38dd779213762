#include "server/address_book.h"

#include <gtest/gtest.h>

#include <sys/un.h>

#include "model/addr_fixture.h"

namespace {

class AddressBookTest : public ::testing::Test {
 protected:
  AddressBookTest() : root("", nullptr) {}

  RemotePtr add(Cluster& c, const std::string& name, const char* host, const char* port) {
    RemotePtr r = c.addRemote(name, port, "", "Master");
    if (host) {
      Resolved res(host, port);
      r->setAddrInfo(res.info);
    }
    return r;
  }

  Non_Cluster root;
  AddressBook book;
};

TEST_F(AddressBookTest, AgreesWithTheTreeWalk) {
  add(root, "plain", "10.0.0.1", "2993");
  add(root, "unresolved", nullptr, "2993");
  ClusterPtr c = root.addCluster("pair");
  add(*c, "member", "10.0.0.2", "2993");
  add(*c, "twin", "10.0.0.1", "2993");  // same address as "plain": the first in walk order wins
  add(root, "v6", "fe80::1", "2993");
  add(root, "compat-zero", "::", "2993");
  add(root, "mapped", "::ffff:10.0.0.3", "3000");
  book.rebuild(root);

  const char* senders[][2] = {
      {"10.0.0.1", "2993"},        {"::ffff:10.0.0.1", "2993"}, {"::10.0.0.1", "2993"},
      {"10.0.0.1", "2994"},        {"10.0.0.2", "2993"},        {"10.0.0.9", "2993"},
      {"fe80::1", "2993"},         {"fe80::1", "2994"},         {"::", "2993"},
      {"0.0.0.0", "2993"},         {"::1", "2993"},             {"0.0.0.1", "2993"},
      {"10.0.0.3", "3000"},        {"::ffff:10.0.0.3", "3000"}, {"::10.0.0.3", "3000"},
  };
  for (const auto& s : senders) {
    Resolved from(s[0], s[1]);
    ASSERT_TRUE(from) << s[0];
    const Remote* want = root.findByAddress(from.addr(), nullptr, false);
    RemotePtr got = book.lookup(from.addr());
    EXPECT_EQ(got.get(), want) << s[0] << " port " << s[1] << " want " << (want ? want->name : "none");
  }
  EXPECT_EQ(book.lookup(Resolved("10.0.0.1", "2993").addr())->name, "plain");
  EXPECT_EQ(book.size(), 6u);
}

TEST_F(AddressBookTest, OnlyARebuildShowsTreeChanges) {
  RemotePtr r = add(root, "card", "127.0.0.1", "2993");
  Resolved from("127.0.0.1", "2993");
  EXPECT_EQ(book.lookup(from.addr()), nullptr);
  book.rebuild(root);
  EXPECT_EQ(book.lookup(from.addr()), r);

  // Removed but not yet republished: the old snapshot still holds the remote alive.
  ASSERT_TRUE(root.removeNode("card"));
  for (int i = 0; i < 11; ++i) root.moveToTrash(std::make_shared<Cluster>("filler", nullptr));
  std::weak_ptr<Remote> weak = r;
  r.reset();
  RemotePtr stale = book.lookup(from.addr());
  ASSERT_NE(stale, nullptr);
  EXPECT_EQ(stale->name, "card");
  stale.reset();

  book.rebuild(root);
  EXPECT_EQ(book.lookup(from.addr()), nullptr);
  EXPECT_TRUE(weak.expired());
}

TEST_F(AddressBookTest, ChangedAddressNeedsARebuildAndClearEmpties) {
  RemotePtr r = add(root, "card", "127.0.0.1", "2993");
  book.rebuild(root);
  r->setAddrInfo(Resolved("127.0.0.2", "2993").info);
  EXPECT_EQ(book.lookup(Resolved("127.0.0.1", "2993").addr()), r);
  book.rebuild(root);
  EXPECT_EQ(book.lookup(Resolved("127.0.0.1", "2993").addr()), nullptr);
  EXPECT_EQ(book.lookup(Resolved("127.0.0.2", "2993").addr()), r);

  book.clear();
  EXPECT_EQ(book.lookup(Resolved("127.0.0.2", "2993").addr()), nullptr);
  EXPECT_EQ(book.size(), 0u);
}

TEST_F(AddressBookTest, OtherFamiliesAndNullNeverMatch) {
  add(root, "card", "127.0.0.1", "2993");
  book.rebuild(root);
  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  EXPECT_EQ(book.lookup(reinterpret_cast<sockaddr*>(&un)), nullptr);
  EXPECT_EQ(book.lookup(nullptr), nullptr);
}

}  // namespace
