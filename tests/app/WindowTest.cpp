// The window object with real windows (Wine in Xvfb): defaults, class registration, the listener chain,
// subclassed controls, sizes and positions, full screen through a fake display, and a window destroyed
// behind the object's back.

#include <gtest/gtest.h>
#include <windows.h>
#include <imm.h>

#include <string>
#include <vector>

#include "app/Window.h"
#include "tests/app/FakeDisplay.h"
#include "tests/app/WindowTestResource.h"

using testing_support::DisplayCall;
using testing_support::FakeDisplay;

namespace {

void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

RECT WindowRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

RECT ClientRect(HWND window) {
  RECT rect = {};
  GetClientRect(window, &rect);
  return rect;
}

std::string Title(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// Windows adds WS_CLIPSIBLINGS to every top-level window.
DWORD Style(HWND window) { return static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)) & ~WS_CLIPSIBLINGS; }
DWORD ExStyle(HWND window) { return static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)); }

// Records the messages it sees; answers `answer` for `message`.
class RecordingListener : public CWindowListener {
 public:
  explicit RecordingListener(UINT message = 0, LRESULT answer = 0) : message_(message), answer_(answer) {}
  LRESULT handle(HWND, UINT message, WPARAM wParam, LPARAM) override {
    seen.push_back(message);
    if (message == WM_COMMAND) commands.push_back(wParam);
    return message == message_ ? answer_ : 0;
  }
  bool Saw(UINT message) const {
    for (UINT m : seen)
      if (m == message) return true;
    return false;
  }
  std::vector<UINT> seen;
  std::vector<WPARAM> commands;

 private:
  UINT message_;
  LRESULT answer_;
};

CWindowParams SmallParams(const char* className = "Application") {
  CWindowParams params;
  params.windowClass.lpszClassName = className;
  params.width = 320;
  params.height = 200;
  return params;
}

TEST(WindowParams, DefaultsAndReset) {
  CWindowParams params;
  EXPECT_EQ(sizeof(WNDCLASSEXA), params.windowClass.cbSize);
  static_assert(sizeof(void*) != 4 || sizeof(WNDCLASSEXA) == 48, "the class record of 32-bit Windows");
  EXPECT_EQ(0u, params.windowClass.style);
  EXPECT_EQ(0, params.windowClass.cbClsExtra);
  EXPECT_EQ(0, params.windowClass.cbWndExtra);
  EXPECT_EQ(LoadIconA(nullptr, IDI_WINLOGO), params.windowClass.hIcon);
  EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), params.windowClass.hCursor);
  EXPECT_EQ(GetStockObject(BLACK_BRUSH), params.windowClass.hbrBackground);
  EXPECT_EQ(nullptr, params.windowClass.lpszMenuName);
  EXPECT_STREQ("Application", params.windowClass.lpszClassName);
  EXPECT_EQ(nullptr, params.windowClass.hIconSm);
  EXPECT_EQ("Application", params.title);
  EXPECT_EQ(0x90CA0000u, params.style);
  EXPECT_EQ(0u, params.exStyle);
  EXPECT_EQ(0, params.x);
  EXPECT_EQ(0, params.y);
  EXPECT_EQ(800, params.width);
  EXPECT_EQ(600, params.height);
  EXPECT_EQ(nullptr, params.parent);
  EXPECT_EQ(1, params.centre);
  EXPECT_EQ(1, params.adjustForFrame);
  EXPECT_EQ(0, params.focusOnCreate);
  EXPECT_EQ(0u, params.menuOrId);

  params.Reset();
  EXPECT_EQ(0u, params.windowClass.cbSize);
  EXPECT_EQ(nullptr, params.windowClass.lpszClassName);
  EXPECT_TRUE(params.title.empty());
  EXPECT_EQ(0u, params.style);
  EXPECT_EQ(0, params.width);
  EXPECT_EQ(0, params.centre);
  EXPECT_EQ(0, params.adjustForFrame);
}

