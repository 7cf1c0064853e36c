#pragma once
// The setup wizard object. The setup flow builds it and hands its window handle to the install job and to
// the final message box, but never creates its window, so the handle stays null.
//
// It does not own a window object or its two pictures (data\v_006_000.bmp, data\v_006_001.bmp) yet, so it
// has nothing to paint; of the window's messages it handles the close request.

#include <windows.h>

class CSetupWizard {
 public:
  CSetupWizard() = default;
  virtual ~CSetupWizard() = default;
  CSetupWizard(const CSetupWizard&) = delete;
  CSetupWizard& operator=(const CSetupWizard&) = delete;

  // Messages of the wizard's window, seen before the default handling; non-zero means handled.
  // A close request is confirmed with the user: Yes lets it through (0), No consumes it (1).
  virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND GetHWnd() const { return window_; }

 private:
  HWND window_ = nullptr;
};
