// Shell shortcuts made through the real shell-link object and read back through it; the desktop and
// programs places of this Wine prefix (test-only names, removed afterwards); shortcuts that cannot be
// saved; the shortcut and menu paths the install job lists for the uninstaller.

#include "installer/Shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "app/ComCount.h"
#include "foundation/Folders.h"
#include "setup/InstallJob.h"
#include "tests/support/TestSupport.h"

using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::ScratchFolder;

namespace {

struct LinkContents {
  bool loaded = false;
  std::string target;
  std::string workingFolder;
  std::string iconFile;
  int iconIndex = -1;
};

// What a .lnk file holds, read through the shell-link object.
LinkContents ReadLink(const std::string& link) {
  LinkContents contents;
  const bool entered = SUCCEEDED(CoInitialize(nullptr));
  IShellLinkA* shellLink = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&shellLink)))) {
    IPersistFile* persistFile = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persistFile)))) {
      WCHAR wide[MAX_PATH];
      MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
      if (SUCCEEDED(persistFile->Load(wide, STGM_READ))) {
        contents.loaded = true;
        char text[MAX_PATH] = {};
        if (SUCCEEDED(shellLink->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) contents.target = text;
        text[0] = '\0';
        if (SUCCEEDED(shellLink->GetWorkingDirectory(text, MAX_PATH))) contents.workingFolder = text;
        text[0] = '\0';
        if (SUCCEEDED(shellLink->GetIconLocation(text, MAX_PATH, &contents.iconIndex))) contents.iconFile = text;
      }
      persistFile->Release();
    }
    shellLink->Release();
  }
  if (entered) CoUninitialize();
  return contents;
}

std::string UniqueName(const char* prefix) {
  static int counter = 0;
  return std::string(prefix) + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
}

}  // namespace

TEST(Shortcuts, ShortcutInNewSubfoldersReadsBackThroughTheShell) {
  ScratchFolder scratch;
  const std::string target = scratch / "Game\\game.exe";
  ASSERT_TRUE(testing_support::WriteFileMakingFolders(target, "MZ"));
  const std::string link = scratch / "Menu\\Sub\\Game.lnk";
  ASSERT_TRUE(CreateShortcut(link, target));
  EXPECT_TRUE(FolderExists(scratch / "Menu\\Sub"));
  const LinkContents contents = ReadLink(link);
  ASSERT_TRUE(contents.loaded);
  EXPECT_EQ(contents.target, target);
  EXPECT_EQ(contents.workingFolder, scratch / "Game");
  EXPECT_EQ(contents.iconFile, target);
  EXPECT_EQ(contents.iconIndex, 0);
  // COM was entered for the call and left again.
  EXPECT_EQ(GetComCount(), 0);
}

TEST(Shortcuts, ShortcutThatCannotBeSavedIsReportedAsNotMade) {
  ScratchFolder scratch;
  const std::string target = scratch / "game.exe";
  ASSERT_TRUE(testing_support::WriteWholeFile(target, "MZ"));
  // Its folder cannot be made: a file of that name is in the way.
  ASSERT_TRUE(testing_support::WriteWholeFile(scratch / "blocked", "a file"));
  EXPECT_FALSE(CreateShortcut(scratch / "blocked\\Game.lnk", target));
  EXPECT_FALSE(FileExists(scratch / "blocked\\Game.lnk"));
  // Longer than a path may be.
  EXPECT_FALSE(CreateShortcut(scratch / (std::string(300, 'n') + ".lnk"), target));
  EXPECT_FALSE(CreateShortcut("", target));
  EXPECT_EQ(GetComCount(), 0);
}

TEST(Shortcuts, RefusedShortcutLeavesNoFileAndNoFoldersBehind) {
  ScratchFolder scratch;
  const std::string target = scratch / "ソ表\\game.exe";
  ASSERT_TRUE(testing_support::WriteFileMakingFolders(target, "MZ"));
  // The link's folders can be made, but the link's own name takes it past the limit of a path.
  const std::string folder = scratch / "新規\\予十";
  const std::string tooLong = folder + "\\" + std::string(260 - folder.size(), 'n') + ".lnk";
  EXPECT_FALSE(CreateShortcut(tooLong, target));
  EXPECT_FALSE(FolderExists(scratch / "新規"));
  // A target the link cannot hold: saving it would make a link to a cut or empty path.
  std::string longTarget = scratch.Path();
  while (longTarget.size() < 300) longTarget += "\\能表ソ";
  longTarget += "\\game.exe";
  EXPECT_FALSE(CreateShortcut(scratch / "別\\Game.lnk", longTarget));
  EXPECT_FALSE(FileExists(scratch / "別\\Game.lnk"));
  EXPECT_FALSE(FolderExists(scratch / "別"));
  EXPECT_FALSE(CreateShortcut(scratch / "空\\Game.lnk", ""));
  EXPECT_FALSE(FolderExists(scratch / "空"));
  // Folders that were there before stay.
  ASSERT_TRUE(testing_support::MakeFolders(folder));
  EXPECT_FALSE(CreateShortcut(tooLong, target));
  EXPECT_TRUE(FolderExists(folder));
  EXPECT_EQ(GetComCount(), 0);
}

