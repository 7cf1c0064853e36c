#pragma once
// The framework's window object. CWindow wraps one top-level window: it registers the window class when
// needed, creates the window from a CWindowParams record, hands every message first to its own handler
// (OnMessage), then to its listeners in the order they were added, then to the default processing, and
// offers style, size, position, focus, menu and full-screen operations. A window object can also take
// over a control of a system class (BUTTON, COMBOBOX, EDIT, LISTBOX, MDICLIENT, SCROLLBAR, STATIC): the
// control is created from the record and subclassed, and what the object does not handle goes on to the
// control's own procedure.
//
// The object is found from the window's user-data slot, which is set right after CreateWindowEx
// returns (earlier messages get the default processing) and cleared when the window is gone, so no
// message reaches the object after its window has been destroyed, whoever destroyed it.
//
// Operations on an object without a window answer false, null or 0 and do nothing.

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/ChangeDisplay.h"
#include "foundation/CriticalSection.h"

// winuser.h still maps the 16-bit IsMinimized name to IsIconic; the window's member of that name needs it
// gone.
#undef IsMinimized

// What a window is made from. A new record holds the defaults: class "Application" (arrow cursor,
// Windows-logo icon, black background), title "Application", a visible popup with caption, system menu
// and minimise box, 800 x 600 client area centred on the screen, frame added to the client size, no
// focus on creation, no menu. The class and menu names are not copied: they must outlive the window
// (literals or resource ids).
class CWindowParams {
 public:
  CWindowParams();
  virtual ~CWindowParams() = default;

  // Zeroes the class record, empties the title and zeroes every other field.
  void Reset();

  WNDCLASSEXA windowClass;
  std::string title;
  DWORD style;
  DWORD exStyle;
  int x;
  int y;
  int width;  // client size when adjustForFrame is set, else outer size
  int height;
  HWND parent;
  BYTE centre;
  BYTE adjustForFrame;
  BYTE focusOnCreate;
  UINT_PTR menuOrId;  // a menu handle, or a control's id for a subclassed control
};

// An object that sees a window's messages before the default processing; a non-zero result means
// handled and is what the window procedure returns.
class CWindowListener {
 public:
  virtual LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual ~CWindowListener() = default;
};

// Keeps IME input off in a window: associates the null input context while it lives and puts the
// previous context back when it goes.
class CImeGuard {
 public:
  explicit CImeGuard(HWND window);
  ~CImeGuard();
  CImeGuard(const CImeGuard&) = delete;
  CImeGuard& operator=(const CImeGuard&) = delete;

  HWND GetWindow() const { return window_; }

 private:
  HWND window_;
  HIMC previous_;
};

class CWindow {
 public:
  CWindow();
  CWindow(const CWindow&) = delete;
  CWindow& operator=(const CWindow&) = delete;

  // Destroys any window of the object, then creates one from `params`; false (and no window) when the
  // class cannot be registered or the window cannot be created. Under the object's lock.
  virtual bool Create(const CWindowParams& params);
  // Leaves full screen, destroys the window and its menu and forgets the parameters. Under the lock.
  virtual void Destroy();
  virtual bool Show();
  virtual bool Hide();
  // Sets the style or extended style and lets the frame follow.
  virtual bool SetStyle(DWORD style);
  virtual bool SetExStyle(DWORD exStyle);
  virtual bool Move(int x, int y);
  // Resizes the window so that its client area is width x height (re-centred when the parameters say
  // so); the new size is kept on success.
  virtual bool SetClientSize(int width, int height);
  virtual bool ApplyStyle();
  virtual bool ApplyExStyle();
  // Centres the window on the screen when the parameters say so, else moves it to their position.
  virtual bool Reposition();
  virtual bool ApplyClientSize();
  virtual HWND GetHWnd();
  // The client size kept in the parameters.
  virtual std::pair<int, int> GetClientSize();
  // The active window and not minimised.
  virtual bool IsActive();
  virtual bool IsMinimized();
  // Whether the parameters name a menu.
  virtual bool HasMenu();
  // Gives the window the keyboard focus; true when it has it afterwards.
  virtual bool Focus();
  virtual CImeGuard* GetImeGuard();
  virtual void AddListener(CWindowListener* listener);
  // Removes the first entry of `listener`; nothing when it is not listed.
  virtual void RemoveListener(CWindowListener* listener);
  // OnMessage, then the listeners, then (when allowed) the default processing.
  virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // depth != 0: full screen at the client size and that depth; 0: back to the window as created.
  // False without a display changer, when the changer refuses the mode (the window stays windowed), and
  // when leaving cannot restore the display (the window is windowed again all the same).
  virtual bool SetFullScreen(int depth);
  // Whether the changer has both 640 x 480 and 800 x 600 at `depth`.
  virtual bool CanChangeDisplay(int depth);
  virtual bool IsDisplayChanged();
  // The full-screen depth, 0 when windowed.
  virtual int IsFullScreen();
  virtual ~CWindow();
  // The object's own handler, first to see every message; 0 passes it on.
  virtual LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Kind 1: a CChangeDisplayDDraw; any other: a CChangeDisplayWin32API.
  virtual void SetDisplayChanger(int kind);
  virtual void DeleteDisplayChanger();

  // The framework's window procedure: class procedure of own-class windows and subclass procedure of
  // controls.
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // The parameters the window was made with (the position computed by centring included).
  const CWindowParams& GetParams() const { return params_; }
  CChangeDisplay* GetDisplayChanger() { return changer_.get(); }
  HMENU GetMenuHandle() const { return menu_; }
  // Whether the window is a subclassed system control.
  bool IsControl() const { return previousProc_ != nullptr; }

  // Whether the class name is one of the seven system classes a window object subclasses.
  static bool IsSystemClass(const char* className);

 protected:
  // Whether a message the handlers passed on goes to the default processing; always in CWindow.
  virtual bool IsDefaultAllowed(UINT message, WPARAM wParam, LPARAM lParam);
  // The two halves of SetFullScreen; `insertAfter` is where the full-screen window goes in the z-order.
  bool EnterFullScreen(int depth, HWND insertAfter);
  bool LeaveFullScreen();
  // Called from the window procedure when WM_NCDESTROY has been handled: the window is gone.
  virtual void OnWindowGone();
  // The instance handle windows and classes are made with: the application's, else the program's.
  static HINSTANCE GetInstance();

  HWND window_ = nullptr;
  HMENU menu_ = nullptr;
  CWindowParams params_;
  std::unique_ptr<CImeGuard> imeGuard_;
  WNDPROC previousProc_ = nullptr;
  std::unique_ptr<CChangeDisplay> changer_;
  int fullScreenDepth_ = 0;
  CCriticalSection lock_;

 private:
  // Listeners in the order they were added. A listener removed while the list is walked is nulled and
  // dropped after the walk, so a handler may add or remove listeners without upsetting the walk.
  std::vector<CWindowListener*> listeners_;
  int walkDepth_ = 0;
  bool hasRemoved_ = false;
  CCriticalSection listenerLock_;
};
