// The uninstall information file end to end on the file system and the registry: what the install job
// appends, what RunUninstall removes and what it must leave (a user's files, folders that are not empty,
// everything when the file is cut short, anything outside a section's own folder).

#include "installer/UninstallInfo.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "foundation/Folders.h"
#include "installer/Registration.h"
#include "installer/TextTable.h"
#include "installer/UninstallPaths.h"
#include "foundation/PathText.h"
#include "setup/InstallJob.h"
#include "tests/installer/InstallerTestSupport.h"
#include "tests/support/TestSupport.h"

using installer_testing::KeyExists;
using installer_testing::TestProduct;
using installer_testing::WriteValues;
using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::HexBytes;
using testing_support::ReadWholeFile;
using testing_support::ScratchFolder;
using testing_support::WriteFileMakingFolders;
using testing_support::WriteWholeFile;

namespace {

bool RegisteredAnywhere(const std::string& key) {
  return KeyExists(HKEY_LOCAL_MACHINE, key) || KeyExists(HKEY_CURRENT_USER, key);
}

// Registers the product's App Paths entry with `folder` as its installation folder.
void Register(const TestProduct& product, const std::string& folder) {
  ASSERT_TRUE(WriteValues(HKEY_CURRENT_USER, product.AppPathsKey(), {{"", folder + "\\x.exe"}, {"Path", folder}}));
}

}  // namespace

TEST(UninstallInfo, TwoInstallationsInOneFileAreBothRemoved) {
  ScratchFolder scratch;
  const std::string game = scratch / "Game";
  for (const char* file : {"game.exe", "data\\a.dat", "data\\ソ表\\b.dat", "addon\\c.dat", "save\\user.sav"}) {
    ASSERT_TRUE(WriteFileMakingFolders(game + "\\" + file, file));
  }
  TestProduct base, addon;
  // Absolute entries, as shortcuts and menu folders are: in a folder of this user's programs menu.
  const std::string menu = GetSpecialFolderPath(CSIDL_PROGRAMS) + "\\" + base.Name() + "-ソ表";
  const std::string shortcut = menu + "\\Game.lnk";
  ASSERT_TRUE(WriteFileMakingFolders(shortcut, "link"));

  CInstallJob job;
  job.SetTitle(base.Name());
  job.SetDestination(game);
  job.AddUninstallFile("game.exe");
  job.AddUninstallFile("data\\a.dat");
  job.AddUninstallFile("data\\ソ表\\b.dat");
  job.AddUninstallFile(shortcut);
  job.AddUninstallDirectory("data\\ソ表");
  job.AddUninstallDirectory("data");
  job.AddUninstallDirectory(menu);
  ASSERT_TRUE(job.RegisterAppPath("game.exe"));
  ASSERT_TRUE(job.RegisterUninstall("uninstall.exe", "Game"));
  ASSERT_TRUE(job.WriteUninstallInfo("uninstall.dat"));

  job.Reset();
  job.SetTitle(addon.Name());
  job.SetDestination(game + "\\");
  job.AddUninstallFile("addon\\c.dat");
  job.AddUninstallDirectory("addon");
  job.AddUninstallDirectory("save");  // still holds the user's file
  ASSERT_TRUE(job.RegisterAppPath("game.exe"));
  ASSERT_TRUE(job.RegisterUninstall("uninstall.exe", "Addon"));
  ASSERT_TRUE(job.WriteUninstallInfo("uninstall.dat"));

  std::string text;
  ASSERT_TRUE(ReadWholeFile(game + "\\uninstall.dat", &text));
  const std::string expected =
      "#AppName," + base.Name() + "\r\n#UninstallFile\r\ngame.exe\r\ndata\\a.dat\r\n" + "data\\ソ表\\b.dat\r\n" +
      shortcut + "\r\n##\r\n#UninstallDirectory\r\ndata\\ソ表\r\n" + "data\r\n" + menu + "\r\n##\r\n" + "#AppName," +
      addon.Name() + "\r\n#UninstallFile\r\naddon\\c.dat\r\n##\r\n#UninstallDirectory\r\naddon\r\nsave\r\n##\r\n";
  EXPECT_EQ(HexBytes(text), HexBytes(expected));

  EXPECT_EQ(RunUninstall(game + "\\uninstall.dat"), 1);
  for (const char* gone : {"game.exe", "data\\a.dat", "data\\ソ表\\b.dat", "addon\\c.dat", "uninstall.dat"}) {
    EXPECT_FALSE(FileExists(game + "\\" + gone)) << gone;
  }
  EXPECT_FALSE(FileExists(shortcut));
  EXPECT_FALSE(FolderExists(menu));
  EXPECT_FALSE(FolderExists(game + "\\data"));
  EXPECT_FALSE(FolderExists(game + "\\addon"));
  std::string user;
  EXPECT_TRUE(ReadWholeFile(game + "\\save\\user.sav", &user));
  EXPECT_EQ(user, "save\\user.sav");
  EXPECT_TRUE(FolderExists(game));
  for (const TestProduct* product : {&base, &addon}) {
    EXPECT_FALSE(RegisteredAnywhere(product->AppPathsKey()));
    EXPECT_FALSE(RegisteredAnywhere(product->UninstallKey()));
  }

  // With the user's file gone too, a second installation's uninstall removes the folder itself.
  ASSERT_TRUE(DeleteFileA((game + "\\save\\user.sav").c_str()));
  ASSERT_TRUE(RemoveDirectoryA((game + "\\save").c_str()));
  job.Reset();
  job.SetTitle(base.Name());
  job.SetDestination(game);
  ASSERT_TRUE(job.RegisterAppPath("game.exe"));
  ASSERT_TRUE(job.WriteUninstallInfo("uninstall.dat"));
  EXPECT_EQ(RunUninstall(game + "\\uninstall.dat"), 1);
  EXPECT_FALSE(FolderExists(game));
}

