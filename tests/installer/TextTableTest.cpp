// CTextTable on texts in memory: separators and their options, Shift-JIS characters whose trail byte looks
// like a separator, comments, the last line without a line feed, and texts that end where a careless
// reader would run past its buffer. Also built natively under the sanitizers.

#include "installer/TextTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/Bytes.h"

using testing_support::HexBytes;

namespace {

// Every record of the text, each as `count` fields.
std::vector<std::vector<std::string>> ReadAll(CTextTable& table, const std::string& text, size_t count) {
  EXPECT_TRUE(table.LoadFromMemory(text.data(), text.size()));
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> fields(count);
  while (table.ReadRecord(count, fields.data())) {
    records.push_back(fields);
    if (records.size() > text.size()) break;  // a reader that does not advance
  }
  EXPECT_TRUE(table.IsAtEnd());
  return records;
}

using Records = std::vector<std::vector<std::string>>;

}  // namespace

TEST(TextTable, DefaultSeparatorsAndCollapsedWhitespace) {
  CTextTable table;
  // Commas, spaces and tabs separate; a run of blanks counts once; one leading space is skipped.
  EXPECT_EQ(ReadAll(table, "a,b c\r\n  x \t y\r\n", 3), (Records{{"a", "b", "c"}, {"x", "y", ""}}));
  // Without collapsing, every blank separates and the leading space makes an empty first field.
  table.SetCollapseWhitespace(false);
  EXPECT_EQ(ReadAll(table, " a  b\n", 4), (Records{{"", "a", "", "b"}}));
  // Blanks separate only while commas do.
  CTextTable commasOff;
  commasOff.SetCommaSeparates(false);
  EXPECT_EQ(ReadAll(commasOff, "a b,c\n", 2), (Records{{"a b,c", ""}}));
  CTextTable blanksOff;
  blanksOff.SetWhitespaceSeparates(false);
  EXPECT_EQ(ReadAll(blanksOff, "C:\\My Games\\a.txt,b\n", 2), (Records{{"C:\\My Games\\a.txt", "b"}}));
}

TEST(TextTable, CollapsedCommas) {
  CTextTable table;
  EXPECT_EQ(ReadAll(table, "a,,,b\n", 4), (Records{{"a", "", "", "b"}}));
  table.SetCollapseCommas(true);
  EXPECT_EQ(ReadAll(table, "a,,,b\n", 4), (Records{{"a", "b", "", ""}}));
}

TEST(TextTable, FieldsBeyondTheCountAreIgnoredAndEmptyLinesSkipped) {
  CTextTable table;
  EXPECT_EQ(ReadAll(table, "\r\n\n1,2,3\r\n\r\n\r\n4\n", 2), (Records{{"1", "2"}, {"4", ""}}));
  EXPECT_EQ(table.GetRecordCount(), 2u);
  ASSERT_TRUE(table.LoadFromMemory("a\nb\nc\n", 6));
  EXPECT_EQ(table.GetRecordCount(), 0u);
  EXPECT_TRUE(table.SkipRecords(2));
  std::string field;
  ASSERT_TRUE(table.ReadRecord(1, &field));
  EXPECT_EQ(field, "c");
  EXPECT_TRUE(table.IsAtEnd());
  ASSERT_TRUE(table.LoadFromMemory("a\nb\n", 4));
  EXPECT_FALSE(table.SkipRecords(3));
}

TEST(TextTable, ShiftJisTrailBytesAreNeverSeparators) {
  CTextTable table;
  // ソ and 表 end in 0x5C; a lead byte followed by ',' ' ' or '/' keeps that byte as its trail.
  const std::string so = testing_support::kSo, hyo = testing_support::kHyo;
  const std::string leadComma = "\x81,", leadSpace = "\x82 ", leadSlash = "\x83/";
  const std::string text = so + "," + hyo + "x\r\n" + leadComma + "y," + leadSpace + "z\r\n" + leadSlash + "/w\r\n";
  const Records records = ReadAll(table, text, 3);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(HexBytes(records[0][0]), HexBytes(so));
  EXPECT_EQ(HexBytes(records[0][1]), HexBytes(hyo + "x"));
  EXPECT_EQ(HexBytes(records[1][0]), HexBytes(leadComma + "y"));
  EXPECT_EQ(HexBytes(records[1][1]), HexBytes(leadSpace + "z"));
  // The '/' after 0x83 is its trail byte, so "//" is no comment there.
  EXPECT_EQ(HexBytes(records[2][0]), HexBytes(leadSlash + "/w"));
  // A trail byte equal to a blank does not collapse with the blank after it.
  CTextTable blanks;
  blanks.SetCommaSeparates(false);
  EXPECT_EQ(ReadAll(blanks, leadSpace + "  a\n", 1), (Records{{leadSpace + " a"}}));
}

