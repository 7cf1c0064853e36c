// The robot against a real process (robot_target.exe, next to this test program): reading boxes as
// Shift-JIS bytes, pressing the chosen buttons exactly once per box, reporting the button-less dialog,
// owners, time-outs and screenshots; and setup_robot.exe's printed report.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tools/robot/Robot.h"

using testing_support::HexBytes;
using testing_support::ThisProgramFolder;

namespace {

constexpr DWORD kGenerousMs = 60000;

// A started program, terminated if a test leaves it running.
class Started {
 public:
  explicit Started(const std::string& commandLine, HANDLE outputWrite = nullptr) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (outputWrite) {
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdOutput = outputWrite;
      startup.hStdError = outputWrite;
      startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    std::string line = commandLine;
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, outputWrite != nullptr, 0, nullptr, nullptr, &startup,
                       &info_)) {
      CloseHandle(info_.hThread);
    } else {
      info_ = {};
    }
  }
  ~Started() {
    if (!info_.hProcess) return;
    if (WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
      TerminateProcess(info_.hProcess, 1);
      WaitForSingleObject(info_.hProcess, kGenerousMs);
    }
    CloseHandle(info_.hProcess);
  }
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;

  bool Ok() const { return info_.hProcess != nullptr; }
  HANDLE Process() const { return info_.hProcess; }
  DWORD Id() const { return info_.dwProcessId; }
  DWORD ExitCode() const {
    DWORD code = 0xDEAD;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

 private:
  PROCESS_INFORMATION info_ = {};
};

std::string Target(const char* scene) { return "\"" + ThisProgramFolder() + "\\robot_target.exe\" " + scene; }

TEST(Robot, ReadsEachBoxAsBytesAndPressesTheChosenButtonOnce) {
  Started target(Target("boxes"));
  ASSERT_TRUE(target.Ok());
  CRobot robot(target.Id());
  std::vector<int> script = {IDOK, IDNO, IDRETRY, IDCANCEL};
  size_t asked = 0;
  robot.SetDecision([&](const RobotDialog&) { return asked < script.size() ? script[asked++] : IDCANCEL; });
  ASSERT_EQ(CRobot::Outcome::kExited, robot.Watch(target.Process(), kGenerousMs)) << robot.Problem();
  EXPECT_EQ(static_cast<DWORD>(IDOK | IDNO << 4 | IDRETRY << 8 | IDCANCEL << 12), target.ExitCode());

  const auto& answers = robot.Answers();
  ASSERT_EQ(4u, answers.size());
  // ソ表能の表示 / 二行目: trail bytes 0x5C arrive as they are.
  EXPECT_EQ("\x83\x5C\x95\x5C\x94\x5C\x82\xCC\x95\x5C\x8E\xA6\n\x93\xF1\x8D\x73\x96\xDA", answers[0].box.text)
      << HexBytes(answers[0].box.text);
  EXPECT_EQ("確認表", answers[0].box.caption) << HexBytes(answers[0].box.caption);
  EXPECT_EQ(std::vector<int>{IDOK}, answers[0].box.buttons);
  EXPECT_TRUE(answers[0].box.hasIcon);
  EXPECT_EQ(nullptr, answers[0].box.owner);
  EXPECT_EQ("二回目", answers[1].box.text);
  EXPECT_EQ((std::vector<int>{IDYES, IDNO}), answers[1].box.buttons);
  EXPECT_EQ(IDYES, answers[1].box.defaultButton);
  EXPECT_FALSE(answers[1].box.hasIcon);
  for (size_t i = 2; i < 4; ++i) {
    EXPECT_EQ("FileLoadError", answers[i].box.caption);
    EXPECT_EQ("同じ箱", answers[i].box.text);
    EXPECT_EQ((std::vector<int>{IDCANCEL, IDRETRY}), answers[i].box.buttons);
    EXPECT_TRUE(answers[i].box.hasIcon);
  }
  EXPECT_NE(answers[2].box.window, nullptr);
  EXPECT_TRUE(robot.SeenWaitDialogs().empty());
  // UTF-8 for printing.
  EXPECT_EQ(u8"確認表", AnsiToUtf8(answers[0].box.caption));
}

