// uninstall.exe as users and Uninstall entries run it: the question, the outcome in a box (the robot
// answers and reads them), the quiet form, and its exit codes.

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/installer/InstallerTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tools/robot/Robot.h"

using installer_testing::KeyExists;
using installer_testing::TestProduct;
using installer_testing::WriteValues;
using testing_support::FileExists;
using testing_support::HarnessSetting;
using testing_support::RunToExit;
using testing_support::ScratchFolder;
using testing_support::WriteFileMakingFolders;
using testing_support::WriteWholeFile;

namespace {

const char* const kQuestion = "アンインストールしますか？";
const char* const kDone = "アンインストールが完了しました。";

std::string UninstallProgram() {
  const std::string bin = HarnessSetting("ADDON_BIN_DIR");
  return bin.empty() ? std::string() : bin + "\\tools\\uninstall.exe";
}

struct ProgramRun {
  DWORD exitCode = 0xDEAD;
  std::vector<RobotAnswer> answers;
  std::string problem;
};

// Starts the command line and answers each box with `decide`.
ProgramRun RunWithRobot(const std::string& commandLine, CRobot::Decision decide, DWORD timeoutMs = 60000) {
  ProgramRun run;
  std::string writable = commandLine;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessA(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    run.problem = "cannot start " + commandLine;
    return run;
  }
  CloseHandle(started.hThread);
  CRobot robot(started.dwProcessId);
  robot.SetDecision(std::move(decide));
  if (robot.Watch(started.hProcess, timeoutMs) != CRobot::Outcome::kExited) {
    run.problem = robot.Problem();
    TerminateProcess(started.hProcess, 0xBAD);
    WaitForSingleObject(started.hProcess, 60000);
  }
  GetExitCodeProcess(started.hProcess, &run.exitCode);
  CloseHandle(started.hProcess);
  run.answers = robot.Answers();
  return run;
}

// An installation of one file with its information file, registered under the current user.
struct Installation {
  ScratchFolder scratch;
  TestProduct product;
  std::string info;

  Installation() {
    info = scratch / "uninstall.dat";
    WriteValues(HKEY_CURRENT_USER, product.AppPathsKey(), {{"", scratch / "game.exe"}, {"Path", scratch.Path()}});
    WriteWholeFile(scratch / "game.exe", "MZ");
    WriteWholeFile(info, "#AppName," + product.Name() + "\r\n#UninstallFile\r\ngame.exe\r\n##\r\n" +
                             "#UninstallDirectory\r\n##\r\n");
  }
};

}  // namespace

TEST(UninstallProgram, AsksThenUninstallsAndSaysSo) {
  const std::string program = UninstallProgram();
  if (program.empty()) GTEST_SKIP() << "ADDON_BIN_DIR is not set (run through ./dev)";
  Installation installation;
  const ProgramRun run = RunWithRobot("\"" + program + "\" \"" + installation.info + "\"",
                                      [](const RobotDialog& box) { return box.HasButton(IDYES) ? IDYES : IDOK; });
  ASSERT_EQ(run.problem, "");
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_EQ(run.answers.size(), 2u);
  EXPECT_EQ(run.answers[0].box.text, kQuestion);
  EXPECT_TRUE(run.answers[0].box.HasButton(IDYES) && run.answers[0].box.HasButton(IDNO));
  EXPECT_EQ(run.answers[1].box.text, kDone);
  EXPECT_FALSE(FileExists(installation.scratch / "game.exe"));
  EXPECT_FALSE(FileExists(installation.info));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, installation.product.AppPathsKey()));
}

TEST(UninstallProgram, NoLeavesEverything) {
  const std::string program = UninstallProgram();
  if (program.empty()) GTEST_SKIP() << "ADDON_BIN_DIR is not set (run through ./dev)";
  Installation installation;
  const ProgramRun run =
      RunWithRobot("\"" + program + "\" " + installation.info, [](const RobotDialog&) { return IDNO; });
  ASSERT_EQ(run.problem, "");
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.answers.size(), 1u);
  EXPECT_TRUE(FileExists(installation.scratch / "game.exe"));
  EXPECT_TRUE(FileExists(installation.info));
}