TEST(Window, DefaultParametersMakeAVisibleCentredClientAreaWithImeOff) {
  CWindow window;
  EXPECT_EQ(nullptr, window.GetHWnd());
  EXPECT_FALSE(window.Show()) << "no window yet";
  ASSERT_TRUE(window.Create(CWindowParams()));
  HWND handle = window.GetHWnd();
  ASSERT_TRUE(IsWindow(handle));
  EXPECT_TRUE(IsWindowVisible(handle));
  EXPECT_EQ("Application", Title(handle));
  char className[64] = {};
  GetClassNameA(handle, className, sizeof className);
  EXPECT_STREQ("Application", className);
  EXPECT_EQ(0x90CA0000u, Style(handle) & 0xFFFF0000u);

  RECT client = ClientRect(handle);
  EXPECT_EQ(800, client.right);
  EXPECT_EQ(600, client.bottom);
  RECT outer = WindowRect(handle);
  EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2, outer.left);
  EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2, outer.top);
  EXPECT_EQ(outer.left, window.GetParams().x) << "the centred position is kept";
  EXPECT_EQ(std::make_pair(800, 600), window.GetClientSize());

  EXPECT_EQ(GetStockObject(BLACK_BRUSH), reinterpret_cast<HGDIOBJ>(GetClassLongPtrA(handle, GCLP_HBRBACKGROUND)));
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(&window), GetWindowLongPtrA(handle, GWLP_USERDATA));
  ASSERT_NE(nullptr, window.GetImeGuard());
  EXPECT_EQ(nullptr, ImmGetContext(handle)) << "IME input is off";
  EXPECT_FALSE(window.IsControl());
  EXPECT_FALSE(window.HasMenu());

  window.Destroy();
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(nullptr, window.GetHWnd());
  EXPECT_EQ(nullptr, window.GetImeGuard());
  EXPECT_EQ(0, window.GetParams().width) << "the parameters are forgotten";
  EXPECT_FALSE(window.Hide());
}

LRESULT CALLBACK OwnClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(Window, AClassIsRegisteredOnce) {
  // Created twice from one new class name: a second registration would fail and so would the window.
  CWindow first, second;
  CWindowParams params = SmallParams("WindowTest.Once");
  ASSERT_TRUE(first.Create(params));
  ASSERT_TRUE(second.Create(params));
  first.Destroy();
  ASSERT_TRUE(first.Create(params)) << "again after a destroy";

  // A class someone else registered stays as it is: its brush and procedure are not replaced.
  WNDCLASSEXA own = {};
  own.cbSize = sizeof own;
  own.lpfnWndProc = &OwnClassProc;
  own.hInstance = GetModuleHandleA(nullptr);
  own.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  own.lpszClassName = "WindowTest.Existing";
  ASSERT_NE(0, RegisterClassExA(&own));
  CWindow third;
  ASSERT_TRUE(third.Create(SmallParams("WindowTest.Existing")));
  EXPECT_EQ(GetStockObject(WHITE_BRUSH),
            reinterpret_cast<HGDIOBJ>(GetClassLongPtrA(third.GetHWnd(), GCLP_HBRBACKGROUND)));
}

class OwnHandler : public CWindow {
 public:
  LRESULT OnMessage(HWND, UINT message, WPARAM, LPARAM) override {
    if (message == WM_APP + 1) return 11;
    return 0;
  }
};

