// The path forms the uninstaller accepts from its information file, and the inside-a-folder test, on
// Japanese names whose trail bytes equal '\\' (ソ 表 能 予 十), near the 260-byte limit, and on every form
// by which a path can leave the folder it seems to name.

#include "installer/UninstallPaths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A path of about 250 bytes below C:\ made of ソ表 pairs (each 83 5C 95 5C).
std::string LongJapanesePath() {
  std::string path = "C:\\ゲーム";
  while (path.size() < 240) path += "\\ソ表能予十";
  return path + "\\データ.dat";
}

}  // namespace

TEST(UninstallPaths, PlainFullPathsAccepted) {
  for (const std::string& path :
       {std::string("C:\\Game\\data\\a.dat"), std::string("c:/Game/data/"), std::string("D:\\"),
        std::string("C:\\ゲーム\\ソ表\\能.dat"), std::string("C:\\ソ\\十\\"), std::string("C:\\a..b\\.hidden"),
        std::string("C:\\Game\\\\data"), std::string("C:\\Program Files\\Sorvane Demo.lnk"), LongJapanesePath()}) {
    EXPECT_TRUE(IsPlainFullPath(path)) << path;
  }
}

TEST(UninstallPaths, EveryFormThatLeavesOrRedirectsIsRefused) {
  for (const char* path : {// network, device and literal forms
                           "\\\\host\\share\\a.txt", "\\\\?\\C:\\Windows\\a.txt", "\\\\.\\C:\\a.txt",
                           "\\\\?\\UNC\\host\\s\\a", "//host/share/a.txt",
                           // drive-relative and root-relative
                           "C:foo.txt", "C:..\\foo", "\\Windows\\a.txt", "/Windows/a.txt",
                           // alternate data streams, a second colon, wildcards and reserved characters
                           "C:\\Game\\a.txt:stream", "C:\\Game\\a.txt::$DATA", "C:\\Game\\*.dat", "C:\\Game\\a?.dat",
                           "C:\\Game\\a\"b", "C:\\Game\\a<b", "C:\\Game\\a|b", "C:\\Game\\a\tb",
                           // climbing and names the system shortens to something else
                           "C:\\Game\\..\\Windows", "C:\\Game\\.\\a", "C:\\Game\\...\\a", "C:\\Game\\.. \\a",
                           "C:\\Game\\ ..\\a", "C:\\Game\\ \\a", "C:\\Game\\a.", "C:\\Game\\a ", "C:\\Game\\data.\\a",
                           // device names, with extensions and trailing spaces
                           "C:\\Game\\CON", "C:\\Game\\nul.txt", "C:\\Game\\COM1", "C:\\Game\\lpt9.log",
                           "C:\\Game\\AUX .txt", "C:\\Game\\CONIN$", "C:\\Game\\conout$.x", "C:\\Game\\prn",
                           // not a drive letter, too short, a lone lead byte at the end
                           "1:\\a", "C:", "C", "", "C:\\ゲーム\x83"}) {
    EXPECT_FALSE(IsPlainFullPath(path)) << path;
  }
  // A trail byte that equals '\\' is no separator (表 is 95 5C); a lead byte before ':' (never a trail
  // byte) is refused, as the system might read the ':' on its own.
  EXPECT_TRUE(IsPlainFullPath("C:\\表\\能"));
  EXPECT_FALSE(IsPlainFullPath(std::string("C:\\a") + "\x83" + ":b"));
}

TEST(UninstallPaths, RelativePaths) {
  for (const char* path : {"game.exe", "data\\ソ表\\b.dat", "data/ソ/", "予十\\能", "two  spaces.txt", "a,b.txt"}) {
    EXPECT_TRUE(IsPlainRelativePath(path)) << path;
  }
  for (const char* path : {"", "..", "..\\outside.txt", "data\\..\\..\\x", "...\\x", ".. \\x", "data\\.", "\\root.txt",
                           "/root.txt", "C:x", "a.txt:stream", "CON", "data\\nul.dat", "x.", "ソ表\\..\\..\\x"}) {
    EXPECT_FALSE(IsPlainRelativePath(path)) << path;
  }
}

