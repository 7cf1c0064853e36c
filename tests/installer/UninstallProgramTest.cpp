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
ProgramRun RunWithRobot(const std::string& commandLine, CRobot::Decision decide) {
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
  if (robot.Watch(started.hProcess, 60000) != CRobot::Outcome::kExited) {
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
  const ProgramRun run = RunWithRobot("\"" + program + "\" \"" + installation.info + "\"", [](const RobotDialog& box) {
    return box.HasButton(IDYES) ? IDYES : IDOK;
  });
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
  const ProgramRun run = RunWithRobot("\"" + program + "\" " + installation.info, [](const RobotDialog&) { return IDNO; });
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
    const ProgramRun run = RunWithRobot("\"" + program + "\" " + file, [](const RobotDialog& box) {
      return box.HasButton(IDYES) ? IDYES : IDOK;
    });
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
  ASSERT_TRUE(WriteValues(HKEY_CURRENT_USER, installation.product.AppPathsKey(),
                          {{"", game + "\\game.exe"}, {"Path", game}}));
  ASSERT_TRUE(WriteWholeFile(installation.info, "#AppName," + installation.product.Name() +
                                                    "\r\n#UninstallFile\r\nbin\\uninstall.exe\r\n##\r\n" +
                                                    "#UninstallDirectory\r\nbin\r\n##\r\n"));
  EXPECT_EQ(RunToExit("\"" + game + "\\bin\\uninstall.exe\" /quiet " + installation.info), 0u);
  // Its copy in the temp folder takes the file and the folders it kept, once the program has ended.
  for (int i = 0; i < 200 && testing_support::FolderExists(game); ++i) Sleep(50);
  EXPECT_FALSE(FileExists(game + "\\bin\\uninstall.exe"));
  EXPECT_FALSE(testing_support::FolderExists(game));
  // An uninstall.exe that the file does not list stays where it is.
  EXPECT_TRUE(FileExists(program));
}
