// How the executable is read out of an App Paths default value: the forms installers write.

#include "setup/AppPathCommand.h"

#include <gtest/gtest.h>

using Names = std::vector<std::string>;

TEST(AppPathCommand, QuotedNameEndsAtItsClosingQuote) {
  EXPECT_EQ(GetCommandExecutableCandidates("\"C:\\Games\\Sorvane\\Sorvane.exe\""),
            Names{"C:\\Games\\Sorvane\\Sorvane.exe"});
  EXPECT_EQ(GetCommandExecutableCandidates("  \"C:\\Program Files\\S\\S.exe\" -window \"a b\""),
            Names{"C:\\Program Files\\S\\S.exe"});
  EXPECT_EQ(GetCommandExecutableCandidates("\"C:\\no closing quote.exe"), Names{"C:\\no closing quote.exe"});
  EXPECT_EQ(GetCommandExecutableCandidates("\"\" -x"), Names{});
}

TEST(AppPathCommand, UnquotedValueIsTriedWholeThenBeforeEachSpace) {
  EXPECT_EQ(GetCommandExecutableCandidates("C:\\Games\\Sorvane.exe"), Names{"C:\\Games\\Sorvane.exe"});
  EXPECT_EQ(GetCommandExecutableCandidates("Sorvane.exe"), Names{"Sorvane.exe"});
  EXPECT_EQ(GetCommandExecutableCandidates("C:\\Program Files\\S.exe  -w "),
            (Names{"C:\\Program Files\\S.exe  -w", "C:\\Program", "C:\\Program Files\\S.exe"}));
  EXPECT_EQ(GetCommandExecutableCandidates(""), Names{});
  EXPECT_EQ(GetCommandExecutableCandidates(" \t "), Names{});
}

TEST(AppPathCommand, ShiftJisNamesAreKeptWhole) {
  // ソ (83 5C) and 表 (95 5C) end in the byte of '\\'; neither a quote nor a space is a trail byte.
  const std::string name = "C:\\\x83\x5C\x95\x5C\\Sorvane.exe";
  EXPECT_EQ(GetCommandExecutableCandidates("\"" + name + "\" -w"), Names{name});
  EXPECT_EQ(GetCommandExecutableCandidates(name), Names{name});
}