TEST(Window, ListenersSeeMessagesInOrderAndAHandledCloseKeepsTheWindow) {
  RecordingListener first(WM_APP + 2, 0), second(WM_APP + 2, 22), keeper(WM_CLOSE, 1);
  OwnHandler window;
  ASSERT_TRUE(window.Create(SmallParams()));
  HWND handle = window.GetHWnd();
  window.AddListener(&first);
  window.AddListener(&second);
  window.AddListener(&keeper);

  // The object's own handler comes first; then the listeners in order, the first non-zero answer wins.
  EXPECT_EQ(11, SendMessageA(handle, WM_APP + 1, 0, 0));
  EXPECT_FALSE(first.Saw(WM_APP + 1));
  EXPECT_EQ(22, SendMessageA(handle, WM_APP + 2, 0, 0));
  EXPECT_TRUE(first.Saw(WM_APP + 2));
  EXPECT_FALSE(keeper.Saw(WM_APP + 2)) << "nobody after the one that handled it";

  SendMessageA(handle, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(handle)) << "a listener handled WM_CLOSE: no DestroyWindow";
  EXPECT_EQ(handle, window.GetHWnd());

  // Without the keeper the default processing closes the window, and the object lets go of it.
  window.RemoveListener(&keeper);
  window.RemoveListener(&keeper);  // not listed any more: nothing happens
  first.seen.clear();
  SendMessageA(handle, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(nullptr, window.GetHWnd());
  EXPECT_TRUE(first.Saw(WM_DESTROY));
  EXPECT_FALSE(first.Saw(WM_NCDESTROY)) << "the last message goes to nobody but the default processing";
}

// Removes itself and another listener, and adds one, while the list is walked.
class RearrangingListener : public CWindowListener {
 public:
  RearrangingListener(CWindow* window, CWindowListener* victim, CWindowListener* newcomer)
      : window_(window), victim_(victim), newcomer_(newcomer) {}
  LRESULT handle(HWND, UINT message, WPARAM, LPARAM) override {
    if (message != WM_APP + 5) return 0;
    ++calls;
    window_->RemoveListener(this);
    window_->RemoveListener(victim_);
    window_->AddListener(newcomer_);
    return 0;
  }
  int calls = 0;

 private:
  CWindow* window_;
  CWindowListener* victim_;
  CWindowListener* newcomer_;
};

TEST(Window, AHandlerMayChangeTheListenersDuringTheWalk) {
  // Listeners outlive the window, which still has messages for them while it is destroyed.
  RecordingListener victim, newcomer(WM_APP + 5, 5);
  CWindow window;
  RearrangingListener rearranger(&window, &victim, &newcomer);
  ASSERT_TRUE(window.Create(SmallParams()));
  window.AddListener(&rearranger);
  window.AddListener(&victim);
  EXPECT_EQ(5, SendMessageA(window.GetHWnd(), WM_APP + 5, 0, 0)) << "the newcomer is asked in the same walk";
  EXPECT_FALSE(victim.Saw(WM_APP + 5));
  EXPECT_EQ(1, rearranger.calls);
  EXPECT_EQ(5, SendMessageA(window.GetHWnd(), WM_APP + 5, 0, 0));
  EXPECT_EQ(1, rearranger.calls) << "removed for good";
}

TEST(Window, ASubclassedButtonStillPaintsAndClicksThroughToItsProcedure) {
  RecordingListener parentListener, buttonListener;
  CWindow parent;
  ASSERT_TRUE(parent.Create(SmallParams()));
  parent.AddListener(&parentListener);

  CWindowParams params;
  params.windowClass.lpszClassName = "BUTTON";
  params.title = "Push";
  params.style = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON;
  params.x = 10;
  params.y = 20;
  params.width = 120;
  params.height = 40;
  params.centre = 0;
  params.adjustForFrame = 0;
  params.parent = parent.GetHWnd();
  params.menuOrId = 1234;
  CWindow button;
  ASSERT_TRUE(button.Create(params));
  HWND handle = button.GetHWnd();
  EXPECT_TRUE(button.IsControl());
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(&CWindow::WindowProc), GetWindowLongPtrA(handle, GWLP_WNDPROC));
  EXPECT_EQ(1234, GetDlgCtrlID(handle));
  EXPECT_EQ("Push", Title(handle));
  RECT rect = WindowRect(handle);
  EXPECT_EQ(120, rect.right - rect.left);

  button.AddListener(&buttonListener);
  RedrawWindow(handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  EXPECT_TRUE(buttonListener.Saw(WM_PAINT));
  // The button's own procedure painted its face where the black parent would show otherwise.
  HDC dc = GetDC(handle);
  COLORREF face = GetPixel(dc, 6, 20);
  ReleaseDC(handle, dc);
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), face);

  SendMessageA(handle, BM_CLICK, 0, 0);
  Pump();
  EXPECT_TRUE(buttonListener.Saw(WM_LBUTTONDOWN));
  ASSERT_EQ(1u, parentListener.commands.size()) << "the click reached the button's procedure";
  EXPECT_EQ(MAKEWPARAM(1234, BN_CLICKED), parentListener.commands[0]);

  button.Destroy();
  EXPECT_FALSE(IsWindow(handle));
}

