// The robot's sparring partner: a small program that shows message boxes and a button-less dialog the
// way the setup program does, so the robot's tests can watch a real process. argv[1] picks the scene;
// the exit code tells the test what was answered.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "tests/tools/RobotTargetResource.h"

namespace {

// Texts with Shift-JIS trail bytes equal to '\\' (ソ, 表, 能) to prove that bytes arrive unchanged.
const char* const kTrailByteText = "ソ表能の表示\n二行目";
const char* const kTrailByteCaption = "確認表";

INT_PTR CALLBACK SilentDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Four boxes; the last two look exactly alike, so a robot that mistook the second for the first would
// leave it unanswered. Exit code: the four answers, four bits each.
int Boxes() {
  int first = MessageBoxA(nullptr, kTrailByteText, kTrailByteCaption, MB_OK | MB_ICONINFORMATION);
  int second = MessageBoxA(nullptr, "二回目", "質問", MB_YESNO);
  int third = MessageBoxA(nullptr, "同じ箱", "FileLoadError", MB_RETRYCANCEL | MB_ICONERROR);
  int fourth = MessageBoxA(nullptr, "同じ箱", "FileLoadError", MB_RETRYCANCEL | MB_ICONERROR);
  return first | second << 4 | third << 8 | fourth << 12;
}

// The please-wait dialog, pumped one message per 50 ms like the setup's loop (argv[2] passes, default 4),
// then a box while it is open, then a box after it has gone.
int Wait(int passes) {
  HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ROBOT_TARGET_WAIT), nullptr,
                                   SilentDialogProc, 0);
  if (!dialog) return 90;
  for (int pass = 0; pass < passes; ++pass) {
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(50);
  }
  int during = MessageBoxA(nullptr, "途中", "確認", MB_OK);
  DestroyWindow(dialog);
  int after = MessageBoxA(nullptr, "終了", "確認", MB_OK | MB_ICONINFORMATION);
  return during | after << 4;
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char* className, COLORREF background, int x, int y) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = PlainWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hbrBackground = CreateSolidBrush(background);
  windowClass.lpszClassName = className;
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, className, "RobotTarget", WS_POPUP | WS_VISIBLE, x, y, 200, 150, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  UpdateWindow(window);
  return window;
}

// A box owned by a window of the program. Exit code: the answer.
int Owned() {
  HWND owner = MakeWindow("RobotTargetOwner", RGB(200, 200, 200), 700, 20);
  return MessageBoxA(owner, "持ち主あり", "所有", MB_OKCANCEL);
}

// A window of a known colour at (40, 40)-(240, 190) while a box waits. Exit code: the answer.
int Paint() {
  MakeWindow("RobotTargetPaint", RGB(0x12, 0x34, 0x56), 40, 40);
  return MessageBoxA(nullptr, "色", "画面", MB_OK);
}

}  // namespace

int main(int argc, char** argv) {
  const char* scene = argc > 1 ? argv[1] : "";
  if (!std::strcmp(scene, "boxes")) return Boxes();
  if (!std::strcmp(scene, "wait")) return Wait(argc > 2 ? std::atoi(argv[2]) : 4);
  if (!std::strcmp(scene, "owned")) return Owned();
  if (!std::strcmp(scene, "paint")) return Paint();
  if (!std::strcmp(scene, "hang")) {
    Sleep(INFINITE);
    return 0;
  }
  if (!std::strcmp(scene, "quiet")) return 7;
  return 99;
}
