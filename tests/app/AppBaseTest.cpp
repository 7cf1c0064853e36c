// The threaded application and its window: the window made on the application's own thread, a window
// that cannot be made, close requests and the close query, and the application window's full-screen
// rules (maximise, minimise, restore, the menu cover window) with a fake display.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/AppBase.h"
#include "tests/app/FakeDisplay.h"
#include "tests/app/WindowTestResource.h"
#include "tests/support/TestSupport.h"

using testing_support::DebugCapture;
using testing_support::FakeDisplay;

namespace {

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
  for (const auto& t : texts)
    if (t == text) return true;
  return false;
}

// Waits up to `ms` for a condition, pumping this thread's messages meanwhile.
template <typename Condition>
bool WaitFor(Condition condition, DWORD ms = 5000) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(5)) {
    if (condition()) return true;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  return condition();
}

class TestApp : public CAppBase {
 public:
  TestApp() { SetStopAllAtExit(false); }
  ~TestApp() override { GetThread()->Stop(); }

  void OnSetupWindowParams(CWindowParams& params) override {
    params.windowClass.lpszClassName = "AppBaseTest";
    params.width = 200;
    params.height = 100;
    if (failCreation) {
      params.style = WS_CHILD;
      params.parent = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0F0F));  // no such window
    }
    setupThread = GetCurrentThreadId();
  }
  bool OnCloseQuery() override {
    ++queries;
    queryThread = GetCurrentThreadId();
    return agreeToClose.load();
  }
  void OnEnd() override { ended = true; }

  bool failCreation = false;
  std::atomic<bool> agreeToClose{false};
  std::atomic<int> queries{0};
  std::atomic<DWORD> setupThread{0}, queryThread{0};
  std::atomic<bool> ended{false};
};

TEST(AppBase, RunMakesTheWindowOnTheApplicationsOwnThread) {
  TestApp app;
  ASSERT_TRUE(app.Run());
  HWND window = app.GetHWnd();
  ASSERT_TRUE(IsWindow(window));
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  EXPECT_NE(GetCurrentThreadId(), thread);
  EXPECT_EQ(app.GetThread()->GetThreadId(), thread);
  EXPECT_EQ(thread, app.setupThread.load());
  EXPECT_TRUE(IsWindowVisible(window));
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(200, client.right);
  EXPECT_TRUE(app.IsRunning());
  EXPECT_EQ(nullptr, CAppManager::GetHWnd()) << "registered for its own thread only";

  // A close request goes through the close query on the application's thread; refused, the window stays.
  ASSERT_TRUE(app.RequestClose());
  ASSERT_TRUE(WaitFor([&] { return app.queries.load() == 1; }));
  EXPECT_EQ(thread, app.queryThread.load());
  Sleep(100);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(app.IsRunning());

  // Agreed: the window goes and the application ends.
  app.agreeToClose = true;
  ASSERT_TRUE(app.ForceClose());
  EXPECT_TRUE(app.GetClosing());
  ASSERT_TRUE(WaitFor([&] { return !app.IsRunning(); }));
  app.Wait();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(app.ended.load());
  EXPECT_EQ(nullptr, app.GetHWnd());
  EXPECT_NE(nullptr, app.GetWindow()) << "the window object stays with the application";
}

TEST(AppBase, AWindowThatCannotBeMadeEndsRunPromptly) {
  DebugCapture log;
  TestApp app;
  app.failCreation = true;
  const DWORD start = GetTickCount();
  EXPECT_FALSE(app.Run());
  EXPECT_LT(GetTickCount() - start, 5000u) << "Run must not sit out its 10 s wait";
  EXPECT_EQ(nullptr, app.GetWindow());
  EXPECT_TRUE(Contains(log.Texts(), "CAppBase::ThreadProc() ウィンドウ作成に失敗しました"));
  EXPECT_FALSE(Contains(log.Texts(), "CAppBase::Run() m_CreateWndEventがタイムアウトした"));
  app.Wait();
  EXPECT_FALSE(app.IsRunning());
}

