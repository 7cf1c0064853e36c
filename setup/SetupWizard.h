#pragma once
// The setup wizard object: a framework window object (made with the default window parameters) and the
// listener of that window's messages. The setup flow builds it and hands its window handle to the
// install job and to the final message box, but never creates its window, so the handle stays null.
// Construction does not add the wizard to its window's listeners; destruction removes it, which is
// harmless when it was never added.
//
// Of the window's messages it handles the close request (confirmed with the user). The two pictures
// (data\v_006_000.bmp, data\v_006_001.bmp) and the background it paints from come with the surfaces.

#include <windows.h>

#include "app/Window.h"

class CSetupWizard : public CWindowListener {
 public:
  CSetupWizard() = default;
  ~CSetupWizard() override;
  CSetupWizard(const CSetupWizard&) = delete;
  CSetupWizard& operator=(const CSetupWizard&) = delete;

  // Messages of the wizard's window, seen before the default handling; non-zero means handled.
  // A close request is confirmed with the user: Yes lets it through (0), No consumes it (1).
  LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return handle(window, message, wParam, lParam);
  }

  HWND GetHWnd() { return window_.GetHWnd(); }
  CWindow& GetWindow() { return window_; }

 private:
  CWindow window_;
};
