#include "setup/SetupWizard.h"

#include "foundation/MessageBox.h"
#include "setup/SetupDialogs.h"

LRESULT CSetupWizard::HandleMessage(HWND, UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) {
    int answer = ShowMessageBox(GetHWnd(), kCancelQuestion, "確認", MB_YESNO | MB_ICONINFORMATION);
    return answer == IDYES ? 0 : 1;
  }
  return 0;
}
