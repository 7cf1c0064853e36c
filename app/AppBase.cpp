#include "app/AppBase.h"

#include "app/ComCount.h"
#include "app/MessagePump.h"
#include "foundation/DebugPrint.h"

namespace {

// Only one close query runs in the whole process at a time.
std::atomic<bool> g_closeQueryRunning{false};

constexpr DWORD kCreateWaitMs = 10000;
constexpr DWORD kLoopSleepMs = 16;

}  // namespace

// ---------------------------------------------------------------------------------------------------
// CAppWindow

CAppWindow::CAppWindow(CAppBase* application) : application_(application) {}

CAppWindow::~CAppWindow() { Destroy(); }

bool CAppWindow::Create(const CWindowParams& params) {
  firstErasePending_ = true;
  if (!CWindow::Create(params)) return false;
  active_ = true;
  return true;
}

void CAppWindow::Destroy() {
  CCriticalLock lock(&lock_);
  DestroyCover();
  restoreToFullScreen_ = false;
  restoreDepth_ = 0;
  CWindow::Destroy();
}

void CAppWindow::OnWindowGone() {
  DestroyCover();
  CWindow::OnWindowGone();
}

bool CAppWindow::IsActive() { return active_; }

void CAppWindow::OnDisplayDepthChanged(int) {}

bool CAppWindow::IsDefaultAllowed(UINT message, WPARAM wParam, LPARAM) {
  return !(message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_MAXIMIZE);
}

bool CAppWindow::HandleSystemCommand(WPARAM command) {
  switch (command & 0xFFF0) {
    case SC_MINIMIZE:
      if (!IsFullScreen()) return false;
      restoreDepth_ = IsFullScreen();
      restoreToFullScreen_ = true;
      ShowWindow(window_, SW_MINIMIZE);
      SetFullScreen(0);
      ShowWindow(window_, SW_MINIMIZE);
      return true;
    case SC_MAXIMIZE:
      if (IsFullScreen()) return false;
      if (restoreToFullScreen_) {
        restoreToFullScreen_ = false;
        ShowWindow(window_, SW_SHOWMAXIMIZED);
        SetFullScreen(restoreDepth_);
      } else {
        if (IsMinimized()) ShowWindow(window_, SW_SHOWMAXIMIZED);
        HDC screen = GetDC(nullptr);
        const int depth = screen ? GetDeviceCaps(screen, BITSPIXEL) : 0;
        if (screen) ReleaseDC(nullptr, screen);
        if (depth) SetFullScreen(depth);
      }
      return true;
    case SC_RESTORE:
      if (IsFullScreen() && !IsMinimized()) {
        Hide();
        SetFullScreen(0);
        return true;
      }
      if (!IsFullScreen() && restoreToFullScreen_) {
        restoreToFullScreen_ = false;
        ShowWindow(window_, SW_SHOWMAXIMIZED);
        SetFullScreen(restoreDepth_);
        return true;
      }
      return false;
    default: return false;
  }
}

LRESULT CAppWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (cover_ && window == cover_) return HandleCoverMessage(window, message, wParam, lParam);
  switch (message) {
    case WM_ACTIVATE:
      // Kept, then passed on: the default processing is what gives the window the keyboard focus.
      active_ = LOWORD(wParam) != WA_INACTIVE;
      break;
    case WM_ERASEBKGND:
      if (firstErasePending_) {
        firstErasePending_ = false;
        return 1;
      }
      break;
    case WM_ACTIVATEAPP:
      if (!IsActive() && IsFullScreen() && GetDisplayChanger() && GetDisplayChanger()->GetKind() == 1) SetFullScreen(0);
      return 0;
    case WM_SYSCOMMAND:
      if (HandleSystemCommand(wParam)) return 0;
      break;
    case WM_MOUSEMOVE:
      if (IsFullScreen()) {
        const int y = static_cast<short>(HIWORD(lParam));  // signed, as GET_Y_LPARAM
        if (!coverShown_) {
          if (y == 0) ShowCover();
        } else if (y >= coverHeight_) {
          DestroyCover();
          SetActiveWindow(window_);
          BringWindowToTop(window_);
        }
      }
      break;
    default: break;
  }
  return CWindow::HandleMessage(window, message, wParam, lParam);
}