TEST(TextTable, CommentsRunToTheEndOfTheLine) {
  CTextTable table;
  table.SetWhitespaceSeparates(false);
  // Everything before "//" stays, the space just before it too; a line that is only a comment is no
  // record.
  EXPECT_EQ(ReadAll(table, "file.txt // the readme\r\n// only a comment\r\nnext//\r\n", 1),
            (Records{{"file.txt "}, {"next"}}));
  // A single slash is text.
  EXPECT_EQ(ReadAll(table, "a/b\n", 1), (Records{{"a/b"}}));
}

TEST(TextTable, LastLineWithoutLineFeedIsSplitAsItStands) {
  CTextTable table;
  table.SetWhitespaceSeparates(false);
  EXPECT_EQ(ReadAll(table, "a // comment\r\nb // not a comment", 1), (Records{{"a "}, {"b // not a comment"}}));
  // Nor are its blanks collapsed; with a final line feed the same line is cleaned.
  CTextTable defaults;
  EXPECT_EQ(ReadAll(defaults, "x  y", 3), (Records{{"x", "", "y"}}));
  EXPECT_EQ(ReadAll(defaults, "x  y\n", 3), (Records{{"x", "y", ""}}));
  EXPECT_EQ(ReadAll(defaults, "//", 1), (Records{{"//"}}));
  EXPECT_EQ(ReadAll(defaults, "//\n", 1), Records{});
  // A carriage return as the very last byte is dropped.
  EXPECT_EQ(ReadAll(defaults, "end\r", 1), (Records{{"end"}}));
}

TEST(TextTable, TextsEndingInAwkwardPlacesStayInsideTheBuffer) {
  // Each text is copied into a buffer of exactly its size, so the sanitizers see any read past it.
  CTextTable table;
  // A lead byte as the text's last byte: the records before it are read, then the read fails.
  EXPECT_EQ(ReadAll(table, std::string("a\r\nb\x81", 5), 1), (Records{{"a"}}));
  EXPECT_EQ(ReadAll(table, std::string("\x9F", 1), 1), Records{});
  // A line of only separators gives empty fields and never more than asked for.
  EXPECT_EQ(ReadAll(table, ",,,,,,,,\n", 2), (Records{{"", ""}}));
  EXPECT_EQ(ReadAll(table, ", , ,", 2), (Records{{"", ""}}));
  // A comment mark or a lone slash at the very end.
  EXPECT_EQ(ReadAll(table, "a\n/", 1), (Records{{"a"}, {"/"}}));
  EXPECT_EQ(ReadAll(table, "a//\n", 1), (Records{{"a"}}));
  // Zero fields asked: the line is still read and counted.
  ASSERT_TRUE(table.LoadFromMemory("q\n", 2));
  EXPECT_TRUE(table.ReadRecord(0, nullptr));
  EXPECT_EQ(table.GetRecordCount(), 1u);
}

TEST(TextTable, NoTextAndEmptyText) {
  CTextTable table;
  std::string field = "stale";
  EXPECT_TRUE(table.IsAtEnd());
  EXPECT_FALSE(table.ReadRecord(1, &field));
  EXPECT_EQ(field, "");
  ASSERT_TRUE(table.LoadFromMemory(nullptr, 0));
  EXPECT_TRUE(table.IsAtEnd());
  EXPECT_FALSE(table.ReadRecord(1, &field));
  ASSERT_TRUE(table.LoadFromMemory("a\n", 2));
  EXPECT_FALSE(table.IsAtEnd());
  table.Release();
  EXPECT_TRUE(table.IsAtEnd());
  EXPECT_FALSE(table.ReadRecord(1, &field));
}
