#include "app/Window.h"

#include <imm.h>

#include <cstring>

#include "app/Application.h"

namespace {

constexpr DWORD kFullScreenStyle = WS_POPUP | WS_VISIBLE | WS_SYSMENU | WS_MINIMIZEBOX;  // 0x900A0000

const char* const kSystemClasses[] = {"BUTTON", "COMBOBOX", "EDIT", "LISTBOX", "MDICLIENT", "SCROLLBAR", "STATIC"};

// A class name given as an atom (MAKEINTATOM) is no text.
bool IsTextName(const char* name) { return name && !IS_INTRESOURCE(name); }

// Where a window of the given outer size stands centred on the screen.
POINT CentredOnScreen(int outerWidth, int outerHeight) {
  return {(GetSystemMetrics(SM_CXSCREEN) - outerWidth) / 2, (GetSystemMetrics(SM_CYSCREEN) - outerHeight) / 2};
}

// Makes the system redraw the frame after a style change; false when that fails.
bool RefreshFrame(HWND window) {
  return SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE) != 0;
}

}  // namespace

CWindowParams::CWindowParams() {
  Reset();
  windowClass.cbSize = sizeof windowClass;
  windowClass.hInstance = CApplication::GetInstanceHandle();
  windowClass.hIcon = LoadIconA(nullptr, IDI_WINLOGO);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = "Application";  // lpfnWndProc stays null: Create sets it
  title = "Application";
  style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // 0x90CA0000
  width = 800;
  height = 600;
  centre = 1;
  adjustForFrame = 1;
}

void CWindowParams::Reset() {
  windowClass = {};
  title.clear();
  style = 0;
  exStyle = 0;
  x = 0;
  y = 0;
  width = 0;
  height = 0;
  parent = nullptr;
  centre = 0;
  adjustForFrame = 0;
  focusOnCreate = 0;
  menuOrId = 0;
}

CImeGuard::CImeGuard(HWND window) : window_(window), previous_(ImmAssociateContext(window, nullptr)) {}

CImeGuard::~CImeGuard() {
  if (IsWindow(window_)) ImmAssociateContext(window_, previous_);
}

CWindow::CWindow() : changer_(new CChangeDisplayWin32API()) {}

CWindow::~CWindow() {
  Destroy();
  DeleteDisplayChanger();
}

HINSTANCE CWindow::GetInstance() {
  HINSTANCE instance = CApplication::GetInstanceHandle();
  return instance ? instance : GetModuleHandleA(nullptr);
}

bool CWindow::IsSystemClass(const char* className) {
  if (!IsTextName(className)) return false;
  for (const char* name : kSystemClasses)
    if (std::strcmp(className, name) == 0) return true;
  return false;
}

bool CWindow::Create(const CWindowParams& requested) {
  CCriticalLock lock(&lock_);
  Destroy();
  CWindowParams params = requested;
  params.windowClass.lpfnWndProc = &CWindow::WindowProc;
  if (!params.windowClass.hInstance) params.windowClass.hInstance = GetInstance();
  const bool namesMenu = params.windowClass.lpszMenuName != nullptr;

  RECT frame = {0, 0, params.width, params.height};
  if (params.adjustForFrame) AdjustWindowRectEx(&frame, params.style, namesMenu, params.exStyle);
  const int outerWidth = frame.right - frame.left;
  const int outerHeight = frame.bottom - frame.top;
  if (params.centre) {
    const POINT origin = CentredOnScreen(outerWidth, outerHeight);
    params.x = origin.x;
    params.y = origin.y;
  }

  const bool control = IsSystemClass(params.windowClass.lpszClassName);
  if (!control) {
    WNDCLASSEXA existing = {};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExA(params.windowClass.hInstance, params.windowClass.lpszClassName, &existing)) {
      WNDCLASSEXA registration = params.windowClass;
      registration.lpszMenuName = nullptr;  // the menu is loaded and set per window
      if (!RegisterClassExA(&registration)) {
        Destroy();
        return false;
      }
    }
  }

  HWND window = CreateWindowExA(params.exStyle, params.windowClass.lpszClassName, params.title.c_str(),
                                params.style & ~WS_VISIBLE, params.x, params.y, outerWidth, outerHeight, params.parent,
                                control ? reinterpret_cast<HMENU>(params.menuOrId) : nullptr,
                                params.windowClass.hInstance, nullptr);
  if (!window) {
    Destroy();
    return false;
  }
  window_ = window;
  params_ = params;

  if (!control && namesMenu) {
    menu_ = LoadMenuA(params_.windowClass.hInstance, params_.windowClass.lpszMenuName);
    if (menu_)
      SetMenu(window_, menu_);
    else
      params_.windowClass.lpszMenuName = nullptr;
  }
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  if (params_.focusOnCreate) Focus();
  imeGuard_.reset(new CImeGuard(window_));
  if (control) {
    previousProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWindow::WindowProc)));
  } else {
    previousProc_ = nullptr;
  }
  if (params_.style & WS_VISIBLE) {
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    BringWindowToTop(window_);
  }
  return true;
}