TEST(UninstallInfo, ListWithoutItsEndLeavesEverythingInPlace) {
  ScratchFolder scratch;
  TestProduct first, second;
  Register(first, scratch.Path());
  Register(second, scratch.Path());
  ASSERT_TRUE(WriteValues(HKEY_CURRENT_USER, first.UninstallKey(), {{"DisplayName", "First"}}));
  ASSERT_TRUE(WriteWholeFile(scratch / "one.txt", "1"));
  ASSERT_TRUE(WriteWholeFile(scratch / "two.txt", "2"));
  const std::string complete =
      "#AppName," + first.Name() + "\r\n#UninstallFile\r\none.txt\r\n##\r\n" + "#UninstallDirectory\r\n##\r\n";
  for (const std::string& cut : {"#AppName," + second.Name() + "\r\n#UninstallFile\r\ntwo.txt\r\n",
                                 "#AppName," + second.Name() + "\r\n#UninstallFile\r\ntwo.txt\r\n##\r\n" +
                                     "#UninstallDirectory\r\n" + scratch.Path() + "\r\n#"}) {
    ASSERT_TRUE(WriteWholeFile(scratch / "info.dat", complete + cut));
    EXPECT_EQ(RunUninstall(scratch / "info.dat"), -1);
    EXPECT_TRUE(FileExists(scratch / "one.txt"));
    EXPECT_TRUE(FileExists(scratch / "two.txt"));
    EXPECT_TRUE(FileExists(scratch / "info.dat"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, first.AppPathsKey()));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, first.UninstallKey()));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, second.AppPathsKey()));
  }
}