TEST(AppBase, DestroyOnCloseSkipsTheQuery) {
  TestApp app;
  app.SetDestroyOnClose(true);
  ASSERT_TRUE(app.Run());
  HWND window = app.GetHWnd();
  ASSERT_TRUE(app.RequestClose());
  ASSERT_TRUE(WaitFor([&] { return !app.IsRunning(); }));
  app.Wait();
  EXPECT_EQ(0, app.queries.load());
  EXPECT_FALSE(IsWindow(window));
}

TEST(AppBase, WaitWaitsForTheApplicationWithoutClosingIt) {
  TestApp app;
  ASSERT_TRUE(app.Run());
  CManualEvent waited;
  std::thread waiter([&] {
    app.Wait();
    waited.Set();
  });
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), waited.Wait(300));
  EXPECT_TRUE(app.IsRunning());
  EXPECT_TRUE(IsWindow(app.GetHWnd()));
  EXPECT_EQ(0, app.queries.load()) << "nobody asked it to close";
  app.agreeToClose = true;
  ASSERT_TRUE(app.RequestClose());
  EXPECT_EQ(WAIT_OBJECT_0, waited.Wait(10000));
  waiter.join();
  EXPECT_TRUE(app.ended.load());
}

// Leaves its thread running for CAppBase's destructor to find.
class CarelessApp : public CAppBase {
 public:
  CarelessApp() { SetStopAllAtExit(false); }
  void OnSetupWindowParams(CWindowParams& params) override {
    params.windowClass.lpszClassName = "AppBaseTest";
    params.width = 120;
    params.height = 80;
  }
};

TEST(AppBase, ADerivedApplicationThatLeavesItsThreadRunningIsReportedAndStillStopped) {
  DebugCapture log;
  HWND window = nullptr;
  {
    CarelessApp app;
    ASSERT_TRUE(app.Run());
    window = app.GetHWnd();
  }
  EXPECT_FALSE(IsWindow(window));
  bool reported = false;
  for (const std::string& text : log.Texts()) reported = reported || text.find("CAppBase::~CAppBase()") == 0;
  EXPECT_TRUE(reported);

  // One that stops its thread in its own destructor, as it should, is not reported.
  DebugCapture quiet;
  {
    TestApp app;
    ASSERT_TRUE(app.Run());
  }
  for (const std::string& text : quiet.Texts()) EXPECT_NE(0u, text.find("CAppBase::~CAppBase()")) << text;
}

// Holds its close query open until told to answer.
class SlowQueryApp : public TestApp {
 public:
  bool OnCloseQuery() override {
    ++queries;
    inQuery.Set();
    answer.Wait(10000);
    return false;
  }
  CEvent inQuery, answer;
};

TEST(AppBase, OnlyOneCloseQueryRunsInTheProcess) {
  SlowQueryApp first;
  TestApp second;
  ASSERT_TRUE(first.Run());
  ASSERT_TRUE(second.Run());
  ASSERT_TRUE(first.RequestClose());
  ASSERT_EQ(WAIT_OBJECT_0, first.inQuery.Wait(5000));
  // While the first application asks, a close request to the second is dropped, not queued.
  ASSERT_TRUE(second.RequestClose());
  Sleep(200);
  EXPECT_EQ(0, second.queries.load());
  first.answer.Set();
  Sleep(100);
  ASSERT_TRUE(second.RequestClose());
  ASSERT_TRUE(WaitFor([&] { return second.queries.load() == 1; }));
  EXPECT_EQ(1, first.queries.load());
  EXPECT_TRUE(first.IsRunning()) << "its query said no";
}

// --- the application window on this thread, with a fake display -----------------------------------

CWindowParams AppWindowParams(bool withMenu) {
  CWindowParams params;
  params.windowClass.lpszClassName = "AppWindowTest";
  if (withMenu) params.windowClass.lpszMenuName = MAKEINTRESOURCEA(IDM_TEST_MENU);
  params.style |= WS_MAXIMIZEBOX;
  params.width = 320;
  params.height = 240;
  return params;
}

class SysCommandListener : public CWindowListener {
 public:
  LRESULT handle(HWND, UINT message, WPARAM wParam, LPARAM) override {
    if (message == WM_SYSCOMMAND) commands.push_back(wParam & 0xFFF0);
    return 0;
  }
  std::vector<WPARAM> commands;
};

class CommandListener : public CWindowListener {
 public:
  LRESULT handle(HWND, UINT message, WPARAM wParam, LPARAM) override {
    if (message == WM_COMMAND) commands.push_back(wParam);
    return 0;
  }
  std::vector<WPARAM> commands;
};