void CWindow::Destroy() {
  CCriticalLock lock(&lock_);
  SetFullScreen(0);
  if (window_) {
    imeGuard_.reset();
    if (HasMenu()) SetMenu(window_, nullptr);
    HWND window = window_;
    DestroyWindow(window);  // WM_NCDESTROY forgets the handle and the subclass through OnWindowGone
    if (window_ == window) OnWindowGone();
  }
  if (menu_) DestroyMenu(menu_);
  window_ = nullptr;
  menu_ = nullptr;
  previousProc_ = nullptr;
  fullScreenDepth_ = 0;
  params_.Reset();
}

void CWindow::OnWindowGone() {
  if (!window_) return;
  SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
  if (previousProc_) SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc_));
  imeGuard_.reset();
  // A menu still set on the window went with it.
  if (menu_ && GetMenu(window_) == menu_) menu_ = nullptr;
  window_ = nullptr;
  previousProc_ = nullptr;
}

// ShowWindow answers whether the window was visible before, which says nothing about success.
bool CWindow::Show() {
  if (!window_) return false;
  ShowWindow(window_, SW_SHOW);
  return true;
}

bool CWindow::Hide() {
  if (!window_) return false;
  ShowWindow(window_, SW_HIDE);
  return true;
}

bool CWindow::SetStyle(DWORD style) {
  if (!window_) return false;
  SetWindowLongPtrA(window_, GWL_STYLE, static_cast<LONG_PTR>(style));
  return RefreshFrame(window_);
}

bool CWindow::SetExStyle(DWORD exStyle) {
  if (!window_) return false;
  SetWindowLongPtrA(window_, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
  return RefreshFrame(window_);
}

bool CWindow::Move(int x, int y) { return window_ && SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE) != 0; }

bool CWindow::SetClientSize(int width, int height) {
  if (!window_) return false;
  RECT frame = {0, 0, width, height};
  const BOOL menu = params_.windowClass.lpszMenuName && !IsControl() && GetMenu(window_) != nullptr;
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(window_, GWL_STYLE)), menu,
                     static_cast<DWORD>(GetWindowLongPtrA(window_, GWL_EXSTYLE)));
  const int outerWidth = frame.right - frame.left;
  const int outerHeight = frame.bottom - frame.top;
  if (params_.centre) {
    const POINT origin = CentredOnScreen(outerWidth, outerHeight);
    params_.x = origin.x;
    params_.y = origin.y;
  }
  if (!SetWindowPos(window_, nullptr, params_.x, params_.y, outerWidth, outerHeight, SWP_NOZORDER)) return false;
  params_.width = width;
  params_.height = height;
  return true;
}

bool CWindow::ApplyStyle() { return SetStyle(params_.style); }

bool CWindow::ApplyExStyle() { return SetExStyle(params_.exStyle); }

bool CWindow::Reposition() {
  if (!window_) return false;
  if (!params_.centre) return Move(params_.x, params_.y);
  RECT rect;
  if (!GetWindowRect(window_, &rect)) return false;
  const POINT origin = CentredOnScreen(rect.right - rect.left, rect.bottom - rect.top);
  return Move(origin.x, origin.y);
}

bool CWindow::ApplyClientSize() { return SetClientSize(params_.width, params_.height); }

HWND CWindow::GetHWnd() { return window_; }

std::pair<int, int> CWindow::GetClientSize() { return {params_.width, params_.height}; }

bool CWindow::IsActive() { return window_ && GetActiveWindow() == window_ && !IsIconic(window_); }

bool CWindow::IsMinimized() { return window_ && IsIconic(window_); }

bool CWindow::HasMenu() { return params_.windowClass.lpszMenuName != nullptr; }

// SetFocus answers the window that had the focus before (null when none had), not whether it worked.
bool CWindow::Focus() {
  if (!window_) return false;
  SetFocus(window_);
  return GetFocus() == window_;
}

CImeGuard* CWindow::GetImeGuard() { return imeGuard_.get(); }

void CWindow::AddListener(CWindowListener* listener) {
  if (!listener) return;
  CCriticalLock lock(&listenerLock_);
  listeners_.push_back(listener);
}