TEST(UninstallProgram, ReportsAFileItCannotUse) {
  const std::string program = UninstallProgram();
  if (program.empty()) GTEST_SKIP() << "ADDON_BIN_DIR is not set (run through ./dev)";
  ScratchFolder scratch;
  ASSERT_TRUE(WriteWholeFile(scratch / "cut.dat", "#AppName,x\r\n#UninstallFile\r\na.txt\r\n"));
  for (const std::string& file : {scratch / "missing.dat", scratch / "cut.dat"}) {
    const ProgramRun run = RunWithRobot("\"" + program + "\" " + file,
                                        [](const RobotDialog& box) { return box.HasButton(IDYES) ? IDYES : IDOK; });
    ASSERT_EQ(run.problem, "");
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_EQ(run.answers.size(), 2u);
    const std::string expected = file == scratch / "cut.dat"
                                     ? "アンインストール情報ファイルが途中で終わっています。何も削除しませんでした。\n"
                                     : "アンインストール情報ファイルを読み込めませんでした。\n";
    EXPECT_EQ(run.answers[1].box.text, expected + file);
  }
  EXPECT_TRUE(FileExists(scratch / "cut.dat"));
}

TEST(UninstallProgram, QuietFormAndUsage) {
  const std::string program = UninstallProgram();
  if (program.empty()) GTEST_SKIP() << "ADDON_BIN_DIR is not set (run through ./dev)";
  Installation installation;
  const std::string quoted = "\"" + program + "\"";
  EXPECT_EQ(RunToExit(quoted + " /quiet \"" + installation.scratch / "missing.dat\""), 1u);
  EXPECT_EQ(RunToExit(quoted + " /quiet " + installation.info), 0u);
  EXPECT_FALSE(FileExists(installation.scratch / "game.exe"));
  EXPECT_FALSE(FileExists(installation.info));
  EXPECT_EQ(RunToExit(quoted + " /quiet"), 2u);
  EXPECT_EQ(RunToExit(quoted + " /quiet a b"), 2u);
  // Without /quiet the usage is shown in a box too.
  const ProgramRun run = RunWithRobot(quoted + " a b", [](const RobotDialog&) { return IDOK; });
  ASSERT_EQ(run.problem, "");
  EXPECT_EQ(run.exitCode, 2u);
  EXPECT_EQ(run.answers.size(), 1u);
}

TEST(UninstallProgram, RemovesItsOwnFileAfterItEnds) {
  const std::string program = UninstallProgram();
  if (program.empty()) GTEST_SKIP() << "ADDON_BIN_DIR is not set (run through ./dev)";
  Installation installation;
  const std::string game = installation.scratch / "Game";
  ASSERT_TRUE(testing_support::MakeFolders(game + "\\bin"));
  ASSERT_TRUE(CopyFileA(program.c_str(), (game + "\\bin\\uninstall.exe").c_str(), FALSE));
  ASSERT_TRUE(
      WriteValues(HKEY_CURRENT_USER, installation.product.AppPathsKey(), {{"", game + "\\game.exe"}, {"Path", game}}));
  // The information file lies in the installation folder, where the install job writes it.
  const std::string info = game + "\\uninstall.dat";
  ASSERT_TRUE(WriteWholeFile(info, "#AppName," + installation.product.Name() +
                                       "\r\n#UninstallFile\r\nbin\\uninstall.exe\r\n##\r\n" +
                                       "#UninstallDirectory\r\nbin\r\n##\r\n"));
  EXPECT_EQ(RunToExit("\"" + game + "\\bin\\uninstall.exe\" /quiet " + info), 0u);
  // Its copy in the temp folder takes the file and the folders it kept, once the program has ended.
  for (int i = 0; i < 200 && testing_support::FolderExists(game); ++i) Sleep(50);
  EXPECT_FALSE(FileExists(game + "\\bin\\uninstall.exe"));
  EXPECT_FALSE(testing_support::FolderExists(game));
  // An uninstall.exe that the file does not list stays where it is.
  EXPECT_TRUE(FileExists(program));
}

namespace {

const char* const kIncomplete = "アンインストールを完了できませんでした。次のものが残っています。\n";

// A game in a Japanese folder (trail bytes 0x5C), registered under the current user, with its
// information file in it and a file of someone else's outside it.
struct JapaneseGame {
  ScratchFolder scratch;
  TestProduct product{"-表"};
  std::string game, info, outside;