TEST(AppWindow, MaximiseNeverReachesTheDefaultProcessing) {
  // A plain window object lets Windows maximise: what the application window must not do.
  {
    CWindow plain;
    ASSERT_TRUE(plain.Create(AppWindowParams(false)));
    SendMessageA(plain.GetHWnd(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    EXPECT_TRUE(IsZoomed(plain.GetHWnd()));
  }
  FakeDisplay display(DISP_CHANGE_BADMODE);
  SysCommandListener listener;
  CAppWindow window(nullptr);
  ASSERT_TRUE(window.Create(AppWindowParams(false)));
  HWND handle = window.GetHWnd();
  window.AddListener(&listener);

  // Windowed: maximising means full screen at the screen's depth; refused here, so it stays windowed.
  SendMessageA(handle, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_FALSE(IsZoomed(handle));
  EXPECT_EQ(0, window.IsFullScreen());
  auto calls = display.TakeCalls();
  ASSERT_FALSE(calls.empty());
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(static_cast<DWORD>(GetDeviceCaps(screen, BITSPIXEL)), calls[0].mode.dmBitsPerPel);
  ReleaseDC(nullptr, screen);
  EXPECT_TRUE(listener.commands.empty()) << "handled by the window itself";

  // Full screen: passed on to the listeners, but still not to Windows.
  display.SetAnswer(DISP_CHANGE_SUCCESSFUL);
  ASSERT_TRUE(window.SetFullScreen(16));
  SendMessageA(handle, WM_SYSCOMMAND, SC_MAXIMIZE | 2, 0);
  EXPECT_EQ(std::vector<WPARAM>{SC_MAXIMIZE}, listener.commands);
  EXPECT_FALSE(IsZoomed(handle));
  EXPECT_EQ(16, window.IsFullScreen());
  window.RemoveListener(&listener);
}

TEST(AppWindow, FirstEraseIsSwallowedAndActivationIsTracked) {
  CAppWindow window(nullptr);
  ASSERT_TRUE(window.Create(AppWindowParams(false)));
  HWND handle = window.GetHWnd();
  EXPECT_TRUE(window.IsActive());
  SendMessageA(handle, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_FALSE(window.IsActive());
  SendMessageA(handle, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_TRUE(window.IsActive());

  // The first erase after Create (if Windows has not sent one yet) is swallowed; later ones erase.
  HDC dc = GetDC(handle);
  SendMessageA(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  SetPixel(dc, 3, 3, RGB(255, 0, 0));
  EXPECT_NE(0, SendMessageA(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0));
  EXPECT_EQ(RGB(0, 0, 0), GetPixel(dc, 3, 3)) << "erased with the class's black brush";
  ReleaseDC(handle, dc);
}

TEST(AppWindow, MinimiseAndRestoreLeaveAndReenterFullScreen) {
  FakeDisplay display;
  CAppWindow window(nullptr);
  ASSERT_TRUE(window.Create(AppWindowParams(false)));
  HWND handle = window.GetHWnd();
  ASSERT_TRUE(window.SetFullScreen(16));
  EXPECT_FALSE(GetWindowLongPtrA(handle, GWL_EXSTYLE) & WS_EX_TOPMOST) << "on top, not topmost";

  SendMessageA(handle, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_EQ(0, window.IsFullScreen());
  EXPECT_TRUE(IsIconic(handle));
  EXPECT_TRUE(window.IsRestoreToFullScreenPending());
  EXPECT_FALSE(window.IsDisplayChanged());

  SendMessageA(handle, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_EQ(16, window.IsFullScreen());
  EXPECT_FALSE(window.IsRestoreToFullScreenPending());
  EXPECT_FALSE(IsIconic(handle));

  // Restore while full screen: back to the window.
  SendMessageA(handle, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_EQ(0, window.IsFullScreen());
  EXPECT_TRUE(IsWindowVisible(handle));
  EXPECT_EQ(0x90CB0000u, static_cast<DWORD>(GetWindowLongPtrA(handle, GWL_STYLE)) & 0xFFFF0000u & ~WS_CLIPSIBLINGS);
}

TEST(AppWindow, LosingTheActivationLeavesFullScreen) {
  FakeDisplay display;
  CAppWindow window(nullptr);
  ASSERT_TRUE(window.Create(AppWindowParams(false)));
  HWND handle = window.GetHWnd();
  ASSERT_TRUE(window.SetFullScreen(16));
  SendMessageA(handle, WM_ACTIVATEAPP, FALSE, 0);
  EXPECT_EQ(16, window.IsFullScreen()) << "still the active window";
  SendMessageA(handle, WM_ACTIVATE, WA_INACTIVE, 0);
  SendMessageA(handle, WM_ACTIVATEAPP, FALSE, 0);
  EXPECT_EQ(0, window.IsFullScreen());
  EXPECT_FALSE(window.IsDisplayChanged());

  // A DirectDraw changer keeps full screen when the application is left.
  window.SetDisplayChanger(1);
  ASSERT_TRUE(window.SetFullScreen(16));
  SendMessageA(handle, WM_ACTIVATEAPP, FALSE, 0);
  EXPECT_EQ(16, window.IsFullScreen());
}

TEST(AppWindow, TheCoverWindowAppearsOnTheTopRowAndGoesBelowItsHeight) {
  FakeDisplay display;
  CommandListener listener;
  CAppWindow window(nullptr);
  ASSERT_TRUE(window.Create(AppWindowParams(true)));
  HWND handle = window.GetHWnd();
  HMENU menu = window.GetMenuHandle();
  ASSERT_NE(nullptr, menu);

  // Windowed: the pointer on the top row does nothing.
  SendMessageA(handle, WM_MOUSEMOVE, 0, MAKELPARAM(10, 0));
  EXPECT_EQ(nullptr, window.GetCoverWindow());

  ASSERT_TRUE(window.SetFullScreen(16));
  SendMessageA(handle, WM_MOUSEMOVE, 0, MAKELPARAM(10, 5));
  EXPECT_EQ(nullptr, window.GetCoverWindow()) << "only the top row";
  SendMessageA(handle, WM_MOUSEMOVE, 0, MAKELPARAM(10, 0));
  HWND cover = window.GetCoverWindow();
  ASSERT_TRUE(IsWindow(cover));
  EXPECT_TRUE(IsWindowVisible(cover));
  RECT rect;
  GetWindowRect(cover, &rect);
  EXPECT_EQ(0, rect.top);
  EXPECT_EQ(0, rect.left);
  EXPECT_EQ(320, rect.right - rect.left);
  EXPECT_EQ(window.GetCoverHeight(), rect.bottom - rect.top);
  EXPECT_GT(window.GetCoverHeight(), GetSystemMetrics(SM_CYMENU)) << "caption and menu bar";
  EXPECT_EQ(menu, GetMenu(cover));
  EXPECT_TRUE(GetWindowLongPtrA(cover, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(handle, GetWindow(cover, GW_OWNER));
  EXPECT_EQ(-1, GetMenuState(GetSystemMenu(cover, FALSE), SC_MOVE, MF_BYCOMMAND)) << "no Move on the cover";

  // Commands on the cover (its menu's) go to the main window.
  window.AddListener(&listener);
  SendMessageA(cover, WM_COMMAND, IDM_TEST_ITEM, 0);
  EXPECT_EQ(std::vector<WPARAM>{IDM_TEST_ITEM}, listener.commands);
  window.RemoveListener(&listener);

  SendMessageA(handle, WM_MOUSEMOVE, 0, MAKELPARAM(10, window.GetCoverHeight() - 1));
  EXPECT_TRUE(IsWindow(cover)) << "still within the cover's height";
  SendMessageA(handle, WM_MOUSEMOVE, 0, MAKELPARAM(10, window.GetCoverHeight()));
  EXPECT_FALSE(IsWindow(cover));
  EXPECT_EQ(nullptr, window.GetCoverWindow());
  EXPECT_TRUE(IsMenu(menu)) << "the menu outlives the cover";

  SendMessageA(handle, WM_MOUSEMOVE, 0, MAKELPARAM(10, 0));
  ASSERT_NE(nullptr, window.GetCoverWindow());
  cover = window.GetCoverWindow();
  ASSERT_TRUE(window.SetFullScreen(0));
  EXPECT_FALSE(IsWindow(cover)) << "leaving full screen takes the cover away";
  EXPECT_EQ(menu, GetMenu(handle));
}

class ActivateListener : public CWindowListener {
 public:
  LRESULT handle(HWND, UINT message, WPARAM wParam, LPARAM) override {
    if (message == WM_ACTIVATE) states.push_back(LOWORD(wParam));
    return 0;
  }
  std::vector<WPARAM> states;
};

TEST(AppWindow, ActivationReachesTheListenersAndTheDefaultProcessing) {
  ActivateListener listener;
  CAppWindow window(nullptr);
  ASSERT_TRUE(window.Create(AppWindowParams(false)));
  HWND handle = window.GetHWnd();
  window.AddListener(&listener);
  SendMessageA(handle, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_FALSE(window.IsActive());
  SetFocus(nullptr);
  ASSERT_EQ(nullptr, GetFocus());
  SendMessageA(handle, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_TRUE(window.IsActive());
  EXPECT_EQ((std::vector<WPARAM>{WA_INACTIVE, WA_ACTIVE}), listener.states);
  EXPECT_EQ(handle, GetFocus()) << "the default processing gives the activated window the focus";
  window.RemoveListener(&listener);
}

TEST(AppWindow, TheMenuSurvivesTheCoverDestroyedByTheSystem) {
  FakeDisplay display;
  CAppWindow window(nullptr);
  ASSERT_TRUE(window.Create(AppWindowParams(true)));
  HWND handle = window.GetHWnd();
  HMENU menu = window.GetMenuHandle();
  ASSERT_TRUE(IsMenu(menu));
  ASSERT_TRUE(window.SetFullScreen(16));
  SendMessageA(handle, WM_MOUSEMOVE, 0, MAKELPARAM(10, 0));
  HWND cover = window.GetCoverWindow();
  ASSERT_TRUE(IsWindow(cover));
  ASSERT_EQ(menu, GetMenu(cover));

  // Destroyed behind the object's back, the cover leaves the menu to the window object.
  DestroyWindow(cover);
  EXPECT_EQ(nullptr, window.GetCoverWindow());
  EXPECT_TRUE(IsMenu(menu)) << "the menu belongs to the main window, not to the cover";
  ASSERT_TRUE(window.SetFullScreen(0));
  EXPECT_EQ(menu, GetMenu(handle)) << "back on the window";

  // Destroyed with its owner: whatever order the system takes, the object keeps no dead menu.
  ASSERT_TRUE(window.SetFullScreen(16));
  SendMessageA(handle, WM_MOUSEMOVE, 0, MAKELPARAM(10, 0));
  cover = window.GetCoverWindow();
  ASSERT_TRUE(IsWindow(cover));
  DestroyWindow(handle);
  EXPECT_FALSE(IsWindow(cover));
  EXPECT_EQ(nullptr, window.GetHWnd());
  if (HMENU kept = window.GetMenuHandle()) {
    EXPECT_TRUE(IsMenu(kept)) << "a menu handle that died with the cover";
  }
  window.Destroy();
  EXPECT_FALSE(IsMenu(menu));
  EXPECT_EQ(nullptr, window.GetMenuHandle());
}

TEST(AppWindow, LeavingFullScreenReportsADisplayThatCouldNotBeRestored) {
  FakeDisplay display;
  CAppWindow window(nullptr);
  ASSERT_TRUE(window.Create(AppWindowParams(false)));
  HWND handle = window.GetHWnd();
  ASSERT_TRUE(window.SetFullScreen(16));
  display.SetAnswer(DISP_CHANGE_FAILED);
  EXPECT_FALSE(window.SetFullScreen(0));
  EXPECT_EQ(0, window.IsFullScreen());
  EXPECT_TRUE(window.IsDisplayChanged()) << "still to be restored";
  EXPECT_EQ(0x90CB0000u, static_cast<DWORD>(GetWindowLongPtrA(handle, GWL_STYLE)) & 0xFFFF0000u & ~WS_CLIPSIBLINGS)
      << "the window is put back all the same";
  display.SetAnswer(DISP_CHANGE_SUCCESSFUL);
  EXPECT_TRUE(window.SetFullScreen(0)) << "the next try restores it";
  EXPECT_FALSE(window.IsDisplayChanged());
}

}  // namespace
