#include "setup/SetupWizard.h"

#include "foundation/MessageBox.h"
#include "setup/SetupDialogs.h"

const char* const CSetupWizard::kPicture0 = "data\\v_006_000.bmp";
const char* const CSetupWizard::kPicture1 = "data\\v_006_001.bmp";

CSetupWizard::CSetupWizard() {
  picture0_.SetOwnerWindow(GetHWnd());
  picture0_.Load(kPicture0, 0, 0);
  picture1_.Load(kPicture1, 0, 0);
  picture1_.SetAlphaEnable(true);
}

CSetupWizard::~CSetupWizard() {
  background_.Release();
  window_.RemoveListener(this);
  window_.Destroy();
}

LRESULT CSetupWizard::handle(HWND window, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC target = BeginPaint(window, &paint);
      HDC source = background_.GetDC();
      // An empty background has no device context: the paint is then only validated.
      if (target && source) {
        BitBlt(target, paint.rcPaint.left, paint.rcPaint.top, paint.rcPaint.right - paint.rcPaint.left,
               paint.rcPaint.bottom - paint.rcPaint.top, source, paint.rcPaint.left, paint.rcPaint.top, SRCCOPY);
      }
      background_.ReleaseDC();
      EndPaint(window, &paint);
      return 1;
    }
    case WM_CLOSE: {
      int answer = ShowMessageBox(GetHWnd(), kCancelQuestion, "確認", MB_YESNO | MB_ICONINFORMATION);
      return answer == IDYES ? 0 : 1;
    }
    default: return 0;
  }
}
