// App Paths and Uninstall registration on the real registry (test-only product names, removed from both
// roots afterwards): what the install job writes, that the base-game lookup reads it back, that the
// registered program really starts in its folder, and that the removers clear either root.

#include "installer/Registration.h"

#include <gtest/gtest.h>

#include "foundation/Folders.h"
#include "foundation/PathText.h"
#include "setup/BaseGameLookup.h"
#include "setup/InstallJob.h"
#include "tests/installer/InstallerTestSupport.h"
#include "tests/support/TestSupport.h"

using installer_testing::KeyExists;
using installer_testing::ReadValue;
using installer_testing::TestProduct;
using installer_testing::WriteValues;
using testing_support::ChildEnvironment;
using testing_support::FileExists;
using testing_support::ReadWholeFile;
using testing_support::ScratchFolder;

namespace {

const char* const kProofFile = "started-here.txt";

}  // namespace

TEST(Registration, RegisterAppPathWritesWhatTheLookupReads) {
  TestProduct product;
  CInstallJob job;
  job.SetTitle(product.Name());
  job.SetDestination("C:\\G");
  ASSERT_TRUE(job.RegisterAppPath("Game.exe"));
  const HKEY root = GetRegistrationRoot();
  EXPECT_EQ(ReadValue(root, product.AppPathsKey(), ""), "C:\\G\\Game.exe");
  EXPECT_EQ(ReadValue(root, product.AppPathsKey(), "Path"), "C:\\G");
  std::string folder, executable;
  ASSERT_TRUE(setup::FindBaseGameInstall(product.Name(), folder, executable));
  EXPECT_EQ(folder, "C:\\G");
  EXPECT_EQ(executable, "C:\\G\\Game.exe");

  // A relative name with folders, a destination with a trailing separator; then an absolute name, which
  // is taken as it is.
  job.SetDestination("D:\\Games\\");
  ASSERT_TRUE(job.RegisterAppPath("bin\\\\Game.exe"));
  EXPECT_EQ(ReadValue(root, product.AppPathsKey(), ""), "D:\\Games\\bin\\Game.exe");
  EXPECT_EQ(ReadValue(root, product.AppPathsKey(), "Path"), "D:\\Games\\bin");
  ASSERT_TRUE(job.RegisterAppPath("E:\\Elsewhere\\Other.exe"));
  ASSERT_TRUE(setup::FindBaseGameInstall(product.Name(), folder, executable));
  EXPECT_EQ(folder, "E:\\Elsewhere");
  EXPECT_EQ(executable, "E:\\Elsewhere\\Other.exe");
}

TEST(Registration, RegisterUninstallWritesDisplayNameAndCommand) {
  TestProduct product;
  CInstallJob job;
  job.SetTitle(product.Name());
  job.SetDestination("C:\\Games\\Test");
  ASSERT_TRUE(job.RegisterUninstall("uninstall.exe", "テスト ゲーム"));
  const HKEY root = GetRegistrationRoot();
  EXPECT_EQ(ReadValue(root, product.UninstallKey(), "DisplayName"), "テスト ゲーム");
  EXPECT_EQ(ReadValue(root, product.UninstallKey(), "UninstallString"), "C:\\Games\\Test\\uninstall.exe");
  // A command line with arguments is absolute as a whole and stored as given.
  const std::string command = "\"C:\\Games\\Test\\uninstall.exe\" \"C:\\Games\\Test\\uninstall.dat\"";
  ASSERT_TRUE(job.RegisterUninstall(command, "Test"));
  EXPECT_EQ(ReadValue(root, product.UninstallKey(), "UninstallString"), command);
}

TEST(Registration, UnregisterRemovesEntriesUnderEitherRoot) {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    SCOPED_TRACE(root == HKEY_LOCAL_MACHINE ? "local machine" : "current user");
    TestProduct product;
    if (!WriteValues(root, product.AppPathsKey(), {{"", "C:\\X\\X.exe"}, {"Path", "C:\\X"}}) ||
        !WriteValues(root, product.UninstallKey(), {{"DisplayName", "X"}, {"UninstallString", "C:\\X\\u.exe"}})) {
      ASSERT_EQ(root, HKEY_LOCAL_MACHINE) << "cannot write below the current user's root";
      continue;  // this user may not write below the local machine's root
    }
    EXPECT_TRUE(UnregisterAppPath(product.Name()));
    EXPECT_FALSE(KeyExists(root, product.AppPathsKey()));
    EXPECT_TRUE(KeyExists(root, product.UninstallKey()));
    EXPECT_TRUE(UnregisterUninstall(product.Name()));
    EXPECT_FALSE(KeyExists(root, product.UninstallKey()));
  }
  // Under both roots at once, and with nothing there at all.
  TestProduct product;
  ASSERT_TRUE(WriteValues(HKEY_CURRENT_USER, product.AppPathsKey(), {{"", "a"}, {"Path", "b"}}));
  WriteValues(HKEY_LOCAL_MACHINE, product.AppPathsKey(), {{"", "a"}, {"Path", "b"}});
  EXPECT_TRUE(UnregisterAppPath(product.Name()));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, product.AppPathsKey()));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, product.AppPathsKey()));
  EXPECT_TRUE(UnregisterAppPath(product.Name()));
  EXPECT_TRUE(UnregisterUninstall(product.Name()));
}