TEST(Window, SetClientSizeRepositionAndMove) {
  CWindow window;
  ASSERT_TRUE(window.Create(SmallParams()));
  HWND handle = window.GetHWnd();
  ASSERT_TRUE(window.SetClientSize(400, 300));
  RECT client = ClientRect(handle);
  EXPECT_EQ(400, client.right);
  EXPECT_EQ(300, client.bottom);
  EXPECT_EQ(std::make_pair(400, 300), window.GetClientSize());
  RECT outer = WindowRect(handle);
  EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2, outer.left) << "still centred";

  ASSERT_TRUE(window.Move(5, 7));
  EXPECT_EQ(5, WindowRect(handle).left);
  ASSERT_TRUE(window.Reposition());
  EXPECT_EQ(outer.left, WindowRect(handle).left) << "centred again";
  EXPECT_EQ(outer.top, WindowRect(handle).top);

  // Not centred: the stored position.
  CWindowParams params = SmallParams();
  params.centre = 0;
  params.x = 33;
  params.y = 44;
  CWindow placed;
  ASSERT_TRUE(placed.Create(params));
  EXPECT_EQ(33, WindowRect(placed.GetHWnd()).left);
  placed.Move(100, 100);
  ASSERT_TRUE(placed.Reposition());
  EXPECT_EQ(33, WindowRect(placed.GetHWnd()).left);
  EXPECT_EQ(44, WindowRect(placed.GetHWnd()).top);

  ASSERT_TRUE(placed.SetExStyle(WS_EX_TOOLWINDOW));
  EXPECT_TRUE(ExStyle(placed.GetHWnd()) & WS_EX_TOOLWINDOW);
  ASSERT_TRUE(placed.ApplyExStyle());
  EXPECT_FALSE(ExStyle(placed.GetHWnd()) & WS_EX_TOOLWINDOW);
  ASSERT_TRUE(placed.Hide());
  EXPECT_FALSE(IsWindowVisible(placed.GetHWnd()));
  ASSERT_TRUE(placed.Show());
}

CWindowParams MenuParams() {
  CWindowParams params = SmallParams("WindowTest.Menu");
  params.windowClass.lpszMenuName = MAKEINTRESOURCEA(IDM_TEST_MENU);
  params.style |= WS_MAXIMIZEBOX;
  return params;
}

TEST(Window, FullScreenAndBackRestoresStylePositionAndMenu) {
  FakeDisplay display;
  CWindow window;
  ASSERT_TRUE(window.Create(MenuParams()));
  HWND handle = window.GetHWnd();
  EXPECT_TRUE(window.HasMenu());
  HMENU menu = GetMenu(handle);
  ASSERT_NE(nullptr, menu);
  EXPECT_EQ(menu, window.GetMenuHandle());
  const DWORD style = Style(handle), exStyle = ExStyle(handle);
  const RECT before = WindowRect(handle);
  EXPECT_EQ(200, ClientRect(handle).bottom) << "the menu bar is outside the client size";

  ASSERT_TRUE(window.SetFullScreen(16));
  EXPECT_EQ(16, window.IsFullScreen());
  EXPECT_EQ(0x900A0000u, Style(handle));
  EXPECT_TRUE(ExStyle(handle) & WS_EX_TOPMOST);
  EXPECT_EQ(nullptr, GetMenu(handle));
  RECT full = WindowRect(handle);
  EXPECT_EQ(0, full.left);
  EXPECT_EQ(0, full.top);
  EXPECT_EQ(320, full.right);
  EXPECT_EQ(200, full.bottom);
  auto calls = display.TakeCalls();
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(320u, calls[0].mode.dmPelsWidth);
  EXPECT_EQ(200u, calls[0].mode.dmPelsHeight);
  EXPECT_EQ(16u, calls[0].mode.dmBitsPerPel);
  EXPECT_TRUE(window.IsDisplayChanged());

  ASSERT_TRUE(window.SetFullScreen(0));
  EXPECT_EQ(0, window.IsFullScreen());
  EXPECT_FALSE(window.IsDisplayChanged());
  EXPECT_EQ(style, Style(handle));
  EXPECT_EQ(exStyle, ExStyle(handle));
  EXPECT_EQ(menu, GetMenu(handle));
  RECT after = WindowRect(handle);
  EXPECT_TRUE(EqualRect(&before, &after))
      << after.left << "," << after.top << " " << after.right << "," << after.bottom;
  calls = display.TakeCalls();
  ASSERT_EQ(1u, calls.size());
  EXPECT_FALSE(calls[0].hasMode);

  // Without a changer there is no full screen.
  window.DeleteDisplayChanger();
  EXPECT_FALSE(window.SetFullScreen(16));
  EXPECT_FALSE(window.CanChangeDisplay(16));
  EXPECT_FALSE(window.IsDisplayChanged());
  window.SetDisplayChanger(0);
  ASSERT_NE(nullptr, window.GetDisplayChanger());
  EXPECT_EQ(1, window.GetDisplayChanger()->GetKind());
  window.SetDisplayChanger(1);
  EXPECT_EQ(2, window.GetDisplayChanger()->GetKind());

  window.Destroy();
  EXPECT_FALSE(IsMenu(menu)) << "the menu goes with the window";
}