TEST(Shortcuts, ProgramsShortcutWithSubfolderAndProgramsFolder) {
  const std::string programs = GetSpecialFolderPath(CSIDL_PROGRAMS);
  ASSERT_FALSE(programs.empty());
  ScratchFolder scratch;
  const std::string target = scratch / "game.exe";
  ASSERT_TRUE(testing_support::WriteWholeFile(target, "MZ"));
  const std::string menu = UniqueName("AddonTestMenu");

  ASSERT_TRUE(CreateProgramsShortcut(target, menu + "\\Game"));
  const std::string link = programs + "\\" + menu + "\\Game.lnk";
  EXPECT_EQ(GetProgramsShortcutPath(menu + "\\Game"), link);
  EXPECT_TRUE(FileExists(link));
  EXPECT_EQ(ReadLink(link).target, target);
  // The folder is there already; a second shortcut goes in beside the first.
  EXPECT_FALSE(CreateProgramsFolder(menu));
  ASSERT_TRUE(CreateProgramsShortcut(target, menu + "\\Readme"));

  // A folder that still holds a shortcut stays; emptied, it goes.
  EXPECT_TRUE(RemoveProgramsFolder(menu));
  EXPECT_TRUE(FolderExists(programs + "\\" + menu));
  EXPECT_TRUE(RemoveProgramsShortcut(menu + "\\Game"));
  EXPECT_FALSE(RemoveProgramsShortcut(menu + "\\Game"));
  EXPECT_TRUE(RemoveProgramsShortcut(menu + "\\Readme"));
  EXPECT_TRUE(RemoveProgramsFolder(menu));
  EXPECT_FALSE(FolderExists(programs + "\\" + menu));

  EXPECT_TRUE(CreateProgramsFolder(menu + "\\Deeper"));
  EXPECT_TRUE(FolderExists(programs + "\\" + menu + "\\Deeper"));
  RemoveProgramsFolder(menu + "\\Deeper");
  RemoveProgramsFolder(menu);
  EXPECT_FALSE(FolderExists(programs + "\\" + menu));
}

TEST(Shortcuts, DesktopShortcut) {
  const std::string desktop = GetDesktopPath();
  ASSERT_FALSE(desktop.empty());
  ScratchFolder scratch;
  const std::string target = scratch / "game.exe";
  ASSERT_TRUE(testing_support::WriteWholeFile(target, "MZ"));
  const std::string name = UniqueName("AddonTestDesktop");
  ASSERT_TRUE(CreateDesktopShortcut(target, name));
  EXPECT_EQ(GetDesktopShortcutPath(name), desktop + "\\" + name + ".lnk");
  EXPECT_EQ(ReadLink(desktop + "\\" + name + ".lnk").workingFolder, scratch.Path());
  EXPECT_TRUE(RemoveDesktopShortcut(name));
  EXPECT_FALSE(FileExists(desktop + "\\" + name + ".lnk"));
  EXPECT_FALSE(RemoveDesktopShortcut(name));
}

TEST(Shortcuts, InstallJobListsShortcutsAndMenuFoldersForTheUninstaller) {
  const std::string programs = GetSpecialFolderPath(CSIDL_PROGRAMS);
  const std::string common = GetSpecialFolderPath(CSIDL_COMMON_PROGRAMS);
  ASSERT_FALSE(programs.empty());
  ASSERT_FALSE(common.empty());
  CInstallJob job;
  job.AddUninstallDesktopShortcut("Game");
  job.AddUninstallProgramsShortcut("Sub\\Game");
  job.AddUninstallProgramsFolder("Sub");
  job.AddUninstallProgramsFolder("");  // never the programs folder itself
  ASSERT_EQ(job.GetUninstallFiles().size(), 3u);
  EXPECT_EQ(job.GetUninstallFiles()[0].path, GetDesktopPath() + "\\Game.lnk");
  EXPECT_EQ(job.GetUninstallFiles()[1].path, programs + "\\Sub\\Game.lnk");
  EXPECT_EQ(job.GetUninstallFiles()[2].path, common + "\\Sub\\Game.lnk");
  ASSERT_EQ(job.GetUninstallDirectories().size(), 2u);
  EXPECT_EQ(job.GetUninstallDirectories()[0].path, programs + "\\Sub");
  EXPECT_EQ(job.GetUninstallDirectories()[1].path, common + "\\Sub");
  for (const InstallEntry& entry : job.GetUninstallFiles()) EXPECT_EQ(entry.category, 0);
}
