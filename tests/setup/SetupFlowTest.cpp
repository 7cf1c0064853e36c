// What the setup flow decides before it copies: which categories it collects, in which order, and the
// fixed required size; and when the base game counts as installed.

#include "setup/SetupFlow.h"

#include <gtest/gtest.h>

#include "foundation/Folders.h"
#include "setup/InstallJob.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

// A disc with the four category folders (gamedata5 has a nested file, gamedata4 is missing unless asked)
// and a game folder, with the current directory on the disc while it lives.
struct DiscAndGame {
  ScratchFolder scratch;
  std::string disc = scratch / "disc";
  std::string game = scratch / "game";
  std::string previousDirectory = GetCurrentDirectoryPath();

  explicit DiscAndGame(bool withGamedata4 = true) {
    CreateDirectoryTree(disc + "\\data\\gamedata5\\sub");
    CreateDirectoryTree(disc + "\\data\\gamedata2");
    CreateDirectoryTree(disc + "\\data\\gamedata3");
    WriteWholeFile(disc + "\\data\\gamedata5\\sub\\five.bin", "5");
    WriteWholeFile(disc + "\\data\\gamedata2\\two.bin", "2");
    WriteWholeFile(disc + "\\data\\gamedata3\\three.bin", "3");
    if (withGamedata4) {
      CreateDirectoryTree(disc + "\\data\\gamedata4");
      WriteWholeFile(disc + "\\data\\gamedata4\\four.bin", "4");
    }
    CreateDirectoryTree(game + "\\patch");
    ChangeCurrentDirectory(disc);
  }
  ~DiscAndGame() { ChangeCurrentDirectory(previousDirectory); }

  void AddPack(const char* name) { WriteWholeFile(game + "\\patch\\" + name, "pack"); }
};

std::string Listed(const CInstallJob& job) {
  std::string listed;
  for (const InstallEntry& entry : job.GetFiles()) listed += std::to_string(entry.category) + ":" + entry.path + " ";
  return listed;
}

}  // namespace

TEST(SetupFlow, CollectsTheAlwaysInstalledCategoriesWithoutPatchPacks) {
  DiscAndGame setup;
  setup.AddPack("unrelated.pak");
  CLocalInstallJob job;
  EXPECT_EQ(CollectInstallFiles(job, setup.game), 1936657940ull);
  EXPECT_EQ(Listed(job), "1:two.bin 0:sub\\five.bin ");
}

TEST(SetupFlow, PatchPacksInTheGameFolderBringTheirCategories) {
  DiscAndGame setup;
  setup.AddPack("1000_tolvemark1116120116.pak");
  setup.AddPack("1005_tokubetsu116120116.pak");
  CLocalInstallJob job;
  EXPECT_EQ(CollectInstallFiles(job, setup.game), 2125110045ull);
  EXPECT_EQ(Listed(job), "1:two.bin 2:three.bin 3:four.bin 0:sub\\five.bin ");

  CLocalInstallJob only1005;
  DiscAndGame other;
  other.AddPack("1005_tokubetsu116120116.pak");
  EXPECT_EQ(CollectInstallFiles(only1005, other.game), 2023106023ull);

  CLocalInstallJob only1000;
  DiscAndGame third;
  third.AddPack("1000_tolvemark1116120116.pak");
  EXPECT_EQ(CollectInstallFiles(only1000, third.game), 2038661962ull);
}

TEST(SetupFlow, PackOnTheDiscOnlyOrMissingCategoryFolderAddsNothing) {
  DiscAndGame setup(false);
  CreateDirectoryTree(setup.disc + "\\patch");
  WriteWholeFile(setup.disc + "\\patch\\1000_tolvemark1116120116.pak", "pack on the disc");
  setup.AddPack("1005_tokubetsu116120116.pak");
  CLocalInstallJob job;
  EXPECT_EQ(CollectInstallFiles(job, setup.game), 2023106023ull);
  EXPECT_EQ(Listed(job), "1:two.bin 0:sub\\five.bin ");
}

TEST(SetupFlow, BaseGameCountsAsInstalledWhenItsExecutableExists) {
  ScratchFolder scratch;
  WriteWholeFile(scratch / "Sorvane.exe", "MZ");
  EXPECT_TRUE(BaseGameExecutableExists(scratch.Path(), scratch / "Sorvane.exe"));
  EXPECT_TRUE(BaseGameExecutableExists(scratch.Path(), "Sorvane.exe"));
  EXPECT_FALSE(BaseGameExecutableExists(scratch.Path(), scratch / "Missing.exe"));
  EXPECT_FALSE(BaseGameExecutableExists(scratch.Path(), "Missing.exe"));
  EXPECT_FALSE(BaseGameExecutableExists(scratch.Path(), ""));
}