TEST(UninstallPaths, InsideAFolder) {
  EXPECT_TRUE(IsPathInside("C:\\Game\\a.dat", "C:\\Game"));
  EXPECT_TRUE(IsPathInside("c:\\GAME\\a.dat", "C:\\game\\"));
  EXPECT_TRUE(IsPathInside("C:\\a.dat", "C:\\"));
  EXPECT_FALSE(IsPathInside("C:\\Game", "C:\\Game"));
  EXPECT_FALSE(IsPathInside("C:\\Game\\", "C:\\Game"));
  EXPECT_FALSE(IsPathInside("C:\\GameX\\a.dat", "C:\\Game"));
  EXPECT_FALSE(IsPathInside("D:\\Game\\a.dat", "C:\\Game"));
  EXPECT_FALSE(IsPathInside("C:\\Game\\a.dat", ""));
  // Japanese folders whose last byte is a trail byte 0x5C: that byte is no separator of its own.
  EXPECT_TRUE(IsPathInside("C:\\ゲーム\\ソ\\a.dat", "C:\\ゲーム\\ソ"));
  EXPECT_TRUE(IsPathInside("C:\\ゲーム\\ソ\\a.dat", "C:\\ゲーム\\ソ\\"));
  EXPECT_FALSE(IsPathInside("C:\\ゲーム\\ソ表\\a.dat", "C:\\ゲーム\\ソ"));
  EXPECT_FALSE(IsPathInside("C:\\ゲーム\\ソa.dat", "C:\\ゲーム\\ソ"));
  // Case folding leaves double-byte characters alone: Ａ (82 60) and ａ (82 81) differ, and the trail
  // byte 0x41 ('A' as a single byte) of ア (83 41) is not lowered.
  EXPECT_FALSE(IsPathInside("C:\\ａ\\x", "C:\\Ａ"));
  EXPECT_TRUE(IsPathInside("C:\\ア\\x", "c:\\ア"));
  EXPECT_EQ(FoldPathCase("C:\\アセ\\AB"), "c:\\アセ\\ab");
  const std::string longPath = LongJapanesePath();
  EXPECT_TRUE(IsPathInside(longPath, "C:\\ゲーム"));
  EXPECT_FALSE(IsPathInside(longPath, longPath));
}

TEST(UninstallPaths, DriveRootsShortcutsSeparatorsAndByteOrderMarks) {
  for (const char* root : {"C:", "C:\\", "d:/"}) EXPECT_TRUE(IsDriveRoot(root)) << root;
  for (const char* other : {"C:\\a", "C", "1:", "\\\\", ""}) EXPECT_FALSE(IsDriveRoot(other)) << other;

  EXPECT_TRUE(HasShortcutExtension("C:\\デスクトップ\\ゲーム.lnk"));
  EXPECT_TRUE(HasShortcutExtension("C:\\x\\Game.LNK"));
  EXPECT_FALSE(HasShortcutExtension("C:\\x\\Game.lnk.exe"));
  EXPECT_FALSE(HasShortcutExtension("lnk"));
  // The '.' after a lead byte is its trail byte, not the start of an extension.
  EXPECT_FALSE(HasShortcutExtension(std::string("C:\\a\x83") + ".lnk"));

  EXPECT_TRUE(EndsWithSeparator("C:\\Game\\"));
  EXPECT_FALSE(EndsWithSeparator("C:\\ソ"));  // 83 5C: a trail byte
  EXPECT_TRUE(EndsWithSeparator("C:\\ソ\\"));
  EXPECT_FALSE(EndsWithSeparator(""));

  EXPECT_EQ(WithoutByteOrderMark("\xEF\xBB\xBF#AppName,ソ表"), "#AppName,ソ表");
  EXPECT_EQ(WithoutByteOrderMark("#AppName,x"), "#AppName,x");
  EXPECT_EQ(WithoutByteOrderMark("\xEF\xBB"), "\xEF\xBB");
}
