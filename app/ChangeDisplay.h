#pragma once
// Display changers: switch the screen to a resolution and depth for a full-screen window and put it back.
// CChangeDisplayWin32API goes through ChangeDisplaySettingsA; CChangeDisplayDDraw would use the window's
// DirectDraw device, but this program keeps no DirectDraw device registry, so it always works through
// its embedded Win32 changer (and says so in the log when it is made).
//
// The settings call goes through a replaceable function so that tests can answer it where the display
// cannot change modes (Xvfb).

#include <windows.h>

// What a window needs of a changer.
class CChangeDisplay {
 public:
  virtual bool ChangeDisplay(int width, int height, int depth) = 0;
  virtual bool IsModeAvailable(int width, int height, int depth) = 0;
  // Restores the display mode of the registry; true when nothing needed restoring.
  virtual bool Reset() = 0;
  virtual bool IsChanged() = 0;
  // 1 for CChangeDisplayWin32API, 2 for CChangeDisplayDDraw.
  virtual int GetKind() = 0;
  virtual ~CChangeDisplay() = default;
};

class CChangeDisplayWin32API : public CChangeDisplay {
 public:
  CChangeDisplayWin32API() = default;
  // Restores the display when it is still changed.
  ~CChangeDisplayWin32API() override;
  CChangeDisplayWin32API(const CChangeDisplayWin32API&) = delete;
  CChangeDisplayWin32API& operator=(const CChangeDisplayWin32API&) = delete;

  // Depth 0 is Reset. Otherwise marks the display changed (even when the change fails, so that the next
  // Reset restores it), then asks for the mode in full-screen form: on NT first with the current refresh
  // rate, then without one. Waits 100 ms before and 200 ms after a change.
  bool ChangeDisplay(int width, int height, int depth) override;
  // Tests the mode without changing anything; depth 15 is asked as 16, depth 0 is always available.
  bool IsModeAvailable(int width, int height, int depth) override;
  bool Reset() override;
  bool IsChanged() override { return changed_ != 0; }
  int GetKind() override { return 1; }

 private:
  BYTE changed_ = 0;
};

class CChangeDisplayDDraw : public CChangeDisplay {
 public:
  // Takes the window of the application running on the calling thread and looks up its DirectDraw
  // device; without one every change goes through the embedded Win32 changer.
  CChangeDisplayDDraw();
  ~CChangeDisplayDDraw() override = default;
  CChangeDisplayDDraw(const CChangeDisplayDDraw&) = delete;
  CChangeDisplayDDraw& operator=(const CChangeDisplayDDraw&) = delete;

  bool ChangeDisplay(int width, int height, int depth) override { return win32_.ChangeDisplay(width, height, depth); }
  bool IsModeAvailable(int width, int height, int depth) override {
    return win32_.IsModeAvailable(width, height, depth);
  }
  bool Reset() override { return win32_.Reset(); }
  bool IsChanged() override { return win32_.IsChanged(); }
  int GetKind() override { return 2; }

  HWND GetServedWindow() const { return window_; }

 private:
  HWND window_ = nullptr;  // the window served; the device it would have is never found
  CChangeDisplayWin32API win32_;
};

// The display-settings call the Win32 changer makes (ChangeDisplaySettingsA's signature).
using ChangeDisplaySettingsFunction = LONG(WINAPI*)(DEVMODEA* mode, DWORD flags);

// Replaces the display-settings call; null puts the platform's back. Returns the previous one.
ChangeDisplaySettingsFunction SetChangeDisplaySettingsFunction(ChangeDisplaySettingsFunction function);