  JapaneseGame() {
    game = scratch / "ソ表\\ゲーム十";
    info = game + "\\uninstall.dat";
    outside = scratch / "能.txt";
    EXPECT_TRUE(WriteFileMakingFolders(game + "\\game.exe", "MZ"));
    EXPECT_TRUE(WriteWholeFile(outside, "someone else's"));
    EXPECT_TRUE(WriteValues(HKEY_CURRENT_USER, product.AppPathsKey(), {{"", game + "\\game.exe"}, {"Path", game}}));
    EXPECT_TRUE(WriteValues(HKEY_CURRENT_USER, product.UninstallKey(), {{"DisplayName", "ゲーム"}}));
  }

  bool Write(const std::string& files, const std::string& folders = "", const std::string& before = "") const {
    return WriteWholeFile(info, before + "#AppName," + product.Name() + "\r\n#UninstallFile\r\n" + files +
                                    "##\r\n#UninstallDirectory\r\n" + folders + "##\r\n");
  }

  // Runs uninstall.exe on the information file, answering yes and then OK.
  ProgramRun Run(DWORD timeoutMs = 60000) const {
    return RunWithRobot(
        "\"" + UninstallProgram() + "\" \"" + info + "\"",
        [](const RobotDialog& box) { return box.HasButton(IDYES) ? IDYES : IDOK; }, timeoutMs);
  }

  bool StillInstalled() const {
    return FileExists(info) && KeyExists(HKEY_CURRENT_USER, product.AppPathsKey()) &&
           KeyExists(HKEY_CURRENT_USER, product.UninstallKey());
  }
};

}  // namespace

TEST(UninstallProgram, RefusesEntriesOutsideTheInstallationAndSaysSo) {
  const std::string program = UninstallProgram();
  if (program.empty()) GTEST_SKIP() << "ADDON_BIN_DIR is not set (run through ./dev)";
  JapaneseGame install;
  const std::string noDrive = install.outside.substr(2);
  const std::vector<std::string> refused = {install.outside,
                                            "\\\\?\\" + install.outside,
                                            "\\\\localhost\\C$" + noDrive,
                                            "C:" + noDrive.substr(1),
                                            noDrive,
                                            "game.exe:ストリーム",
                                            "..\\..\\能.txt",
                                            "...\\能.txt",
                                            ".. \\能.txt"};
  std::string files;
  for (const std::string& entry : refused) files += entry + "\r\n";
  ASSERT_TRUE(install.Write(files + "game.exe\r\n", install.scratch.Path() + "\r\n"));
  const ProgramRun run = install.Run();
  ASSERT_EQ(run.problem, "");
  EXPECT_EQ(run.exitCode, 1u);
  ASSERT_EQ(run.answers.size(), 2u);
  std::string expected = kIncomplete;
  for (const std::string& entry : refused) expected += "\n" + entry + "（この場所は削除しません）";
  expected += "\n" + install.scratch.Path() + "（この場所は削除しません）";
  expected += "\n\nアンインストール情報は残してあります。原因を取り除いてから、もう一度アンインストールしてください。";
  EXPECT_EQ(run.answers[1].box.text, expected);
  EXPECT_TRUE(FileExists(install.outside));
  EXPECT_FALSE(FileExists(install.game + "\\game.exe"));  // the game's own file went
  EXPECT_TRUE(install.StillInstalled());
}

TEST(UninstallProgram, LeavesSectionsOfOtherInstallations) {
  const std::string program = UninstallProgram();
  if (program.empty()) GTEST_SKIP() << "ADDON_BIN_DIR is not set (run through ./dev)";
  JapaneseGame old;
  // The same title installed again elsewhere, and a hand-edited section naming another program.
  JapaneseGame newer;
  ASSERT_TRUE(WriteValues(HKEY_CURRENT_USER, old.product.AppPathsKey(),
                          {{"", newer.game + "\\game.exe"}, {"Path", newer.game}}));
  const std::string other =
      "#AppName," + newer.product.Name() + "\r\n#UninstallFile\r\ngame.exe\r\n##\r\n" + "#UninstallDirectory\r\n##\r\n";
  ASSERT_TRUE(old.Write("game.exe\r\n", "", other));
  EXPECT_EQ(RunToExit("\"" + program + "\" /quiet \"" + old.info + "\""), 1u);
  EXPECT_TRUE(FileExists(old.game + "\\game.exe"));
  EXPECT_TRUE(FileExists(newer.game + "\\game.exe"));
  EXPECT_TRUE(old.StillInstalled());
  EXPECT_EQ(installer_testing::ReadValue(HKEY_CURRENT_USER, old.product.AppPathsKey(), "Path"), newer.game);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, newer.product.AppPathsKey()));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, newer.product.UninstallKey()));
}