TEST(UninstallInfo, UnregisteredNameAndClimbingEntriesTouchNothing) {
  ScratchFolder scratch;
  const std::string own = scratch / "Own";
  ASSERT_TRUE(testing_support::MakeFolders(own + "\\inner"));
  for (const char* file : {"Own\\mine.txt", "Own\\inner\\keep.txt", "outside.txt", "absolute.txt"}) {
    ASSERT_TRUE(WriteWholeFile(scratch / file, file));
  }
  TestProduct registered, unregistered;
  Register(registered, own + "\\inner");
  ASSERT_TRUE(WriteValues(HKEY_CURRENT_USER, unregistered.UninstallKey(), {{"DisplayName", "Gone"}}));
  // The scratch folder's path without its drive: joined to no folder at all it would reach the real
  // files from the root of the current drive.
  ASSERT_TRUE(ChangeCurrentDirectory(scratch.Path()));
  const std::string fromRoot = scratch.Path().substr(scratch.Path().find('\\') + 1) + "\\outside.txt";
  const std::string text =
      // First an unregistered section, then a registered one, then an unregistered one again, which
      // must not use the folder of the section before it.
      "#AppName," + unregistered.Name() + "\r\n#UninstallFile\r\n" + fromRoot + "\r\n" + scratch / "absolute.txt" +
      "\r\n##\r\n#UninstallDirectory\r\n##\r\n" + "#AppName," + registered.Name() +
      "\r\n#UninstallFile\r\n..\\mine.txt\r\n..\\\\..\\outside.txt\r\n##\r\n#UninstallDirectory\r\n..\r\n##\r\n" +
      "#AppName," + unregistered.Name() + "\r\n#UninstallFile\r\nkeep.txt\r\n##\r\n" + "#UninstallDirectory\r\n##\r\n";
  // The information file lies in the registered section's own folder.
  ASSERT_TRUE(WriteWholeFile(own + "\\inner\\info.dat", text));
  UninstallLeftovers left;
  EXPECT_EQ(RunUninstall(own + "\\inner\\info.dat", &left), 1);
  ChangeCurrentDirectory(GetTempDirectory());
  EXPECT_TRUE(FileExists(scratch / "outside.txt"));
  EXPECT_TRUE(FileExists(scratch / "Own\\mine.txt"));
  EXPECT_TRUE(FileExists(scratch / "Own\\inner\\keep.txt"));
  EXPECT_TRUE(FolderExists(own));
  // An unregistered section touches nothing, not even its absolute entries; the climbing entries of the
  // registered one are refused, so the uninstall is not complete: the file and its registration stay
  // for another try, and the other name's Uninstall entry is not this installation's to remove.
  EXPECT_TRUE(FileExists(scratch / "absolute.txt"));
  EXPECT_EQ(left.unregistered, (std::vector<std::string>{unregistered.Name(), unregistered.Name()}));
  EXPECT_EQ(left.refused, (std::vector<std::string>{"..\\mine.txt", "..\\\\..\\outside.txt", ".."}));
  EXPECT_FALSE(left.IsComplete());
  EXPECT_TRUE(RegisteredAnywhere(unregistered.UninstallKey()));
  EXPECT_TRUE(RegisteredAnywhere(registered.AppPathsKey()));
  EXPECT_TRUE(FileExists(own + "\\inner\\info.dat"));
}

TEST(UninstallInfo, LinesAreTakenWholeAndMissingHeadersEndTheReading) {
  ScratchFolder scratch;
  TestProduct product, later;
  Register(product, scratch.Path());
  Register(later, scratch.Path());
  for (const char* file : {"a,b.txt", "a", "two  spaces.txt", "two spaces.txt", "commented.txt", "later.txt"}) {
    ASSERT_TRUE(WriteWholeFile(scratch / file, file));
  }
  // Lines before the first section are ignored; a path keeps its commas and its runs of spaces; a comment
  // ends a line. The next section has no "#UninstallDirectory": its files go, it stays registered, and
  // the reading ends there.
  const std::string text = "written by a test\r\n#AppName," + product.Name() +
                           "\r\n#UninstallFile\r\na,b.txt\r\ntwo  spaces.txt\r\ncommented.txt// the end\r\n##\r\n" +
                           "#UninstallDirectory\r\n##\r\n#AppName," + later.Name() +
                           "\r\n#UninstallFile\r\nlater.txt\r\n##\r\n#AppName," + product.Name() + "\r\n";
  ASSERT_TRUE(WriteWholeFile(scratch / "info.dat", text));
  EXPECT_EQ(RunUninstall(scratch / "info.dat"), 1);
  EXPECT_FALSE(FileExists(scratch / "a,b.txt"));
  EXPECT_TRUE(FileExists(scratch / "a"));
  EXPECT_FALSE(FileExists(scratch / "two  spaces.txt"));
  EXPECT_TRUE(FileExists(scratch / "two spaces.txt"));
  EXPECT_FALSE(FileExists(scratch / "commented.txt"));
  EXPECT_FALSE(FileExists(scratch / "later.txt"));
  EXPECT_FALSE(RegisteredAnywhere(product.AppPathsKey()));
  EXPECT_TRUE(RegisteredAnywhere(later.AppPathsKey()));
  EXPECT_FALSE(FileExists(scratch / "info.dat"));
}