TEST(SetupFlow, ExecutableIsTakenOutOfQuotedOrExpandableDefaultValues) {
  ScratchFolder scratch;
  const std::string folder = scratch / "Sorvane Game";
  CreateDirectoryTree(folder);
  WriteWholeFile(folder + "\\Sorvane.exe", "MZ");
  const std::string exe = folder + "\\Sorvane.exe";
  EXPECT_TRUE(BaseGameExecutableExists(folder, "\"" + exe + "\""));
  EXPECT_TRUE(BaseGameExecutableExists(folder, "\"" + exe + "\" -window \"x y\""));
  EXPECT_TRUE(BaseGameExecutableExists(folder, "  \"Sorvane.exe\" /debug")) << "quoted and relative";
  EXPECT_TRUE(BaseGameExecutableExists(folder, exe)) << "unquoted, with a space in the folder";
  EXPECT_TRUE(BaseGameExecutableExists(folder, exe + " -window")) << "unquoted, with an argument";
  EXPECT_FALSE(BaseGameExecutableExists(folder, "\"" + folder + "\\Missing.exe\" -window"));
  EXPECT_FALSE(BaseGameExecutableExists(folder, "\"" + folder + "\"")) << "a folder is no executable";
  EXPECT_FALSE(BaseGameExecutableExists(folder, "\"\""));

  // Environment strings, as installers write them for REG_EXPAND_SZ values.
  SetHarnessSetting("ADDON_FLOW_GAME", folder.c_str());
  EXPECT_TRUE(BaseGameExecutableExists("C:\\elsewhere", "%ADDON_FLOW_GAME%\\Sorvane.exe"));
  EXPECT_TRUE(BaseGameExecutableExists("C:\\elsewhere", "\"%ADDON_FLOW_GAME%\\Sorvane.exe\" -w"));
  EXPECT_FALSE(BaseGameExecutableExists("C:\\elsewhere", "%ADDON_FLOW_GAME%\\Missing.exe"));
  SetHarnessSetting("ADDON_FLOW_GAME", nullptr);
  EXPECT_FALSE(BaseGameExecutableExists(folder, "%ADDON_FLOW_UNSET_NAME%\\Sorvane.exe"));
}

// Values with Japanese folders, where a byte count taken for a character count cuts the name: kana and
// kanji, trail bytes 0x5C, and a folder near the path limit with far fewer characters than bytes.
TEST(SetupFlow, ExecutableInAJapaneseFolderIsFoundInEveryForm) {
  ScratchFolder scratch;
  std::string longFolder = scratch / "ゲーム";
  while (longFolder.size() + 18 < 240) longFolder += "\\ソフト表示能力予十";
  for (const std::string& folder :
       {scratch / "ゲーム\\ソフト表", scratch / "表示\\Sorvane", scratch / "ソフト", longFolder}) {
    SCOPED_TRACE(HexBytes(folder));
    ASSERT_TRUE(MakeFolders(folder));
    const std::string exe = folder + "\\Sorvane.exe";
    ASSERT_TRUE(WriteWholeFile(exe, "MZ"));
    EXPECT_TRUE(BaseGameExecutableExists(folder, exe));
    EXPECT_TRUE(BaseGameExecutableExists(folder, "\"" + exe + "\" -window \"表 示\""));
    EXPECT_TRUE(BaseGameExecutableExists(folder, exe + " -window"));
    EXPECT_TRUE(BaseGameExecutableExists(folder, "Sorvane.exe"));
    EXPECT_FALSE(BaseGameExecutableExists(folder, folder + "\\Sorvane.ex"));
    EXPECT_FALSE(BaseGameExecutableExists(folder, "\"" + folder + "\\表.exe\" -window"));
    EXPECT_FALSE(BaseGameExecutableExists(folder, folder));

    // Expanded from the environment: a Japanese variable value and Japanese text around the name.
    SetHarnessSetting("ADDON_FLOW_GAME", folder.c_str());
    EXPECT_TRUE(BaseGameExecutableExists("C:\\elsewhere", "%ADDON_FLOW_GAME%\\Sorvane.exe"));
    EXPECT_TRUE(BaseGameExecutableExists("C:\\elsewhere", "\"%ADDON_FLOW_GAME%\\Sorvane.exe\" -w 表示"));
    EXPECT_FALSE(BaseGameExecutableExists("C:\\elsewhere", "%ADDON_FLOW_GAME%\\表.exe"));
    SetHarnessSetting("ADDON_FLOW_GAME", nullptr);
    SetHarnessSetting("ADDON_FLOW_DRIVE", folder.substr(0, 2).c_str());
    EXPECT_TRUE(BaseGameExecutableExists("C:\\elsewhere", "%ADDON_FLOW_DRIVE%" + exe.substr(2)));
    EXPECT_TRUE(BaseGameExecutableExists("C:\\elsewhere", "\"%ADDON_FLOW_DRIVE%" + exe.substr(2) + "\" /表"));
    SetHarnessSetting("ADDON_FLOW_DRIVE", nullptr);
  }
  EXPECT_GT(longFolder.size(), 225u);
}

TEST(SetupFlow, ProgramFolderInADriveRootBecomesTheRootNotTheDrivesLastFolder) {
  EXPECT_EQ(GetProgramFolderAsCurrentDirectory("G:"), "G:\\");
  EXPECT_EQ(GetProgramFolderAsCurrentDirectory("G:\\setup"), "G:\\setup");
  EXPECT_EQ(GetProgramFolderAsCurrentDirectory("\\\\server\\share"), "\\\\server\\share");

  // What the bare drive does: the folder current on that drive stays current.
  ScratchFolder scratch;
  const std::string previous = GetCurrentDirectoryPath();
  ASSERT_TRUE(ChangeCurrentDirectory(scratch.Path()));
  const std::string drive = scratch.Path().substr(0, 2);
  ASSERT_TRUE(ChangeCurrentDirectory(drive));
  EXPECT_EQ(GetCurrentDirectoryPath(), scratch.Path()) << "the reason the root needs its backslash";
  ASSERT_TRUE(ChangeCurrentDirectory(GetProgramFolderAsCurrentDirectory(drive)));
  EXPECT_EQ(GetCurrentDirectoryPath(), drive + "\\");
  ChangeCurrentDirectory(previous);
}