TEST(UninstallProgram, AFileHeldOpenStaysNamedAndTheUninstallCanRunAgain) {
  const std::string program = UninstallProgram();
  if (program.empty()) GTEST_SKIP() << "ADDON_BIN_DIR is not set (run through ./dev)";
  JapaneseGame install;
  const std::string held = install.game + "\\data\\セーブ表.dat";
  ASSERT_TRUE(WriteFileMakingFolders(held, "in use"));
  ASSERT_TRUE(install.Write("game.exe\r\ndata\\セーブ表.dat\r\n", "data\r\n"));
  // This process stands for the running game: it holds the file open without sharing.
  HANDLE handle = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  const ProgramRun run = install.Run();
  CloseHandle(handle);
  ASSERT_EQ(run.problem, "");
  EXPECT_EQ(run.exitCode, 1u);
  ASSERT_EQ(run.answers.size(), 2u);
  EXPECT_EQ(run.answers[1].box.text.substr(0, std::string(kIncomplete).size()), kIncomplete);
  EXPECT_NE(run.answers[1].box.text.find(held + "（削除できませんでした）"), std::string::npos);
  EXPECT_TRUE(FileExists(held));
  EXPECT_TRUE(install.StillInstalled());
  // Run again once the game has ended: everything goes, and the box says so.
  const ProgramRun again = install.Run();
  ASSERT_EQ(again.problem, "");
  EXPECT_EQ(again.exitCode, 0u);
  ASSERT_EQ(again.answers.size(), 2u);
  EXPECT_EQ(again.answers[1].box.text, kDone);
  EXPECT_FALSE(testing_support::FolderExists(install.game));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, install.product.UninstallKey()));
}

TEST(UninstallProgram, ByteOrderMarkNestedSectionsAndDamage) {
  const std::string program = UninstallProgram();
  if (program.empty()) GTEST_SKIP() << "ADDON_BIN_DIR is not set (run through ./dev)";
  const std::string quoted = "\"" + program + "\" /quiet \"";
  {
    // A file an editor saved with a byte-order mark, whose add-on section (registered in the same folder)
    // puts its files into the base game's folder.
    JapaneseGame install;
    TestProduct addon("-追加");
    ASSERT_TRUE(WriteValues(HKEY_CURRENT_USER, addon.AppPathsKey(), {{"", "x"}, {"Path", install.game}}));
    ASSERT_TRUE(WriteFileMakingFolders(install.game + "\\data\\追加\\能.dat", "addon"));
    const std::string addonSection = "#AppName," + addon.Name() + "\r\n#UninstallFile\r\ndata\\追加\\能.dat\r\n##\r\n" +
                                     "#UninstallDirectory\r\ndata\\追加\r\n##\r\n";
    ASSERT_TRUE(WriteWholeFile(install.info, "\xEF\xBB\xBF#AppName," + install.product.Name() +
                                                 "\r\n#UninstallFile\r\ngame.exe\r\n##\r\n#UninstallDirectory\r\n" +
                                                 "data\r\n##\r\n" + addonSection));
    EXPECT_EQ(RunToExit(quoted + install.info + "\""), 0u);
    EXPECT_FALSE(testing_support::FolderExists(install.game));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, install.product.AppPathsKey()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, addon.AppPathsKey()));
  }
  {
    JapaneseGame install;
    ASSERT_TRUE(WriteWholeFile(install.info, "ゲーム.exe\r\n予十.dat\r\n"));
    const ProgramRun run = install.Run();
    ASSERT_EQ(run.problem, "");
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_EQ(run.answers.size(), 2u);
    EXPECT_EQ(run.answers[1].box.text,
              "アンインストール情報ファイルが壊れています。何も削除しませんでした。\n" + install.info);
    EXPECT_TRUE(FileExists(install.game + "\\game.exe"));
    EXPECT_TRUE(install.StillInstalled());
  }
}