TEST(UninstallInfo, EmptyOrMissingFile) {
  ScratchFolder scratch;
  ASSERT_TRUE(WriteWholeFile(scratch / "empty.dat", ""));
  EXPECT_EQ(RunUninstall(scratch / "empty.dat"), 1);
  EXPECT_FALSE(FileExists(scratch / "empty.dat"));
  EXPECT_EQ(RunUninstall(scratch / "missing.dat"), 0);
  EXPECT_EQ(RunUninstall(""), 0);
}

TEST(UninstallInfo, WriteUninstallInfoNeedsADestination) {
  ScratchFolder scratch;
  CInstallJob job;
  job.SetTitle("x");
  EXPECT_FALSE(job.WriteUninstallInfo("uninstall.dat"));
  job.SetDestination(scratch / "no such folder");
  EXPECT_FALSE(job.WriteUninstallInfo("uninstall.dat"));
}

TEST(UninstallInfo, TextTableLoadsThroughTheFileFront) {
  ScratchFolder scratch;
  ASSERT_TRUE(WriteWholeFile(scratch / "table.txt", "a,b\r\nc"));
  CTextTable table;
  ASSERT_TRUE(table.Load(scratch / "table.txt"));
  std::string fields[2];
  ASSERT_TRUE(table.ReadRecord(2, fields));
  EXPECT_EQ(fields[0], "a");
  EXPECT_EQ(fields[1], "b");
  ASSERT_TRUE(table.ReadRecord(2, fields));
  EXPECT_EQ(fields[0], "c");
  EXPECT_TRUE(table.IsAtEnd());
  EXPECT_FALSE(table.Load(scratch / "missing.txt"));
  EXPECT_FALSE(table.ReadRecord(2, fields));
}

namespace {

// A game installed in a Japanese folder (trail bytes 0x5C) below a scratch folder, registered under the
// current user, with a file of someone else's beside it, outside the installation.
struct GameInstall {
  ScratchFolder scratch;
  TestProduct product{"-ゲーム"};
  std::string game, info, outside;

  GameInstall() {
    game = scratch / "ソ表\\予十ゲーム";
    info = game + "\\uninstall.dat";
    outside = scratch / "他人の表.txt";
    EXPECT_TRUE(WriteFileMakingFolders(game + "\\game.exe", "MZ"));
    EXPECT_TRUE(WriteWholeFile(outside, "not the game's"));
    Register(product, game);
  }

  // One section of this product with the files and folders given (each line ends in CR LF).
  std::string Section(const std::string& files, const std::string& folders = "") const {
    return "#AppName," + product.Name() + "\r\n#UninstallFile\r\n" + files + "##\r\n#UninstallDirectory\r\n" + folders +
           "##\r\n";
  }
};

}  // namespace

TEST(UninstallInfo, AbsoluteEntriesOutsideTheirPlacesAreRefused) {
  GameInstall install;
  const std::string outside = install.outside;
  const std::string noDrive = outside.substr(2);  // "\\users\\...": the root of the current drive
  std::string entries;
  for (const std::string& entry : std::vector<std::string>{
           outside, "\\\\?\\" + outside, "\\\\.\\" + outside, "\\\\localhost\\C$" + noDrive, noDrive,
           "C:" + noDrive.substr(1),            // drive-relative
           install.game + "\\game.exe:stream",  // an alternate data stream
           install.game + "\\..\\..\\他人の表.txt", install.game + "\\...\\x", install.game + "\\.. \\x",
           install.game + "\\CON", "game.exe.", "..\\..\\他人の表.txt", "data\\..\\..\\..\\他人の表.txt",
           "game.exe::$DATA", "NUL"}) {
    entries += entry + "\r\n";
  }
  // A shortcut or a folder is taken only below the desktop and the programs folders; other files never.
  const std::string programs = GetSpecialFolderPath(CSIDL_PROGRAMS);
  const std::string notALink = programs + "\\" + install.product.Name() + ".txt";
  ASSERT_TRUE(WriteWholeFile(notALink, "a user's note"));
  entries += notALink + "\r\n" + outside.substr(0, outside.size() - 4) + ".lnk\r\n";
  ASSERT_TRUE(WriteWholeFile(install.info, install.Section(entries, install.scratch.Path() + "\r\n")));

  UninstallLeftovers left;
  EXPECT_EQ(RunUninstall(install.info, &left), 1);
  EXPECT_TRUE(FileExists(outside));
  EXPECT_TRUE(FileExists(notALink));
  EXPECT_TRUE(FolderExists(install.scratch.Path()));
  EXPECT_TRUE(FileExists(install.game + "\\game.exe"));
  EXPECT_EQ(left.refused.size(), 19u);
  EXPECT_FALSE(left.IsComplete());
  // Nothing stayed by failure, but the file and the registration are kept for another try.
  EXPECT_TRUE(left.files.empty());
  EXPECT_TRUE(FileExists(install.info));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, install.product.AppPathsKey()));
  DeleteFileA(notALink.c_str());
}

