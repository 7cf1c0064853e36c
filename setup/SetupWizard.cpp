#include "setup/SetupWizard.h"

#include "foundation/MessageBox.h"
#include "setup/SetupDialogs.h"

CSetupWizard::~CSetupWizard() {
  window_.RemoveListener(this);
  window_.Destroy();
}

LRESULT CSetupWizard::handle(HWND, UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) {
    int answer = ShowMessageBox(GetHWnd(), kCancelQuestion, "確認", MB_YESNO | MB_ICONINFORMATION);
    return answer == IDYES ? 0 : 1;
  }
  return 0;
}