TEST(Window, ARefusedModeLeavesTheWindowWindowed) {
  FakeDisplay display(DISP_CHANGE_BADMODE);
  CWindow window;
  ASSERT_TRUE(window.Create(MenuParams()));
  HWND handle = window.GetHWnd();
  const DWORD style = Style(handle);
  const RECT before = WindowRect(handle);
  EXPECT_FALSE(window.CanChangeDisplay(16));
  EXPECT_FALSE(window.SetFullScreen(16));
  EXPECT_EQ(0, window.IsFullScreen());
  EXPECT_EQ(style, Style(handle));
  EXPECT_FALSE(ExStyle(handle) & WS_EX_TOPMOST);
  EXPECT_NE(nullptr, GetMenu(handle));
  RECT after = WindowRect(handle);
  EXPECT_TRUE(EqualRect(&before, &after));
  auto calls = display.TakeCalls();
  ASSERT_EQ(4u, calls.size()) << "one test (refused), two tries, then the restore";
  EXPECT_FALSE(calls[3].hasMode);
}

TEST(Window, LeavingFullScreenReportsADisplayThatCouldNotBeRestored) {
  FakeDisplay display;
  CWindow window;
  ASSERT_TRUE(window.Create(MenuParams()));
  HWND handle = window.GetHWnd();
  const DWORD style = Style(handle);
  ASSERT_TRUE(window.SetFullScreen(16));
  display.SetAnswer(DISP_CHANGE_FAILED);
  EXPECT_FALSE(window.SetFullScreen(0));
  EXPECT_EQ(0, window.IsFullScreen());
  EXPECT_EQ(style, Style(handle)) << "windowed again all the same";
  EXPECT_NE(nullptr, GetMenu(handle));
  EXPECT_TRUE(window.IsDisplayChanged());
  display.SetAnswer(DISP_CHANGE_SUCCESSFUL);
  EXPECT_TRUE(window.SetFullScreen(0));
  EXPECT_FALSE(window.IsDisplayChanged());
}

TEST(Window, FocusAnswersWhetherTheWindowHasTheFocus) {
  CWindow window;
  EXPECT_FALSE(window.Focus()) << "no window";
  ASSERT_TRUE(window.Create(CWindowParams()));
  HWND handle = window.GetHWnd();
  // Nothing had the focus before: SetFocus answers null although it worked.
  SetFocus(nullptr);
  ASSERT_EQ(nullptr, GetFocus());
  EXPECT_TRUE(window.Focus());
  EXPECT_EQ(handle, GetFocus());
  EXPECT_TRUE(window.Focus()) << "already focused";
}

TEST(Window, AWindowDestroyedBehindTheObjectsBackIsLetGo) {
  RecordingListener listener;
  CWindow window;
  ASSERT_TRUE(window.Create(SmallParams()));
  HWND handle = window.GetHWnd();
  window.AddListener(&listener);
  DestroyWindow(handle);
  EXPECT_TRUE(listener.Saw(WM_DESTROY));
  listener.seen.clear();
  EXPECT_EQ(nullptr, window.GetHWnd());
  EXPECT_EQ(0, GetWindowLongPtrA(handle, GWLP_USERDATA));
  EXPECT_FALSE(window.Show());
  EXPECT_FALSE(window.Move(1, 1));
  window.Destroy();  // nothing left to destroy
  EXPECT_TRUE(listener.seen.empty()) << "nothing reaches the object after its window is gone";
  ASSERT_TRUE(window.Create(SmallParams())) << "the object can make a new window";
}

TEST(Window, CreationFailuresLeaveTheObjectEmpty) {
  CWindow window;
  CWindowParams params = SmallParams();
  params.style = WS_CHILD | WS_VISIBLE;
  params.parent = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0F0F));  // no such window
  EXPECT_FALSE(window.Create(params));
  EXPECT_EQ(nullptr, window.GetHWnd());
  EXPECT_EQ(0, window.GetParams().width);

  CWindowParams badClass = SmallParams("WindowTest.NoProcedure");
  badClass.windowClass.hInstance = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(0x7FFF0000));  // no module
  badClass.windowClass.cbWndExtra = -5;  // refused by the registration
  EXPECT_FALSE(window.Create(badClass));
  EXPECT_EQ(nullptr, window.GetHWnd());
}

}  // namespace