TEST(UninstallInfo, AbsoluteEntriesInsideTheirPlacesAreTakenWhateverTheSpelling) {
  GameInstall install;
  const std::string menu = GetSpecialFolderPath(CSIDL_PROGRAMS) + "\\" + install.product.Name() + "\\能";
  ASSERT_TRUE(WriteFileMakingFolders(menu + "\\ゲーム.LNK", "link"));
  ASSERT_TRUE(WriteFileMakingFolders(install.game + "\\データ\\表.dat", "data"));
  // Another case, '/' for '\\', doubled and trailing separators: all name the same files. The
  // installation folder itself may be listed too (it goes last, once empty).
  // ("//" would start a comment in the file.)
  std::string spelled = ToUpperCase(install.game) + "/データ\\\\表.dat";
  ASSERT_TRUE(
      WriteWholeFile(install.info, install.Section(spelled + "\r\n" + menu + "\\ゲーム.LNK\r\ngame.exe\r\n",
                                                   ToLowerCase(install.game) + "/データ/\r\n" + menu + "\r\n" +
                                                       GetParentDirectory(menu) + "\r\n" + install.game + "\r\n")));
  UninstallLeftovers left;
  EXPECT_EQ(RunUninstall(install.info, &left), 1);
  EXPECT_TRUE(left.IsComplete());
  EXPECT_FALSE(FileExists(install.game + "\\データ\\表.dat"));
  EXPECT_FALSE(FolderExists(GetParentDirectory(menu)));
  EXPECT_FALSE(FolderExists(install.game));
  EXPECT_TRUE(FileExists(install.outside));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, install.product.AppPathsKey()));
}

TEST(UninstallInfo, SectionsRegisteredToAnotherFolderAreLeftAlone) {
  GameInstall install;
  // The same title installed again elsewhere: its registration names the new folder.
  ScratchFolder newer;
  ASSERT_TRUE(WriteWholeFile(newer / "game.exe", "MZ new"));
  Register(install.product, newer.Path());
  ASSERT_TRUE(WriteValues(HKEY_CURRENT_USER, install.product.UninstallKey(), {{"DisplayName", "新"}}));
  // A hand-edited section naming another program, registered in its own folder.
  TestProduct other("-他");
  Register(other, newer.Path());
  const std::string text = install.Section("game.exe\r\n" + newer / "game.exe" + "\r\n") + "#AppName," + other.Name() +
                           "\r\n#UninstallFile\r\ngame.exe\r\n##\r\n#UninstallDirectory\r\n##\r\n";
  ASSERT_TRUE(WriteWholeFile(install.info, text));
  UninstallLeftovers left;
  EXPECT_EQ(RunUninstall(install.info, &left), 1);
  EXPECT_EQ(left.foreign, (std::vector<std::string>{install.product.Name(), other.Name()}));
  EXPECT_FALSE(left.IsComplete());
  EXPECT_TRUE(FileExists(newer / "game.exe"));
  EXPECT_TRUE(FileExists(install.game + "\\game.exe"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, install.product.AppPathsKey()));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, install.product.UninstallKey()));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, other.AppPathsKey()));
  EXPECT_TRUE(FileExists(install.info));
}

namespace {

std::string linkedFolder;  // the folder the fake attribute reader calls a junction
unsigned long AttributesWithAJunction(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && FoldPathCase(path) == FoldPathCase(linkedFolder)) {
    return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return attributes;
}

}  // namespace

