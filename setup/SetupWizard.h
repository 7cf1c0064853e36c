#pragma once
// The setup wizard object: a framework window object (made with the default window parameters), the
// listener of that window's messages, and four surfaces: the background it paints from, the two pictures
// of the disc and a spare. The setup flow builds it and hands its window handle to the install job and
// to the final message box, but never creates its window, so the handle stays null.
//
// Construction loads "data\v_006_000.bmp" and "data\v_006_001.bmp" (relative to the current directory,
// the disc's root in the flow) through the file front, so each may be a loose file, a single-file pack
// or a member of a pack archive; a picture that is missing or unusable leaves its surface empty and the
// wizard works on. Construction does not add the wizard to its window's listeners; destruction removes
// it, which is harmless when it was never added.

#include <windows.h>

#include "app/Window.h"
#include "image/Surface.h"

class CSetupWizard : public CWindowListener {
 public:
  // In this order: the window object and the surfaces; picture 0 gets the wizard's window as its owner;
  // picture 0 and picture 1 are loaded at the screen's depth into memory surfaces; picture 1's alpha is
  // switched on. The loads' results are not needed.
  CSetupWizard();
  // Releases the background, leaves the window's listeners and destroys the window.
  ~CSetupWizard() override;
  CSetupWizard(const CSetupWizard&) = delete;
  CSetupWizard& operator=(const CSetupWizard&) = delete;

  // Messages of the wizard's window, seen before the default handling; non-zero means handled.
  // WM_PAINT copies the paint rectangle from the background surface (1). A close request is confirmed
  // with the user: Yes lets it through (0), No consumes it (1).
  LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return handle(window, message, wParam, lParam);
  }

  HWND GetHWnd() { return window_.GetHWnd(); }
  CWindow& GetWindow() { return window_; }
  CSurface& GetBackground() { return background_; }
  CSurface& GetPicture0() { return picture0_; }
  CSurface& GetPicture1() { return picture1_; }

  static const char* const kPicture0;  // "data\\v_006_000.bmp"
  static const char* const kPicture1;  // "data\\v_006_001.bmp"

 private:
  CWindow window_;
  CSurface background_;
  CSurface picture1_;
  CSurface spare_;
  CSurface picture0_;
};