TEST(Robot, ReportsTheButtonlessDialogAndWhetherItIsOpenAtEachBox) {
  Started target(Target("wait"));
  ASSERT_TRUE(target.Ok());
  CRobot robot(target.Id());
  std::vector<std::string> events;
  robot.SetWaitDialogEvent([&](const RobotDialog& dialog, bool appeared) {
    events.push_back((appeared ? "+" : "-") + dialog.caption + "|" + dialog.text);
  });
  ASSERT_EQ(CRobot::Outcome::kExited, robot.Watch(target.Process(), kGenerousMs)) << robot.Problem();
  EXPECT_EQ(static_cast<DWORD>(IDOK | IDOK << 4), target.ExitCode());
  const std::string dialog = "実行ファイル更新|更新中です。しばらくお待ちください。";
  EXPECT_EQ((std::vector<std::string>{"+" + dialog, "-" + dialog}), events);
  ASSERT_EQ(2u, robot.Answers().size());
  EXPECT_EQ("途中", robot.Answers()[0].box.text);
  EXPECT_TRUE(robot.Answers()[0].waitDialogOpen);
  EXPECT_FALSE(robot.Answers()[0].box.hasIcon);
  EXPECT_EQ("終了", robot.Answers()[1].box.text);
  EXPECT_FALSE(robot.Answers()[1].waitDialogOpen);
  EXPECT_TRUE(robot.Answers()[1].box.hasIcon);
  EXPECT_TRUE(robot.OpenWaitDialogs().empty());
}

TEST(Robot, DefaultAnswersAndOwnersAndFailures) {
  {
    // Without a decision: OK where there is one.
    Started target(Target("owned"));
    ASSERT_TRUE(target.Ok());
    CRobot robot(target.Id());
    ASSERT_EQ(CRobot::Outcome::kExited, robot.Watch(target.Process(), kGenerousMs)) << robot.Problem();
    EXPECT_EQ(static_cast<DWORD>(IDOK), target.ExitCode());
    ASSERT_EQ(1u, robot.Answers().size());
    HWND owner = robot.Answers()[0].box.owner;
    EXPECT_NE(nullptr, owner);
    EXPECT_EQ((std::vector<int>{IDOK, IDCANCEL}), robot.Answers()[0].box.buttons);
  }
  {
    // A decision for a button the box lacks fails the watch instead of pressing anything.
    Started target(Target("owned"));
    ASSERT_TRUE(target.Ok());
    CRobot robot(target.Id());
    robot.SetDecision([](const RobotDialog&) { return IDYES; });
    EXPECT_EQ(CRobot::Outcome::kFailed, robot.Watch(target.Process(), kGenerousMs));
    EXPECT_NE(std::string::npos, robot.Problem().find("does not have")) << robot.Problem();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(target.Process(), 0));
  }
  {
    // A program that never ends: the watch gives up (the program has no window, so nothing else can
    // end the wait) and the program is still running.
    Started target(Target("hang"));
    ASSERT_TRUE(target.Ok());
    CRobot robot(target.Id());
    EXPECT_EQ(CRobot::Outcome::kTimedOut, robot.Watch(target.Process(), 500));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(target.Process(), 0));
    EXPECT_TRUE(robot.SeenWindows().empty());
  }
  {
    Started target(Target("quiet"));
    ASSERT_TRUE(target.Ok());
    CRobot robot(target.Id());
    EXPECT_EQ(CRobot::Outcome::kExited, robot.Watch(target.Process(), kGenerousMs));
    EXPECT_EQ(7u, target.ExitCode());
    EXPECT_TRUE(robot.Answers().empty());
    EXPECT_TRUE(robot.SeenWindows().empty());
  }
}