TEST(UninstallInfo, NothingIsRemovedThroughAJunction) {
  GameInstall install;
  ASSERT_TRUE(WriteFileMakingFolders(install.game + "\\data\\表\\a.dat", "a"));
  ASSERT_TRUE(WriteFileMakingFolders(install.game + "\\save\\b.dat", "b"));
  ASSERT_TRUE(WriteWholeFile(install.info,
                             install.Section("data\\表\\a.dat\r\nsave\\b.dat\r\n", "data\\表\r\ndata\r\nsave\r\n")));
  linkedFolder = install.game + "\\data";
  SetUninstallAttributeReader(AttributesWithAJunction);
  UninstallLeftovers left;
  EXPECT_EQ(RunUninstall(install.info, &left), 1);
  SetUninstallAttributeReader(nullptr);
  EXPECT_EQ(left.refused, (std::vector<std::string>{"data\\表\\a.dat", "data\\表", "data"}));
  EXPECT_TRUE(FileExists(install.game + "\\data\\表\\a.dat"));
  EXPECT_FALSE(FileExists(install.game + "\\save\\b.dat"));
  EXPECT_FALSE(FolderExists(install.game + "\\save"));
  EXPECT_TRUE(FileExists(install.info));
}

TEST(UninstallInfo, NothingIsRemovedThroughARealSymbolicLink) {
  GameInstall install;
  UninstallLeftovers left;
  // A symbolic link to a folder outside, where the system can make one that reports itself as one.
  using CreateLink = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
  const CreateLink createLink = reinterpret_cast<CreateLink>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
  ASSERT_TRUE(WriteFileMakingFolders(install.scratch / "外\\victim.dat", "v"));
  const std::string link = install.game + "\\リンク";
  if (!createLink || !createLink(link.c_str(), (install.scratch / "外").c_str(), 1) ||
      GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES ||
      !(GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "this system makes no symbolic link to a folder that reports itself as one";
  }
  ASSERT_TRUE(WriteWholeFile(install.info, install.Section("リンク\\victim.dat\r\n", "リンク\r\n")));
  EXPECT_EQ(RunUninstall(install.info, &left), 1);
  EXPECT_TRUE(FileExists(install.scratch / "外\\victim.dat"));
  EXPECT_EQ(left.refused.size(), 2u);
  RemoveDirectoryA(link.c_str());
}

TEST(UninstallInfo, AFileHeldOpenKeepsTheInformationAndTheRegistration) {
  GameInstall install;
  ASSERT_TRUE(WriteFileMakingFolders(install.game + "\\data\\表.dat", "held"));
  ASSERT_TRUE(WriteWholeFile(install.info, install.Section("game.exe\r\ndata\\表.dat\r\n", "data\r\n")));
  HANDLE held =
      CreateFileA((install.game + "\\data\\表.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  UninstallLeftovers left;
  EXPECT_EQ(RunUninstall(install.info, &left), 1);
  CloseHandle(held);
  EXPECT_EQ(left.files, (std::vector<std::string>{install.game + "\\data\\表.dat"}));
  EXPECT_EQ(left.folders, (std::vector<std::string>{install.game + "\\data"}));
  EXPECT_FALSE(left.IsComplete());
  EXPECT_FALSE(FileExists(install.game + "\\game.exe"));
  EXPECT_TRUE(FileExists(install.info));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, install.product.AppPathsKey()));
  // Once the game has let go, the same file finishes the job.
  EXPECT_EQ(RunUninstall(install.info, &left), 1);
  EXPECT_TRUE(left.IsComplete());
  EXPECT_FALSE(FolderExists(install.game));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, install.product.AppPathsKey()));
}

TEST(UninstallInfo, ByteOrderMarkIsNothingAndAFileWithoutSectionsIsDamage) {
  GameInstall install;
  ASSERT_TRUE(WriteWholeFile(install.info, "\xEF\xBB\xBF" + install.Section("game.exe\r\n")));
  UninstallLeftovers left;
  EXPECT_EQ(RunUninstall(install.info, &left), 1);
  EXPECT_TRUE(left.IsComplete());
  EXPECT_FALSE(FileExists(install.game + "\\game.exe"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, install.product.AppPathsKey()));

  Register(install.product, install.game);
  ASSERT_TRUE(WriteFileMakingFolders(install.game + "\\game.exe", "MZ"));
  for (const std::string& damaged :
       {std::string("\xEF\xBB\xBF#AppNam,x\r\n#UninstallFile\r\ngame.exe\r\n##\r\n"), std::string("ゲーム.exe\r\n")}) {
    ASSERT_TRUE(WriteWholeFile(install.info, damaged));
    EXPECT_EQ(RunUninstall(install.info, &left), -1);
    EXPECT_TRUE(left.noSection);
    EXPECT_TRUE(FileExists(install.info));
    EXPECT_TRUE(FileExists(install.game + "\\game.exe"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, install.product.AppPathsKey()));
  }
}

