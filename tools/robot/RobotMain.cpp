// setup_robot.exe: starts a program, answers every message box it shows (OK, else the default button),
// prints what each box said in UTF-8, optionally saves screenshots, and exits with the program's exit code.
//
//   setup_robot.exe [--cwd DIR] [--timeout SECONDS] [--wait-shot FILE.bmp] [--box-shots PREFIX]
//                   PROGRAM [ARGUMENTS...]
//
// --wait-shot saves the screen once the button-less please-wait dialog has appeared and painted;
// --box-shots saves PREFIX-1.bmp, PREFIX-2.bmp, ... with each message box on the screen before it is
// answered. Exit code: the program's; 124 when it did not end in time (it is then terminated), 125 when
// the robot itself failed.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/robot/Robot.h"

namespace {

constexpr int kTimedOutCode = 124;
constexpr int kRobotFailedCode = 125;

void Print(const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fflush(stdout);
}

std::string Indented(const std::string& text) {
  std::string out = "    ";
  for (char c : text) {
    out += c;
    if (c == '\n') out += "    ";
  }
  return out;
}

std::string ButtonName(int id) {
  static const char* const names[] = {"",    "OK", "Cancel", "Abort", "Retry",    "Ignore",
                                      "Yes", "No", "Close",  "Help",  "TryAgain", "Continue"};
  return (id > 0 && id <= 11) ? names[id] : std::to_string(id);
}

// Quotes one argument for CreateProcess the way the C runtime splits command lines.
std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

void SaveShotOf(HWND window, const std::string& path) {
  if (SaveSettledScreenshot(window, path, 5000))
    Print("  screenshot: " + AnsiToUtf8(path) + "\n");
  else if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
    Print("  screenshot (taken before the window had finished painting): " + AnsiToUtf8(path) + "\n");
  else
    Print("  screenshot failed: " + AnsiToUtf8(path) + "\n");
}

int Usage() {
  Print(
      "usage: setup_robot.exe [--cwd DIR] [--timeout SECONDS] [--wait-shot FILE.bmp] [--box-shots PREFIX] "
      "PROGRAM [ARGUMENTS...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  std::string directory, waitShot, boxShots;
  DWORD timeoutSeconds = 120;
  int i = 1;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
    std::string option = argv[i];
    if (i + 1 >= argc) return Usage();
    std::string value = argv[++i];
    if (option == "--cwd")
      directory = value;
    else if (option == "--timeout")
      timeoutSeconds = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
    else if (option == "--wait-shot")
      waitShot = value;
    else if (option == "--box-shots")
      boxShots = value;
    else
      return Usage();
  }
  if (i >= argc || timeoutSeconds == 0) return Usage();

  std::string commandLine;
  for (int k = i; k < argc; ++k) commandLine += (k > i ? " " : "") + Quoted(argv[k]);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &started)) {
    Print("setup_robot: cannot start " + AnsiToUtf8(argv[i]) + " (error " + std::to_string(GetLastError()) + ")\n");
    return kRobotFailedCode;
  }
  CloseHandle(started.hThread);
  Print("started " + AnsiToUtf8(commandLine) + "\n");

  CRobot robot(started.dwProcessId);
  bool waitShotTaken = false;
  DWORD appearedAt = 0;
  robot.SetWaitDialogEvent([&](const RobotDialog& dialog, bool appeared) {
    std::string shown = "[" + AnsiToUtf8(dialog.caption) + "] " + AnsiToUtf8(dialog.text);
    if (appeared) {
      appearedAt = GetTickCount();
      Print("dialog appeared: " + shown + "\n");
    } else {
      Print("dialog closed after " + std::to_string(GetTickCount() - appearedAt) + " ms: " + shown + "\n");
    }
    if (appeared && !waitShot.empty() && !waitShotTaken) {
      waitShotTaken = true;
      SaveShotOf(dialog.window, waitShot);
    }
  });
  int boxNumber = 0;
  robot.SetDecision([&](const RobotDialog& box) {
    int answer = CRobot::DefaultAnswer(box);
    ++boxNumber;
    std::string buttons;
    for (int id : box.buttons) buttons += (buttons.empty() ? "" : "/") + ButtonName(id);
    Print("message box " + std::to_string(boxNumber) + ": [" + AnsiToUtf8(box.caption) + "] (" + buttons +
          (box.hasIcon ? ", icon" : "") + ")\n" + Indented(AnsiToUtf8(box.text)) + "\n");
    if (!boxShots.empty()) SaveShotOf(box.window, boxShots + "-" + std::to_string(boxNumber) + ".bmp");
    Print("  pressed " + ButtonName(answer) + "\n");
    return answer;
  });

  CRobot::Outcome outcome = robot.Watch(started.hProcess, timeoutSeconds * 1000);
  int code = kRobotFailedCode;
  if (outcome == CRobot::Outcome::kExited) {
    DWORD exitCode = 0;
    GetExitCodeProcess(started.hProcess, &exitCode);
    code = static_cast<int>(exitCode);
    Print("exit code " + std::to_string(exitCode) + "\n");
  } else {
    Print("setup_robot: " + robot.Problem() + "; terminating the program\n");
    TerminateProcess(started.hProcess, 1);
    WaitForSingleObject(started.hProcess, 10000);
    if (outcome == CRobot::Outcome::kTimedOut) code = kTimedOutCode;
  }
  CloseHandle(started.hProcess);
  return code;
}
