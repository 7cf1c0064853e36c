// The uninstall information file end to end on the file system and the registry: what the install job
// appends, what RunUninstall removes and what it must leave (a user's files, folders that are not empty,
// everything when the file is cut short, anything outside a section's own folder).

#include "installer/UninstallInfo.h"

#include <gtest/gtest.h>

#include "foundation/Folders.h"
#include "installer/Registration.h"
#include "installer/TextTable.h"
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
  const std::string shortcut = scratch / "Desktop\\Game.lnk";  // an absolute entry, as shortcuts are
  for (const char* file : {"game.exe", "data\\a.dat", "data\\ソ表\\b.dat", "addon\\c.dat", "save\\user.sav"}) {
    ASSERT_TRUE(WriteFileMakingFolders(game + "\\" + file, file));
  }
  ASSERT_TRUE(WriteFileMakingFolders(shortcut, "link"));

  TestProduct base, addon;
  CInstallJob job;
  job.SetTitle(base.Name());
  job.SetDestination(game);
  job.AddUninstallFile("game.exe");
  job.AddUninstallFile("data\\a.dat");
  job.AddUninstallFile("data\\ソ表\\b.dat");
  job.AddUninstallFile(shortcut);
  job.AddUninstallDirectory("data\\ソ表");
  job.AddUninstallDirectory("data");
  job.AddUninstallDirectory(scratch / "Desktop");
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
  const std::string expected = "#AppName," + base.Name() + "\r\n#UninstallFile\r\ngame.exe\r\ndata\\a.dat\r\n" +
                               "data\\ソ表\\b.dat\r\n" + shortcut + "\r\n##\r\n#UninstallDirectory\r\ndata\\ソ表\r\n" +
                               "data\r\n" + scratch / "Desktop" + "\r\n##\r\n" + "#AppName," + addon.Name() +
                               "\r\n#UninstallFile\r\naddon\\c.dat\r\n##\r\n#UninstallDirectory\r\naddon\r\nsave\r\n##\r\n";
  EXPECT_EQ(HexBytes(text), HexBytes(expected));

  EXPECT_EQ(RunUninstall(game + "\\uninstall.dat"), 1);
  for (const char* gone : {"game.exe", "data\\a.dat", "data\\ソ表\\b.dat", "addon\\c.dat", "uninstall.dat"}) {
    EXPECT_FALSE(FileExists(game + "\\" + gone)) << gone;
  }
  EXPECT_FALSE(FileExists(shortcut));
  EXPECT_FALSE(FolderExists(scratch / "Desktop"));
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
  const std::string complete = "#AppName," + first.Name() + "\r\n#UninstallFile\r\none.txt\r\n##\r\n" +
                               "#UninstallDirectory\r\n##\r\n";
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

TEST(UninstallInfo, UnregisteredNameNeverReachesOtherFolders) {
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
      "#AppName," + unregistered.Name() + "\r\n#UninstallFile\r\nkeep.txt\r\n##\r\n" +
      "#UninstallDirectory\r\n##\r\n";
  ASSERT_TRUE(WriteWholeFile(scratch / "info.dat", text));
  EXPECT_EQ(RunUninstall(scratch / "info.dat"), 1);
  ChangeCurrentDirectory(GetTempDirectory());
  EXPECT_TRUE(FileExists(scratch / "outside.txt"));
  EXPECT_TRUE(FileExists(scratch / "Own\\mine.txt"));
  EXPECT_TRUE(FileExists(scratch / "Own\\inner\\keep.txt"));
  EXPECT_TRUE(FolderExists(own));
  // Absolute entries are still removed, and both names are unregistered.
  EXPECT_FALSE(FileExists(scratch / "absolute.txt"));
  EXPECT_FALSE(RegisteredAnywhere(unregistered.UninstallKey()));
  EXPECT_FALSE(RegisteredAnywhere(registered.AppPathsKey()));
  EXPECT_FALSE(FileExists(scratch / "info.dat"));
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