TEST(UninstallInfo, FoldersOfOneSectionEmptiedByAnotherGoToo) {
  GameInstall install;
  TestProduct addon("-追加");
  Register(addon, install.game);
  ASSERT_TRUE(WriteFileMakingFolders(install.game + "\\data\\base.dat", "b"));
  ASSERT_TRUE(WriteFileMakingFolders(install.game + "\\data\\追加\\addon.dat", "a"));
  // The base lists "data" before the add-on's files inside it are gone; the add-on lists its folder
  // after the base's.
  const std::string text = install.Section("game.exe\r\ndata\\base.dat\r\n", "data\r\n") + "#AppName," + addon.Name() +
                           "\r\n#UninstallFile\r\ndata\\追加\\addon.dat\r\n##\r\n" +
                           "#UninstallDirectory\r\ndata\\追加\r\n##\r\n";
  ASSERT_TRUE(WriteWholeFile(install.info, text));
  UninstallLeftovers left;
  EXPECT_EQ(RunUninstall(install.info, &left), 1);
  EXPECT_TRUE(left.IsComplete());
  EXPECT_TRUE(left.folders.empty());
  EXPECT_FALSE(FolderExists(install.game));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, addon.AppPathsKey()));
}

TEST(UninstallInfo, DriveRootInstallationKeepsTheRoot) {
  // The harness's drive F: is a folder the tests may fill; the game is installed in its root.
  if (testing_support::HarnessSetting("ADDON_CD_DRIVES").find('F') == std::string::npos || !FolderExists("F:\\")) {
    GTEST_SKIP() << "ADDON_CD_DRIVES names no drive F: (run through ./dev)";
  }
  TestProduct product("-ルート");
  ASSERT_TRUE(WriteFileMakingFolders("F:\\ソ表.exe", "MZ"));
  ASSERT_TRUE(WriteFileMakingFolders("F:\\data\\表.dat", "d"));
  CInstallJob job;
  job.SetTitle(product.Name());
  job.SetDestination("F:\\");
  ASSERT_TRUE(job.RegisterAppPath("ソ表.exe"));
  job.AddUninstallFile("ソ表.exe");
  job.AddUninstallFile("data\\表.dat");
  job.AddUninstallDirectory("data");
  ASSERT_TRUE(job.WriteUninstallInfo("uninstall.dat"));
  UninstallLeftovers left;
  EXPECT_EQ(RunUninstall("F:\\uninstall.dat", &left), 1);
  EXPECT_TRUE(left.IsComplete());
  EXPECT_FALSE(FileExists("F:\\ソ表.exe"));
  EXPECT_FALSE(FolderExists("F:\\data"));
  EXPECT_FALSE(FileExists("F:\\uninstall.dat"));
  EXPECT_TRUE(FolderExists("F:\\"));
  EXPECT_TRUE(left.folders.empty());  // the root is not even tried
  EXPECT_FALSE(RegisteredAnywhere(product.AppPathsKey()));
}

TEST(UninstallInfo, TheCallersOwnFileIsRecognisedByIdentity) {
  GameInstall install;
  ASSERT_TRUE(WriteFileMakingFolders(install.game + "\\bin\\uninstall.exe", "MZ"));
  ASSERT_TRUE(WriteWholeFile(install.info, install.Section("BIN\\Uninstall.EXE\r\ngame.exe\r\n", "bin\r\n")));
  UninstallLeftovers left;
  EXPECT_EQ(RunUninstall(install.info, &left, ToLowerCase(install.game) + "/bin//uninstall.exe"), 1);
  EXPECT_TRUE(left.IsComplete());
  EXPECT_EQ(left.deferred.size(), 1u);
  EXPECT_TRUE(FileExists(install.game + "\\bin\\uninstall.exe"));
  EXPECT_EQ(left.folders, (std::vector<std::string>{install.game + "\\bin", install.game}));
  EXPECT_FALSE(FileExists(install.info));
}
