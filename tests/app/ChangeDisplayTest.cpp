// The display changers: what they ask the display for, the changed flag, and the log lines. The
// settings call is answered by a fake; the real one is tried with the mode the display already has.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "app/AppManager.h"
#include "app/ChangeDisplay.h"
#include "foundation/Process.h"
#include "tests/app/FakeDisplay.h"
#include "tests/support/TestSupport.h"

using testing_support::DebugCapture;
using testing_support::DisplayCall;
using testing_support::FakeDisplay;

namespace {

constexpr DWORD kSizeFields = 0x1C0000;
constexpr DWORD kSizeAndRateFields = 0x5C0000;

void ExpectMode(const DisplayCall& call, DWORD fields, DWORD width, DWORD height, DWORD depth, DWORD flags) {
  ASSERT_TRUE(call.hasMode);
  EXPECT_EQ(156u, call.mode.dmSize);
  EXPECT_EQ(fields, call.mode.dmFields);
  EXPECT_EQ(width, call.mode.dmPelsWidth);
  EXPECT_EQ(height, call.mode.dmPelsHeight);
  EXPECT_EQ(depth, call.mode.dmBitsPerPel);
  EXPECT_EQ(flags, call.flags);
}

void ExpectRestore(const DisplayCall& call) {
  EXPECT_FALSE(call.hasMode);
  EXPECT_EQ(0u, call.flags);
}

TEST(ChangeDisplayWin32, ChangesWithTheRefreshRateFirstThenWithout) {
  FakeDisplay display;
  CChangeDisplayWin32API changer;
  EXPECT_EQ(1, changer.GetKind());
  EXPECT_FALSE(changer.IsChanged());

  // Accepted at once: one call with the refresh rate (the system here is NT).
  ASSERT_TRUE(IsWindowsNT());
  EXPECT_TRUE(changer.ChangeDisplay(640, 480, 15));
  auto calls = display.TakeCalls();
  ASSERT_EQ(1u, calls.size());
  ExpectMode(calls[0], kSizeAndRateFields, 640, 480, 15, CDS_FULLSCREEN);  // 15 stays 15 here
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(static_cast<DWORD>(GetDeviceCaps(screen, VREFRESH)), calls[0].mode.dmDisplayFrequency);
  ReleaseDC(nullptr, screen);
  EXPECT_TRUE(changer.IsChanged());

  // The rate refused: the same mode without it.
  display.SetNextAnswers({DISP_CHANGE_BADMODE});
  EXPECT_TRUE(changer.ChangeDisplay(800, 600, 16));
  calls = display.TakeCalls();
  ASSERT_EQ(2u, calls.size());
  ExpectMode(calls[0], kSizeAndRateFields, 800, 600, 16, CDS_FULLSCREEN);
  ExpectMode(calls[1], kSizeFields, 800, 600, 16, CDS_FULLSCREEN);

  EXPECT_TRUE(changer.Reset());
  calls = display.TakeCalls();
  ASSERT_EQ(1u, calls.size());
  ExpectRestore(calls[0]);
  EXPECT_FALSE(changer.IsChanged());
}

TEST(ChangeDisplayWin32, AFailedChangeStillRestoresAtTheNextReset) {
  FakeDisplay display(DISP_CHANGE_FAILED);
  CChangeDisplayWin32API changer;
  EXPECT_FALSE(changer.ChangeDisplay(640, 480, 32));
  EXPECT_EQ(2u, display.TakeCalls().size());
  EXPECT_TRUE(changer.IsChanged()) << "the flag is set before the change is tried";

  // A restore that fails keeps the flag, so it is tried again.
  EXPECT_FALSE(changer.Reset());
  EXPECT_TRUE(changer.IsChanged());
  display.SetAnswer(DISP_CHANGE_SUCCESSFUL);
  EXPECT_TRUE(changer.Reset());
  EXPECT_FALSE(changer.IsChanged());
  EXPECT_EQ(2u, display.TakeCalls().size());
}

TEST(ChangeDisplayWin32, DepthZeroIsResetAndAnUnchangedResetCallsNothing) {
  FakeDisplay display;
  CChangeDisplayWin32API changer;
  EXPECT_TRUE(changer.Reset());
  EXPECT_TRUE(changer.ChangeDisplay(640, 480, 0));
  EXPECT_TRUE(display.TakeCalls().empty());

  ASSERT_TRUE(changer.ChangeDisplay(640, 480, 32));
  display.TakeCalls();
  EXPECT_TRUE(changer.ChangeDisplay(1024, 768, 0));
  auto calls = display.TakeCalls();
  ASSERT_EQ(1u, calls.size());
  ExpectRestore(calls[0]);
  EXPECT_FALSE(changer.IsChanged());
}

TEST(ChangeDisplayWin32, ModeTestAsksForSixteenBitsInsteadOfFifteen) {
  FakeDisplay display;
  CChangeDisplayWin32API changer;
  EXPECT_TRUE(changer.IsModeAvailable(640, 480, 15));
  EXPECT_TRUE(changer.IsModeAvailable(123, 45, 0));  // depth 0 asks nothing
  auto calls = display.TakeCalls();
  ASSERT_EQ(1u, calls.size());
  ExpectMode(calls[0], kSizeFields, 640, 480, 16, CDS_TEST);
  display.SetAnswer(DISP_CHANGE_BADMODE);
  EXPECT_FALSE(changer.IsModeAvailable(640, 480, 24));
  EXPECT_FALSE(changer.IsChanged()) << "a test changes nothing";
}

TEST(ChangeDisplayWin32, DestructionRestoresAndLogsAFailure) {
  FakeDisplay display;
  {
    CChangeDisplayWin32API changer;
    ASSERT_TRUE(changer.ChangeDisplay(640, 480, 32));
    display.TakeCalls();
    display.SetAnswer(DISP_CHANGE_FAILED);
    DebugCapture log;
    {
      CChangeDisplayWin32API failing;
      ASSERT_FALSE(failing.ChangeDisplay(640, 480, 32));
    }
    EXPECT_EQ(std::vector<std::string>{"CChangeDisplayWin32API::_Finalize() 後処理に失敗した"}, log.Texts());
    display.SetAnswer(DISP_CHANGE_SUCCESSFUL);
    display.TakeCalls();
  }
  auto calls = display.TakeCalls();
  ASSERT_EQ(1u, calls.size());
  ExpectRestore(calls[0]);
}

class FakeApp : public CAppInterface {
 public:
  HWND GetHWnd() override { return GetDesktopWindow(); }
};

TEST(ChangeDisplayDDraw, WorksThroughTheWin32ChangerAndSaysWhy) {
  FakeDisplay display;
  {
    DebugCapture log;
    CChangeDisplayDDraw changer;
    EXPECT_EQ(std::vector<std::string>{"CChangeDisplayDDraw::CChangeDisplayDDraw() CAppManager::GetHWnd()に失敗."
                                       "以後Win32APIを使用します"},
              log.Texts());
    EXPECT_EQ(2, changer.GetKind());
    EXPECT_TRUE(changer.ChangeDisplay(640, 480, 16));
    EXPECT_TRUE(changer.IsChanged());
    EXPECT_TRUE(changer.IsModeAvailable(640, 480, 15));
    EXPECT_TRUE(changer.Reset());
    EXPECT_FALSE(changer.IsChanged());
    auto calls = display.TakeCalls();
    ASSERT_EQ(3u, calls.size());
    ExpectMode(calls[0], kSizeAndRateFields, 640, 480, 16, CDS_FULLSCREEN);
    ExpectMode(calls[1], kSizeFields, 640, 480, 16, CDS_TEST);
    ExpectRestore(calls[2]);
    EXPECT_EQ(1u, log.Texts().size()) << "the constructor's line only";
  }
  // With an application window on this thread, the missing device is what is reported.
  FakeApp app;
  CAppManager::Register(&app, nullptr);
  {
    DebugCapture log;
    CChangeDisplayDDraw changer;
    EXPECT_EQ(GetDesktopWindow(), changer.GetServedWindow());
    EXPECT_EQ(std::vector<std::string>{"CChangeDisplayDDraw::CChangeDisplayDDraw() "
                                       "DirectDrawインターフェースを取得できません.以後Win32APIを使用します"},
              log.Texts());
  }
  CAppManager::Unregister(&app);
}

// The platform's call with the mode the display already has: Wine accepts it from Xvfb.
TEST(ChangeDisplayWin32, RealCallWithTheCurrentMode) {
  HDC screen = GetDC(nullptr);
  const int depth = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  CChangeDisplayWin32API changer;
  EXPECT_TRUE(changer.IsModeAvailable(width, height, depth));
  EXPECT_FALSE(changer.IsModeAvailable(width + 7, height + 3, depth)) << "a mode the display does not have";
  EXPECT_TRUE(changer.ChangeDisplay(width, height, depth));
  EXPECT_TRUE(changer.IsChanged());
  EXPECT_TRUE(changer.Reset());
  EXPECT_FALSE(changer.IsChanged());
  EXPECT_EQ(width, GetSystemMetrics(SM_CXSCREEN));
}

}  // namespace