void CWindow::RemoveListener(CWindowListener* listener) {
  CCriticalLock lock(&listenerLock_);
  for (size_t i = 0; i < listeners_.size(); ++i) {
    if (listeners_[i] != listener) continue;
    if (walkDepth_ > 0) {
      listeners_[i] = nullptr;
      hasRemoved_ = true;
    } else {
      listeners_.erase(listeners_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return;
  }
}

LRESULT CWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (LRESULT result = OnMessage(window, message, wParam, lParam)) return result;
  {
    CCriticalLock lock(&listenerLock_);
    ++walkDepth_;
    LRESULT result = 0;
    // By index: a handler may add listeners (the vector may move) or remove them (they are nulled).
    for (size_t i = 0; i < listeners_.size() && result == 0; ++i) {
      if (CWindowListener* listener = listeners_[i]) result = listener->handle(window, message, wParam, lParam);
    }
    if (--walkDepth_ == 0 && hasRemoved_) {
      std::vector<CWindowListener*> kept;
      for (CWindowListener* listener : listeners_)
        if (listener) kept.push_back(listener);
      listeners_.swap(kept);
      hasRemoved_ = false;
    }
    if (result) return result;
  }
  if (!IsDefaultAllowed(message, wParam, lParam)) return 0;
  if (previousProc_ && window == window_) return CallWindowProcA(previousProc_, window, message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

bool CWindow::IsDefaultAllowed(UINT, WPARAM, LPARAM) { return true; }

LRESULT CWindow::OnMessage(HWND, UINT, WPARAM, LPARAM) { return 0; }

LRESULT CALLBACK CWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CWindow* self = reinterpret_cast<CWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!self) return DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_NCDESTROY && window == self->window_) {
    // The last message of the window: the subclassed control still needs it, then the object lets go.
    WNDPROC previous = self->previousProc_;
    LRESULT result = previous ? CallWindowProcA(previous, window, message, wParam, lParam)
                              : DefWindowProcA(window, message, wParam, lParam);
    self->OnWindowGone();
    return result;
  }
  return self->HandleMessage(window, message, wParam, lParam);
}

bool CWindow::EnterFullScreen(int depth, HWND insertAfter) {
  fullScreenDepth_ = depth;
  if (window_) {
    SetMenu(window_, nullptr);
    SetWindowLongPtrA(window_, GWL_STYLE, static_cast<LONG_PTR>(kFullScreenStyle));
    SetWindowLongPtrA(window_, GWL_EXSTYLE, 0);
    SetWindowPos(window_, insertAfter, 0, 0, params_.width, params_.height, SWP_FRAMECHANGED);
  }
  if (!changer_->ChangeDisplay(params_.width, params_.height, depth)) {
    LeaveFullScreen();
    return false;
  }
  return true;
}

bool CWindow::LeaveFullScreen() {
  const bool changed = changer_->IsChanged();
  const bool wasFullScreen = fullScreenDepth_ != 0;
  fullScreenDepth_ = 0;
  // A display that could not be put back stays marked changed, so that a later Reset tries again.
  const bool restored = changed ? changer_->Reset() : true;
  // The window is put back whenever it was made full screen, even when the changer never marked the
  // display changed, so that a refused mode does not leave a borderless topmost window behind.
  if ((changed || wasFullScreen) && window_) {
    if (menu_) SetMenu(window_, menu_);
    RECT frame = {0, 0, params_.width, params_.height};
    AdjustWindowRectEx(&frame, params_.style, menu_ != nullptr, params_.exStyle);
    const int outerWidth = frame.right - frame.left;
    const int outerHeight = frame.bottom - frame.top;
    const POINT origin = params_.centre ? CentredOnScreen(outerWidth, outerHeight) : POINT{params_.x, params_.y};
    SetWindowLongPtrA(window_, GWL_STYLE, static_cast<LONG_PTR>(params_.style));
    SetWindowLongPtrA(window_, GWL_EXSTYLE, static_cast<LONG_PTR>(params_.exStyle));
    SetWindowPos(window_, HWND_NOTOPMOST, origin.x, origin.y, outerWidth, outerHeight, SWP_FRAMECHANGED);
  }
  return restored;
}

bool CWindow::SetFullScreen(int depth) {
  if (!changer_) return false;
  return depth != 0 ? EnterFullScreen(depth, HWND_TOPMOST) : LeaveFullScreen();
}

bool CWindow::CanChangeDisplay(int depth) {
  return changer_ && changer_->IsModeAvailable(640, 480, depth) && changer_->IsModeAvailable(800, 600, depth);
}

bool CWindow::IsDisplayChanged() { return changer_ && changer_->IsChanged(); }

int CWindow::IsFullScreen() { return fullScreenDepth_; }

void CWindow::SetDisplayChanger(int kind) {
  changer_.reset();
  if (kind == 1)
    changer_.reset(new CChangeDisplayDDraw());
  else
    changer_.reset(new CChangeDisplayWin32API());
}

void CWindow::DeleteDisplayChanger() { changer_.reset(); }
