// Path text helpers. The Shift-JIS names ソ (83 5C), 表 (95 5C) and 能 (94 5C) end in a trail byte equal
// to '\\': every helper must step over them whole, never taking that byte for a separator.

#include "foundation/PathText.h"

#include <gtest/gtest.h>

#include <climits>

#include "tests/support/Bytes.h"

using testing_support::HexBytes;
using testing_support::kHyo;
using testing_support::kNo;
using testing_support::kSo;

namespace {

// Compares bytes and shows them in hex when they differ.
#define EXPECT_BYTES(expected, actual) EXPECT_EQ(HexBytes(expected), HexBytes(actual)) << (actual)

}  // namespace

TEST(PathText, JapaneseLiteralsEndInBackslashTrailBytes) {
  // Every case below relies on these bytes; a change of source or execution charset must show here.
  EXPECT_EQ(HexBytes(kSo), "83 5C");
  EXPECT_EQ(HexBytes(kHyo), "95 5C");
  EXPECT_EQ(HexBytes(kNo), "94 5C");
}

TEST(PathText, SplitPathFindsDriveDirectoryTitleAndExtension) {
  PathParts parts = SplitPath("C:\\" + kSo + "\\" + kHyo + "/" + kNo + ".txt");
  EXPECT_EQ(parts.drive, "C:");
  EXPECT_BYTES("\\" + kSo + "\\" + kHyo + "/", parts.directory);
  EXPECT_BYTES(kNo, parts.title);
  EXPECT_EQ(parts.extension, ".txt");

  // A name that ends in a trail byte 0x5C is a name, not a folder.
  parts = SplitPath("dir\\" + kSo);
  EXPECT_EQ(parts.directory, "dir\\");
  EXPECT_BYTES(kSo, parts.title);
  EXPECT_EQ(parts.extension, "");

  // The extension starts at the last dot of the name, not of the folder.
  parts = SplitPath("a.b\\c.tar.gz");
  EXPECT_EQ(parts.directory, "a.b\\");
  EXPECT_EQ(parts.title, "c.tar");
  EXPECT_EQ(parts.extension, ".gz");
  parts = SplitPath("a.b\\c");
  EXPECT_EQ(parts.title, "c");
  EXPECT_EQ(parts.extension, "");

  // No drive unless the second byte is a ':' of its own.
  EXPECT_EQ(SplitPath("\x83:x").drive, "");
  EXPECT_EQ(SplitPath("x:").drive, "x:");
  parts = SplitPath("");
  EXPECT_EQ(parts.drive + parts.directory + parts.title + parts.extension, "");
}

TEST(PathText, IsAbsolutePath) {
  EXPECT_FALSE(IsAbsolutePath("C"));
  EXPECT_TRUE(IsAbsolutePath("C:"));
  EXPECT_TRUE(IsAbsolutePath("C:\\dir"));
  EXPECT_TRUE(IsAbsolutePath("\\\\x"));
  EXPECT_FALSE(IsAbsolutePath("\\x"));
  EXPECT_FALSE(IsAbsolutePath(""));
  EXPECT_FALSE(IsAbsolutePath(kSo + kHyo));
  EXPECT_FALSE(IsAbsolutePath(kSo + "\\" + kNo + "\\a.txt"));
  // A ':' that is the trail byte of a double-byte character is not a drive colon.
  EXPECT_FALSE(IsAbsolutePath("\x83:abc"));
  EXPECT_TRUE(IsAbsolutePath(kSo + ":"));
}

TEST(PathText, SlashConversionsLeaveTrailBytesAlone) {
  EXPECT_EQ(SlashToBackslash("a/b/c/"), "a\\b\\c\\");
  EXPECT_BYTES("\x83/x\\", SlashToBackslash("\x83/x/"));
  EXPECT_BYTES("C:/" + kSo + "/" + kHyo, BackslashToSlash("C:\\" + kSo + "\\" + kHyo));
  EXPECT_BYTES(kNo, BackslashToSlash(kNo));
}

TEST(PathText, CollapseBackslashes) {
  EXPECT_EQ(CollapseBackslashes("\\\\\\\\x"), "\\\\x");
  EXPECT_EQ(CollapseBackslashes("C:\\\\dir\\\\\\sub"), "C:\\dir\\sub");
  EXPECT_EQ(CollapseBackslashes("\\\\server\\\\share"), "\\\\server\\share");
  EXPECT_EQ(CollapseBackslashes("a\\\\"), "a\\");
  EXPECT_EQ(CollapseBackslashes(""), "");
  // The trail byte of ソ followed by a separator is not a run of two backslashes.
  EXPECT_BYTES("C:\\" + kSo + "\\x", CollapseBackslashes("C:\\" + kSo + "\\x"));
  EXPECT_BYTES(kSo + "\\x", CollapseBackslashes(kSo + "\\x"));
  EXPECT_BYTES("C:\\" + kSo + "\\" + kHyo + "\\" + kNo,
               CollapseBackslashes("C:\\" + kSo + "\\\\" + kHyo + "\\\\\\" + kNo));
}