// Reads the pixel (x, y) from the top of a 24-bit bottom-up BMP file as 0xRRGGBB; -1 when the file is
// not such a BMP of the screen's size.
long PixelOfScreenshot(const std::string& bytes, int x, int y) {
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return -1;
  auto le32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                 static_cast<unsigned char>(bytes[at + 1]) << 8 |
                                 static_cast<unsigned char>(bytes[at + 2]) << 16 |
                                 static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24);
  };
  uint32_t offset = le32(10), width = le32(18), height = le32(22);
  unsigned bits = static_cast<unsigned char>(bytes[28]) | static_cast<unsigned char>(bytes[29]) << 8;
  if (bits != 24 || width != static_cast<uint32_t>(GetSystemMetrics(SM_CXSCREEN)) ||
      height != static_cast<uint32_t>(GetSystemMetrics(SM_CYSCREEN)))
    return -1;
  size_t stride = (width * 3 + 3) & ~3u;
  if (le32(2) != bytes.size() || bytes.size() != offset + stride * height) return -1;
  size_t at = offset + (height - 1 - static_cast<uint32_t>(y)) * stride + static_cast<uint32_t>(x) * 3;
  return static_cast<unsigned char>(bytes[at + 2]) << 16 | static_cast<unsigned char>(bytes[at + 1]) << 8 |
         static_cast<unsigned char>(bytes[at]);
}

TEST(Robot, ScreenshotShowsAnotherProcessWindow) {
  testing_support::ScratchFolder scratch;
  Started target(Target("paint"));
  ASSERT_TRUE(target.Ok());
  CRobot robot(target.Id());
  long pixel = -2;
  robot.SetDecision([&](const RobotDialog&) {
    // The window reaches the screen once its process has painted and flushed it: look again until it
    // shows, for a generous while.
    for (DWORD start = GetTickCount(); GetTickCount() - start < 20000; Sleep(100)) {
      std::string bytes;
      if (!SaveScreenshot(scratch / "screen.bmp") || !testing_support::ReadWholeFile(scratch / "screen.bmp", &bytes))
        break;
      pixel = PixelOfScreenshot(bytes, 140, 115);
      if (pixel == 0x123456) break;
    }
    return IDOK;
  });
  ASSERT_EQ(CRobot::Outcome::kExited, robot.Watch(target.Process(), kGenerousMs)) << robot.Problem();
  EXPECT_EQ(0x123456, pixel);
  EXPECT_FALSE(SaveScreenshot(scratch / "no-such-folder\\screen.bmp"));
}

TEST(SetupRobotProgram, PrintsEveryBoxInUtf8AndPassesTheExitCodeOn) {
  testing_support::ScratchFolder scratch;
  std::string robotExe = testing_support::HarnessSetting("ADDON_BIN_DIR") + "\\tools\\setup_robot.exe";
  ASSERT_TRUE(testing_support::FileExists(robotExe)) << robotExe;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE output = CreateFileA((scratch / "out.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, output);
  std::string shots = scratch / "box";
  {
    Started robot("\"" + robotExe + "\" --box-shots \"" + shots + "\" " + Target("boxes"), output);
    CloseHandle(output);
    ASSERT_TRUE(robot.Ok());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(robot.Process(), kGenerousMs));
    // OK, then the default Yes, then Retry twice (the default of a Retry/Cancel box).
    EXPECT_EQ(static_cast<DWORD>(IDOK | IDYES << 4 | IDRETRY << 8 | IDRETRY << 12), robot.ExitCode());
  }
  std::string printed;
  ASSERT_TRUE(testing_support::ReadWholeFile(scratch / "out.txt", &printed));
  // The report is UTF-8 whatever the code page.
  EXPECT_NE(std::string::npos, printed.find(u8"message box 1: [確認表] (OK, icon)\n    ソ表能の表示\n    二行目\n"))
      << printed;
  EXPECT_NE(std::string::npos, printed.find(u8"message box 2: [質問] (Yes/No)\n    二回目\n"));
  EXPECT_NE(std::string::npos, printed.find(".bmp\n  pressed Yes\n"));
  EXPECT_NE(std::string::npos, printed.find(u8"message box 4: [FileLoadError] (Cancel/Retry, icon)\n    同じ箱\n"));
  EXPECT_NE(std::string::npos,
            printed.find("exit code " + std::to_string(IDOK | IDYES << 4 | IDRETRY << 8 | IDRETRY << 12) + "\n"))
      << printed;
  for (int n = 1; n <= 4; ++n) {
    std::string bytes;
    ASSERT_TRUE(testing_support::ReadWholeFile(shots + "-" + std::to_string(n) + ".bmp", &bytes)) << n;
    EXPECT_GE(PixelOfScreenshot(bytes, 0, 0), 0) << n;
  }
}

}  // namespace