LRESULT CAppWindow::HandleCoverMessage(HWND cover, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE: coverActive_ = LOWORD(wParam) != WA_INACTIVE; return 0;
    case WM_CLOSE:
    case WM_COMMAND:
    case WM_SYSCOMMAND:
      if (window_) SendMessageA(window_, message, wParam, lParam);
      return 0;
    case WM_ERASEBKGND: return 1;
    case WM_NCDESTROY:
      // Destroyed by the system with its owner, the cover would take the main window's menu with it.
      if (menu_ && GetMenu(cover) == menu_) SetMenu(cover, nullptr);
      SetWindowLongPtrA(cover, GWLP_USERDATA, 0);
      cover_ = nullptr;
      coverShown_ = false;
      coverActive_ = false;
      return DefWindowProcA(cover, message, wParam, lParam);
    default: return DefWindowProcA(cover, message, wParam, lParam);
  }
}

void CAppWindow::ShowCover() {
  if (!window_ || cover_) return;
  const DWORD style = (params_.style & ~WS_VISIBLE) | WS_MAXIMIZE;
  RECT frame = {0, 0, 0, 0};
  AdjustWindowRectEx(&frame, style, TRUE, WS_EX_TOPMOST);
  coverWidth_ = params_.width;
  coverHeight_ = frame.bottom - frame.top;
  cover_ = CreateWindowExA(WS_EX_TOPMOST, params_.windowClass.lpszClassName, params_.title.c_str(), style, 0, 0,
                           coverWidth_, coverHeight_, window_, nullptr, params_.windowClass.hInstance, nullptr);
  if (!cover_) {
    coverWidth_ = coverHeight_ = 0;
    coverShown_ = coverActive_ = false;
    return;
  }
  if (HMENU system = GetSystemMenu(cover_, FALSE)) DeleteMenu(system, SC_MOVE, MF_BYCOMMAND);
  if (menu_) SetMenu(cover_, menu_);
  SetWindowLongPtrA(cover_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  // A maximised style would make Windows size the window to the screen: keep the strip at the top.
  SetWindowPos(cover_, HWND_TOPMOST, 0, 0, coverWidth_, coverHeight_, SWP_SHOWWINDOW | SWP_NOACTIVATE);
  coverShown_ = true;
}

void CAppWindow::DestroyCover() {
  if (!cover_) return;
  HWND cover = cover_;
  // The menu belongs to the main window: take it off first, or it would be destroyed with the cover.
  SetMenu(cover, nullptr);
  DestroyWindow(cover);
  cover_ = nullptr;
  coverShown_ = false;
  coverActive_ = false;
}

bool CAppWindow::SetFullScreen(int depth) {
  if (!GetDisplayChanger()) return false;
  bool result;
  if (depth != 0) {
    result = EnterFullScreen(depth, HWND_TOP);
    if (window_ && IsFullScreen()) BringWindowToTop(window_);
  } else {
    const bool wasFullScreen = IsFullScreen() != 0 || IsDisplayChanged();
    DestroyCover();
    const bool wasMinimized = IsMinimized();
    result = LeaveFullScreen();
    if (window_ && wasFullScreen) {
      ShowWindow(window_, SW_HIDE);
      ShowWindow(window_, SW_SHOWNORMAL);
      if (wasMinimized) ShowWindow(window_, SW_SHOWMINNOACTIVE);
    }
  }
  if (window_) InvalidateRect(window_, nullptr, TRUE);
  OnDisplayDepthChanged(IsFullScreen());
  return result;
}

// ---------------------------------------------------------------------------------------------------
// CAppBase

CAppBase::CAppBase() : thread_(this) {}

CAppBase::~CAppBase() {
  // By now the derived parts are gone: a thread still running here could have called their hooks.
  if (thread_.IsAlive())
    DebugPrint(
        "CAppBase::~CAppBase() アプリケーションのスレッドが動作中です. 派生クラスのデストラクタで停止してください");
  thread_.Stop();
  CCriticalLock lock(&windowLock_);
  window_.reset();
}

void CAppBase::MessageLoop() {
  PumpMessages();
  while (thread_.IsRunning()) {
    // 16 ms between passes, cut short by any message, so that other threads' sends to the window
    // (the debug display gets three per line) are answered at once rather than once per pass.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kLoopSleepMs, QS_ALLINPUT);
    PumpMessages();
  }
}

bool CAppBase::Run() {
  m_CreateWndEvent.Reset();
  if (!thread_.Start()) return false;
  if (m_CreateWndEvent.Wait(kCreateWaitMs) == WAIT_TIMEOUT)
    DebugPrint("CAppBase::Run() m_CreateWndEventがタイムアウトした");
  CCriticalLock lock(&windowLock_);
  return window_ != nullptr;
}

bool CAppBase::RequestClose() {
  HWND window = GetHWnd();
  return window && PostMessageA(window, WM_CLOSE, 0, 0);
}

bool CAppBase::ForceClose() {
  closing_ = true;
  HWND window = GetHWnd();
  return window && PostMessageA(window, WM_CLOSE, 0, 0);
}

bool CAppBase::IsRunning() {
  ::PumpMessages();
  return thread_.IsRunning();
}

void CAppBase::Wait() { thread_.Wait(); }

CWindow* CAppBase::GetWindow() {
  CCriticalLock lock(&windowLock_);
  return window_.get();
}

HWND CAppBase::GetHWnd() {
  CCriticalLock lock(&windowLock_);
  return window_ ? window_->GetHWnd() : nullptr;
}

void CAppBase::OnSetupWindowParams(CWindowParams&) {}
void CAppBase::OnStart() {}
void CAppBase::OnEnd() {}
bool CAppBase::OnCloseQuery() { return true; }

void CAppBase::PumpMessages() { ::PumpMessages(); }

void CAppBase::CreateWindowObject() {
  std::unique_ptr<CAppWindow> window(new CAppWindow(this));
  window->AddListener(this);
  CCriticalLock lock(&windowLock_);
  window_ = std::move(window);
}

void CAppBase::DestroyWindowObject() {
  std::unique_ptr<CAppWindow> window;
  {
    CCriticalLock lock(&windowLock_);
    window = std::move(window_);
  }
}

void CAppBase::CloseNow() {
  if (CWindow* window = GetWindow()) window->Destroy();
  thread_.RequestStop();
}

LRESULT CAppBase::handle(HWND, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_DESTROY:
      if (quitOnDestroy_) PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      if (destroyOnClose_) {
        CloseNow();
      } else {
        CCriticalLock lock(&closeLock_);
        bool expected = false;
        if (g_closeQueryRunning.compare_exchange_strong(expected, true)) {
          const bool agreed = OnCloseQuery();
          g_closeQueryRunning = false;
          if (agreed) CloseNow();
        }
      }
      return 1;
    default: return 0;
  }
}

void CAppBase::ThreadProc() {
  const bool com = ComEnter();
  CreateWindowObject();
  closing_ = false;
  CAppManager::Register(this, this);

  CWindowParams params;
  OnSetupWindowParams(params);
  CWindow* window = GetWindow();
  if (!window || !window->Create(params)) {
    DestroyWindowObject();
    DebugPrint("CAppBase::ThreadProc() ウィンドウ作成に失敗しました");
    CAppManager::Unregister(this);
    m_CreateWndEvent.Set();
    if (com) ComLeave();
    return;
  }
  BringWindowToTop(window->GetHWnd());
  m_CreateWndEvent.Set();
  OnStart();
  MessageLoop();
  OnEnd();
  HWND handle = window->GetHWnd();
  window->Destroy();
  if (handle) PostMessageA(handle, WM_DESTROY, 0, 0);
  PumpMessages();
  if (com) ComLeave();
  if (stopAllAtExit_) GetThreadRegistry()->StopAll();
  CAppManager::Unregister(this);
}