TEST(PathText, GetParentDirectory) {
  EXPECT_EQ(GetParentDirectory("C:\\a\\b"), "C:\\a");
  EXPECT_EQ(GetParentDirectory("C:\\a\\b\\"), "C:\\a");
  EXPECT_EQ(GetParentDirectory("C:\\a"), "C:");
  EXPECT_EQ(GetParentDirectory("C:\\"), "C:\\");
  EXPECT_EQ(GetParentDirectory("C:"), "C:");
  EXPECT_EQ(GetParentDirectory("name"), "name");
  EXPECT_EQ(GetParentDirectory("\\\\server\\share"), "\\\\server");
  EXPECT_EQ(GetParentDirectory("\\\\server"), "\\\\server");
  EXPECT_EQ(GetParentDirectory("C:/a//b"), "C:\\a");
  EXPECT_EQ(GetParentDirectory(""), "");
  // Never cut inside a character whose trail byte is 0x5C.
  EXPECT_BYTES("C:", GetParentDirectory("C:\\" + kSo));
  EXPECT_BYTES("C:", GetParentDirectory("C:\\a" + kSo + "b"));
  EXPECT_BYTES("C:\\" + kSo, GetParentDirectory("C:\\" + kSo + "\\" + kHyo));
  EXPECT_BYTES("C:\\" + kHyo, GetParentDirectory("C:\\" + kHyo + "\\" + kNo + "\\"));
  EXPECT_BYTES(kSo + kHyo, GetParentDirectory(kSo + kHyo));
}

TEST(PathText, GetRelativePath) {
  const std::string full = "D:\\data\\gamedata5\\sub\\a.pak";
  EXPECT_EQ(GetRelativePath(full, "D:\\data\\gamedata5"), "sub\\a.pak");
  EXPECT_EQ(GetRelativePath(full, "D:\\data\\gamedata5\\"), "sub\\a.pak");
  EXPECT_EQ(GetRelativePath(full, "D:\\other"), "");
  EXPECT_EQ(GetRelativePath(full, "d:\\data\\gamedata5"), "");  // case matters
  EXPECT_EQ(GetRelativePath(full, ""), "");
  EXPECT_EQ(GetRelativePath("D:\\data", "D:\\data\\gamedata5"), "");
  EXPECT_EQ(GetRelativePath("D:\\data", "D:\\data"), "");
  // A base that ends in the trail byte of ソ does not end in a separator: the separator after it goes.
  EXPECT_BYTES(kNo + ".txt", GetRelativePath("C:\\" + kSo + "\\" + kNo + ".txt", "C:\\" + kSo));
  EXPECT_BYTES(kHyo + "\\" + kNo, GetRelativePath("C:\\" + kSo + "\\" + kHyo + "\\" + kNo, "C:\\" + kSo + "\\"));
}

TEST(PathText, SplitDirectoryAndName) {
  std::string folder = "untouched", name = "untouched";
  SplitDirectoryAndName("C:\\dir\\file.txt", folder, name);
  EXPECT_EQ(folder, "C:\\dir");
  EXPECT_EQ(name, "file.txt");
  SplitDirectoryAndName("C:\\file.txt", folder, name);
  EXPECT_EQ(folder, "C:");
  EXPECT_EQ(name, "file.txt");
  SplitDirectoryAndName("C:\\", folder, name);
  EXPECT_EQ(folder, "C:");
  EXPECT_EQ(name, "");
  SplitDirectoryAndName("\\\\", folder, name);  // nothing but backslashes: kept
  EXPECT_EQ(folder, "\\\\");
  SplitDirectoryAndName("file", folder, name);
  EXPECT_EQ(folder, "");
  EXPECT_EQ(name, "file");
  SplitDirectoryAndName("C:\\" + kSo + "\\" + kHyo + ".txt", folder, name);
  EXPECT_BYTES("C:\\" + kSo, folder);
  EXPECT_BYTES(kHyo + ".txt", name);
  SplitDirectoryAndName("C:\\" + kSo, folder, name);
  EXPECT_EQ(folder, "C:");
  EXPECT_BYTES(kSo, name);
  SplitDirectoryAndName(kHyo + "\\" + kNo, folder, name);
  EXPECT_BYTES(kHyo, folder);
  EXPECT_BYTES(kNo, name);
}

