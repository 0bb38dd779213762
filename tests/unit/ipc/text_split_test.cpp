#include "ipc/text_split.h"

#include <gtest/gtest.h>

namespace {

struct JoinCase {
  std::vector<std::string> fields;
  char sep;
  std::string joined;
};

TEST(TextSplit, JoinEscapesOnlyTheSeparator) {
  const JoinCase cases[] = {
      {{}, ',', ""},
      {{""}, ',', ""},
      {{"", ""}, ',', ","},
      {{"a,b", "c"}, ',', "a\\,b,c"},
      {{"a\\b"}, ',', "a\\b"},  // a backslash alone is not escaped
      {{"x\ny", "z"}, '\n', "x\\\ny\nz"},
      {{"1", "2"}, '.', "1.2"},
  };
  for (const auto& c : cases) EXPECT_EQ(ipc::join_escaped(c.fields, c.sep), c.joined) << c.joined;
}

TEST(TextSplit, SplitTakesEscapedSeparatorsIntoTheField) {
  const JoinCase cases[] = {
      {{}, ',', ""},  // an empty text has no fields at all
      {{"a"}, ',', "a"},
      {{"a", ""}, ',', "a,"},
      {{"", ""}, ',', ","},
      {{"a,b", "c"}, ',', "a\\,b,c"},
      {{"a\\b"}, ',', "a\\b"},
      {{"n", "2993", "m", "LS1"}, ',', "n,2993,m,LS1"},
  };
  for (const auto& c : cases) EXPECT_EQ(ipc::split_escaped(c.joined, c.sep), c.fields) << c.joined;
}

TEST(TextSplit, SplitFirstCutsAtTheFirstSeparatorOnly) {
  struct Case {
    std::string text, before, after;
  } cases[] = {
      {"get.remote.ip(ups)", "get.remote.ip", "ups)"},
      {"no-paren", "no-paren", ""},
      {"(", "", ""},
      {"a(b(c", "a", "b(c"},
  };
  for (const auto& c : cases) {
    const auto [before, after] = ipc::split_first(c.text, '(');
    EXPECT_EQ(before, c.before) << c.text;
    EXPECT_EQ(after, c.after) << c.text;
  }
}

}  // namespace
