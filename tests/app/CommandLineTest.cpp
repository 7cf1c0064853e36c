// Splitting of command lines into arguments.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, QuotedAndPlainArguments) {
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\setup.exe\" /s"), (Args{"C:\\Program Files\\setup.exe", "/s"}));
  EXPECT_EQ(SplitCommandLine("setup.exe /a /b"), (Args{"setup.exe", "/a", "/b"}));
  EXPECT_EQ(SplitCommandLine("setup.exe"), (Args{"setup.exe"}));
  EXPECT_EQ(SplitCommandLine("\"a b\""), (Args{"a b"}));
  EXPECT_EQ(SplitCommandLine("\"a b\" \"c d\" e"), (Args{"a b", "c d", "e"}));
  // A quote inside a plain argument is an ordinary character.
  EXPECT_EQ(SplitCommandLine("x\"y z"), (Args{"x\"y", "z"}));
  // Shift-JIS bytes pass through untouched ("表" is 95 5C).
  EXPECT_EQ(SplitCommandLine("\"C:\\\x95\x5C\\a.exe\" \x95\x5C"), (Args{"C:\\\x95\x5C\\a.exe", "\x95\x5C"}));
}

TEST(CommandLineTest, ClosingQuoteMustBeFollowedBySpaceOrEnd) {
  // A quote followed by anything else belongs to the argument.
  EXPECT_EQ(SplitCommandLine("\"a\"b c\" d"), (Args{"a\"b c", "d"}));
  EXPECT_EQ(SplitCommandLine("\"a\"\" b"), (Args{"a\"", "b"}));
  // No closing quote at all: the rest of the line, opening quote kept.
  EXPECT_EQ(SplitCommandLine("\"C:\\my dir\\setup.exe"), (Args{"\"C:\\my dir\\setup.exe"}));
  EXPECT_EQ(SplitCommandLine("prog \"open end"), (Args{"prog", "\"open end"}));
  EXPECT_EQ(SplitCommandLine("\"a\"b"), (Args{"\"a\"b"}));
  EXPECT_EQ(SplitCommandLine("\""), (Args{"\""}));
  EXPECT_EQ(SplitCommandLine("\"\""), (Args{""}));
  EXPECT_EQ(SplitCommandLine("\"\" x"), (Args{"", "x"}));
}

TEST(CommandLineTest, SpacesAndEmptyLines) {
  EXPECT_EQ(SplitCommandLine("a  b"), (Args{"a", "", "b"}));  // two spaces: an empty argument
  EXPECT_EQ(SplitCommandLine("a   b"), (Args{"a", "", "", "b"}));
  EXPECT_EQ(SplitCommandLine("a "), (Args{"a"}));  // one trailing space is just the separator
  EXPECT_EQ(SplitCommandLine("a  "), (Args{"a", ""}));
  EXPECT_EQ(SplitCommandLine(" a"), (Args{"", "a"}));
  EXPECT_EQ(SplitCommandLine("\"a b\"  c"), (Args{"a b", "", "c"}));
  EXPECT_EQ(SplitCommandLine(""), Args{});
  EXPECT_EQ(SplitCommandLine(nullptr), Args{});
}

}  // namespace