TEST(PathText, SplitTitleAndExtension) {
  std::string title, extension;
  SplitTitleAndExtension("C:\\dir\\file.tar.gz", title, extension);
  EXPECT_EQ(title, "file.tar");
  EXPECT_EQ(extension, "gz");
  SplitTitleAndExtension("C:\\dir.x\\file", title, extension);
  EXPECT_EQ(title, "file");
  EXPECT_EQ(extension, "");
  SplitTitleAndExtension(".hidden", title, extension);
  EXPECT_EQ(title, "");
  EXPECT_EQ(extension, "hidden");
  SplitTitleAndExtension("C:\\" + kSo + ".d\\" + kHyo + "." + kNo, title, extension);
  EXPECT_BYTES(kHyo, title);
  EXPECT_BYTES(kNo, extension);
}

TEST(PathText, GetDriveRoot) {
  EXPECT_EQ(GetDriveRoot("C:\\dir\\file"), "C:\\");
  EXPECT_EQ(GetDriveRoot("c:"), "c:\\");
  EXPECT_EQ(GetDriveRoot("D:/x"), "D:\\");
  EXPECT_EQ(GetDriveRoot("relative\\x"), "");
  EXPECT_EQ(GetDriveRoot(kSo + "\\" + kHyo), "");
}

TEST(PathText, CaseMappingTouchesOnlySingleByteLetters) {
  EXPECT_EQ(ToLowerCase("ABC xyz 09@[`{"), "abc xyz 09@[`{");
  EXPECT_EQ(ToUpperCase("abc XYZ 09@[`{"), "ABC XYZ 09@[`{");
  // ア is 83 41 and チ is 83 61: their trail bytes are ASCII letters and must stay.
  EXPECT_BYTES("アa" + kSo, ToLowerCase("アA" + kSo));
  EXPECT_BYTES("チA", ToUpperCase("チa"));
  EXPECT_BYTES("ＡＢ", ToLowerCase("ＡＢ"));
}

TEST(PathText, RemovingWhiteSpaceAndLineEnds) {
  EXPECT_EQ(RemoveSpaces(" a b\tc "), "ab\tc");
  EXPECT_EQ(RemoveTabs("\ta b\t"), "a b");
  EXPECT_EQ(RemoveCarriageReturns("a\r\nb\r"), "a\nb");
  EXPECT_BYTES("全角　空白", RemoveSpaces("全角　空白"));  // the full-width space 81 40 stays

  EXPECT_EQ(ConvertLfToCrLf("a\nb\r\nc\r"), "a\r\nb\r\nc");
  EXPECT_EQ(ConvertLfToCrLf("\n\n"), "\r\n\r\n");
  EXPECT_EQ(ConvertLfToCrLf("\r\r\n"), "\r\n");
  EXPECT_EQ(ConvertLfToCrLf(""), "");
  EXPECT_BYTES(kSo + "\r\n" + kHyo, ConvertLfToCrLf(kSo + "\n" + kHyo));
}

TEST(PathText, NumbersToText) {
  EXPECT_EQ(IntToString(0), "0");
  EXPECT_EQ(IntToString(-5), "-5");
  EXPECT_EQ(IntToString(2147483647), "2147483647");
  // Only the low 32 bits are printed, as a signed number.
  EXPECT_EQ(IntToString(0x100000005ll), "5");
  EXPECT_EQ(IntToString(0xFFFFFFFFll), "-1");
  EXPECT_EQ(IntToString(0x80000000ll), "-2147483648");
  EXPECT_EQ(IntToString(INT64_MIN), "0");

  EXPECT_EQ(FloatToString(3.14159), "3.14");
  EXPECT_EQ(FloatToString(-2.5), "-2.50");
  EXPECT_EQ(FloatToString(0.0), "0.00");
  EXPECT_EQ(FloatToString(1000.0f), "1000.00");
}

TEST(PathText, TextToNumbers) {
  EXPECT_EQ(StringToInt(""), 0);
  EXPECT_EQ(StringToInt("42"), 42);
  EXPECT_EQ(StringToInt("  -17xyz"), -17);
  EXPECT_EQ(StringToInt("+8"), 8);
  EXPECT_EQ(StringToInt("abc"), 0);
  EXPECT_EQ(StringToInt("99999999999"), INT_MAX);
  EXPECT_EQ(StringToInt("-99999999999"), INT_MIN);

  EXPECT_EQ(StringToFloat(""), 0.0f);
  EXPECT_EQ(StringToFloat("2.5"), 2.5f);
  EXPECT_EQ(StringToFloat(" -0.25abc"), -0.25f);
  EXPECT_EQ(StringToFloat("x1"), 0.0f);
}