TEST(Registration, RemoversReachTheOtherRegistryView) {
  // A program of the other width wrote the entries: on 64-bit Windows the Uninstall list of a 32-bit
  // program is another key (Wow6432Node), so removing them through this program's view alone leaves them.
  const REGSAM other = installer_testing::OtherView();
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    SCOPED_TRACE(root == HKEY_LOCAL_MACHINE ? "local machine" : "current user");
    TestProduct product("-ソ表");
    if (!WriteValues(root, product.UninstallKey(), {{"DisplayName", "表示"}, {"UninstallString", "C:\\十\\u.exe"}},
                     other) ||
        !WriteValues(root, product.AppPathsKey(), {{"", "C:\\十\\x.exe"}, {"Path", "C:\\十"}}, other)) {
      ASSERT_EQ(root, HKEY_LOCAL_MACHINE) << "cannot write below the current user's root";
      continue;
    }
    ASSERT_TRUE(KeyExists(root, product.UninstallKey(), other));
    EXPECT_TRUE(UnregisterUninstall(product.Name()));
    EXPECT_TRUE(UnregisterAppPath(product.Name()));
    EXPECT_FALSE(KeyExists(root, product.UninstallKey(), other));
    EXPECT_FALSE(KeyExists(root, product.AppPathsKey(), other));
    EXPECT_FALSE(KeyExists(root, product.UninstallKey()));
  }
}

TEST(Registration, RegistrationsOfAFolderAreFoundInEitherViewWhateverTheSpelling) {
  ScratchFolder scratch;
  const std::string game = scratch / "ゲーム\\ソ表";
  ASSERT_TRUE(testing_support::MakeFolders(game));
  TestProduct product, elsewhere;
  ASSERT_TRUE(WriteValues(HKEY_CURRENT_USER, product.AppPathsKey(), {{"", game + "\\x.exe"}, {"Path", game + "\\"}},
                          installer_testing::OtherView()));
  ASSERT_TRUE(WriteValues(HKEY_CURRENT_USER, elsewhere.AppPathsKey(), {{"", "x"}, {"Path", scratch.Path()}}));
  const std::vector<RegistrationPlace> places = FindRegistrationsOf(product.Name(), ToUpperCase(game) + "\\.");
  ASSERT_FALSE(places.empty());
  for (const RegistrationPlace& place : places) EXPECT_EQ(place.root, HKEY_CURRENT_USER);
  EXPECT_TRUE(FindRegistrationsOf(elsewhere.Name(), game).empty());
  EXPECT_TRUE(IsRegisteredAnywhere(elsewhere.Name()));
  EXPECT_FALSE(FindRegistrationsOf(elsewhere.Name(), scratch.Path()).empty());
  EXPECT_TRUE(FindRegistrationsOf("", game).empty());
  EXPECT_FALSE(IsRegisteredAnywhere(""));
  for (const RegistrationPlace& place : places) UnregisterAt(product.Name(), place);
  EXPECT_FALSE(IsRegisteredAnywhere(product.Name()));
}

TEST(Registration, ProgramInADriveRootRegistersTheRoot) {
  // "C:" alone is the current folder of drive C, not its root.
  TestProduct product;
  CInstallJob job;
  job.SetTitle(product.Name());
  job.SetDestination("C:\\");
  ASSERT_TRUE(job.RegisterAppPath("ゲーム.exe"));
  EXPECT_EQ(ReadValue(GetRegistrationRoot(), product.AppPathsKey(), "Path"), "C:\\");
  EXPECT_EQ(ReadValue(GetRegistrationRoot(), product.AppPathsKey(), ""), "C:\\ゲーム.exe");
  EXPECT_EQ(RegisteredFolderOf("D:"), "D:\\");
  EXPECT_EQ(RegisteredFolderOf("D:\\ソ"), "D:\\ソ");
}

// Run by a copy of this program that RunRegisteredProgram starts: leaves its current folder in a file
// there.
TEST(Registration, DISABLED_WriteProofInCurrentFolder) {
  const std::string folder = GetCurrentDirectoryPath();
  ASSERT_TRUE(testing_support::WriteWholeFile(folder + "\\" + kProofFile, folder));
}

TEST(Registration, RunRegisteredProgramStartsItInItsFolder) {
  ScratchFolder scratch;
  const std::string destination = scratch / "Game Folder";
  ASSERT_TRUE(testing_support::MakeFolders(destination));
  ASSERT_TRUE(CopyFileA(testing_support::ThisProgramPath().c_str(), (destination + "\\game.exe").c_str(), FALSE));
  TestProduct product;
  EXPECT_FALSE(RunRegisteredProgram(product.Name()));

  CInstallJob job;
  job.SetTitle(product.Name());
  job.SetDestination(destination);
  ASSERT_TRUE(job.RegisterAppPath("game.exe"));
  // An unusable entry under the local machine's root is passed over for the current user's.
  if (GetRegistrationRoot() == HKEY_LOCAL_MACHINE) {
    ASSERT_TRUE(WriteValues(HKEY_CURRENT_USER, product.AppPathsKey(),
                            {{"", destination + "\\game.exe"}, {"Path", destination}}));
    ASSERT_TRUE(WriteValues(HKEY_LOCAL_MACHINE, product.AppPathsKey(), {{"", scratch / "missing.exe"}}));
  }
  {
    ChildEnvironment child({}, "Registration.DISABLED_WriteProofInCurrentFolder");
    ASSERT_TRUE(RunRegisteredProgram(product.Name()));
  }
  // It was not waited for: the proof comes when it comes.
  std::string proof;
  for (int i = 0; i < 600 && !ReadWholeFile(destination + "\\" + kProofFile, &proof); ++i) Sleep(50);
  EXPECT_EQ(proof, destination);
  // Let it end before the folder goes.
  for (int i = 0; i < 200 && !DeleteFileA((destination + "\\game.exe").c_str()); ++i) Sleep(50);
}