TEST(UninstallProgram, DriveRootInstallationKeepsTheRoot) {
  const std::string program = UninstallProgram();
  if (program.empty()) GTEST_SKIP() << "ADDON_BIN_DIR is not set (run through ./dev)";
  if (HarnessSetting("ADDON_CD_DRIVES").find('F') == std::string::npos)
    GTEST_SKIP() << "no drive F: (run through ./dev)";
  TestProduct product("-ルート");
  ASSERT_TRUE(WriteValues(HKEY_CURRENT_USER, product.AppPathsKey(), {{"", "F:\\表.exe"}, {"Path", "F:"}}));
  ASSERT_TRUE(WriteWholeFile("F:\\表.exe", "MZ"));
  ASSERT_TRUE(WriteWholeFile(
      "F:\\info.dat",
      "#AppName," + product.Name() + "\r\n#UninstallFile\r\n表.exe\r\n##\r\n#UninstallDirectory\r\n##\r\n"));
  // Started from another folder of drive F:'s own current folder, "F:" is not the root: the registered
  // bare drive is still taken as it.
  EXPECT_EQ(RunToExit("\"" + program + "\" /quiet F:\\info.dat"), 0u);
  EXPECT_FALSE(FileExists("F:\\表.exe"));
  EXPECT_FALSE(FileExists("F:\\info.dat"));
  EXPECT_TRUE(testing_support::FolderExists("F:\\"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, product.AppPathsKey()));
}

TEST(UninstallProgram, RemovesItsOwnFileAfterTheBoxStayedOpenLong) {
  const std::string program = UninstallProgram();
  if (program.empty()) GTEST_SKIP() << "ADDON_BIN_DIR is not set (run through ./dev)";
  JapaneseGame install;
  ASSERT_TRUE(testing_support::MakeFolders(install.game + "\\bin"));
  const std::string own = install.game + "\\bin\\uninstall.exe";
  ASSERT_TRUE(CopyFileA(program.c_str(), own.c_str(), FALSE));
  // Listed in another spelling than the one it is started by.
  ASSERT_TRUE(install.Write("BIN\\Uninstall.EXE\r\ngame.exe\r\n", "bin\r\n"));
  // The user leaves the completion box open for 70 s before closing it.
  const ProgramRun run = RunWithRobot(
      "\"" + own + "\" \"" + install.info + "\"",
      [](const RobotDialog& box) {
        if (box.HasButton(IDYES)) return IDYES;
        Sleep(70000);
        return IDOK;
      },
      120000);
  ASSERT_EQ(run.problem, "");
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_EQ(run.answers.size(), 2u);
  EXPECT_EQ(run.answers[1].box.text, kDone);
  for (int i = 0; i < 200 && testing_support::FolderExists(install.game); ++i) Sleep(50);
  EXPECT_FALSE(FileExists(own));
  EXPECT_FALSE(testing_support::FolderExists(install.game));
  EXPECT_TRUE(FileExists(install.outside));
}

TEST(UninstallProgram, RemoveAfterActsOnlyForItsParent) {
  const std::string program = UninstallProgram();
  if (program.empty()) GTEST_SKIP() << "ADDON_BIN_DIR is not set (run through ./dev)";
  ScratchFolder scratch;
  const std::string victim = scratch / "ソ表\\victim.txt";
  ASSERT_TRUE(WriteFileMakingFolders(victim, "v"));
  const std::string quoted = "\"" + program + "\" /remove-after ";
  // Handles it was never handed, a handle of no process, a pseudo handle, and a process that is not FILE.
  for (const std::string& handle : {std::string("4"), std::string("0"), std::string("-1"),
                                    std::string("18446744073709551615"), std::string("12abc")}) {
    EXPECT_EQ(RunToExit(quoted + handle + " \"" + victim + "\" \"" + scratch / "ソ表" + "\""), 2u) << handle;
  }
  EXPECT_EQ(RunToExit(quoted + "4"), 2u);
  EXPECT_TRUE(FileExists(victim));
}
