// The please-wait dialog's bar through a whole real run of the setup flow (RunSetup, in a child copy of
// this test program, which is then "on the disc": the category folders lie beside it). A hook on the
// flow's own thread sees every position the pump gives the bar, and the message-box seam sees the
// success message, so the order of the two is known exactly, which another process cannot see: the bar
// goes in the same pass as its last position is set.

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "setup/SetupFlow.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::HarnessSetting;
using testing_support::ReadWholeFile;
using testing_support::RemoveTree;
using testing_support::ScratchFolder;
using testing_support::WriteFileMakingFolders;
using testing_support::WriteWholeFile;

const char* const kAppPathsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Sorvane.exe";

std::string g_events;

LRESULT CALLBACK RecordBarPositions(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    char className[64] = {};
    if (sent->message == PBM_SETPOS && GetClassNameA(sent->hwnd, className, sizeof className) &&
        std::string(className) == "msctls_progress32")
      g_events += std::to_string(sent->wParam) + " ";
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

int RecordBox(HWND, const char* text, const char*, UINT) {
  g_events += std::string("box:") + text;
  return IDOK;
}

TEST(PleaseWaitProgressChild, DISABLED_Run) {
  const std::string out = HarnessSetting("ADDON_PROGRESS_CHILD_OUT");
  if (out.empty()) GTEST_SKIP() << "runs only as a child of PleaseWaitProgress";
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &RecordBarPositions, nullptr, GetCurrentThreadId());
  testing_support::CustomUser user(&RecordBox);
  RunSetup(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);
  if (hook) UnhookWindowsHookEx(hook);
  WriteWholeFile(out, hook ? g_events : "no hook");
  ExitProcess(0);
}

TEST(PleaseWaitProgress, TheBarReachesOneHundredBeforeTheSuccessMessage) {
  ULARGE_INTEGER available = {};
  if (!GetDiskFreeSpaceExA("C:\\", &available, nullptr, nullptr) || available.QuadPart < 2200000000ull)
    GTEST_SKIP() << testing_support::kHostLacks << "2.2 GB free on C: for the setup's space test";
  ScratchFolder scratch;
  // The child's own folder is its disc: the two categories it always installs, one of them large
  // enough for several passes of the pump.
  const std::string disc = testing_support::ThisProgramFolder();
  struct Cleanup {
    std::string disc;
    ~Cleanup() {
      RemoveTree(disc + "\\data");
      RegDeleteKeyA(HKEY_CURRENT_USER, kAppPathsKey);
    }
  } cleanup{disc};
  ASSERT_TRUE(WriteFileMakingFolders(disc + "\\data\\gamedata2\\large.bin", std::string(48 << 20, 'L')));
  ASSERT_TRUE(WriteFileMakingFolders(disc + "\\data\\gamedata5\\small.txt", "small"));
  const std::string game = scratch / "game";
  ASSERT_TRUE(WriteFileMakingFolders(game + "\\Sorvane.exe", "MZ"));
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_CURRENT_USER, kAppPathsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  const std::string executable = game + "\\Sorvane.exe";
  RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(executable.c_str()),
                 static_cast<DWORD>(executable.size() + 1));
  RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(game.c_str()),
                 static_cast<DWORD>(game.size() + 1));
  RegCloseKey(key);

  const std::string out = scratch / "events.txt";
  {
    testing_support::ChildEnvironment environment({{"ADDON_PROGRESS_CHILD_OUT", out}},
                                                  "PleaseWaitProgressChild.DISABLED_Run");
    ASSERT_EQ(0u, testing_support::RunToExit("\"" + testing_support::ThisProgramPath() + "\""));
  }
  std::string events;
  ASSERT_TRUE(ReadWholeFile(out, &events));
  const std::string success = "box:セットアップは正常に終了しました。";
  ASSERT_GE(events.size(), success.size()) << events;
  EXPECT_EQ(success, events.substr(events.size() - success.size())) << "one box, the success message, last";
  // The positions before it never go back and end at 100.
  std::vector<int> positions;
  size_t at = 0;
  for (size_t space; (space = events.find(' ', at)) != std::string::npos && events.compare(at, 4, "box:") != 0;
       at = space + 1)
    positions.push_back(std::stoi(events.substr(at, space - at)));
  ASSERT_FALSE(positions.empty()) << events;
  for (size_t i = 1; i < positions.size(); ++i) EXPECT_GE(positions[i], positions[i - 1]) << events;
  EXPECT_EQ(100, positions.back()) << events;
  std::string copied;
  ASSERT_TRUE(ReadWholeFile(game + "\\large.bin", &copied));
  EXPECT_EQ(48u << 20, copied.size());
}

}  // namespace
