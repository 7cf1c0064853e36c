#include "setup/SetupDialogs.h"

#include <commctrl.h>
#include <prsht.h>

#include "foundation/MessageBox.h"
#include "setup/resource.h"

const char* const kCancelQuestion = "セットアップをキャンセルしますか？";

namespace {

void SetMessageResult(HWND page, LONG_PTR result) { SetWindowLongPtrA(page, DWLP_MSGRESULT, result); }

// Yes lets the sheet close (result FALSE); No refuses the cancel (result TRUE).
void ConfirmCancel(HWND page) {
  int answer = ShowMessageBox(page, kCancelQuestion, "中断確認", MB_YESNO | MB_ICONINFORMATION);
  SetMessageResult(page, answer == IDYES ? FALSE : TRUE);
}

// A page becoming active shows its wizard buttons on the sheet and accepts the activation.
void ActivatePage(HWND page, HWND sheet, DWORD buttons) {
  PostMessageA(sheet, PSM_SETWIZBUTTONS, 0, buttons);
  SetMessageResult(page, 0);
}

}  // namespace

void CentreSheetOnScreen(HWND sheet) {
  RECT rect;
  GetWindowRect(sheet, &rect);
  int x = (GetSystemMetrics(SM_CXSCREEN) + rect.left - rect.right) >> 1;
  int y = (GetSystemMetrics(SM_CYSCREEN) + rect.top - rect.bottom) >> 1;
  SetWindowPos(sheet, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

INT_PTR CALLBACK WizardPage1Proc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_NOTIFY) return FALSE;
  const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
  switch (header->code) {
    case PSN_SETACTIVE:
      ActivatePage(page, header->hwndFrom, PSWIZB_NEXT);
      CentreSheetOnScreen(header->hwndFrom);
      return TRUE;
    case PSN_QUERYCANCEL: ConfirmCancel(page); return TRUE;
    default: return FALSE;
  }
}

INT_PTR CALLBACK WizardPage2Proc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_NOTIFY) return FALSE;
  const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
  switch (header->code) {
    case PSN_SETACTIVE: ActivatePage(page, header->hwndFrom, PSWIZB_BACK | PSWIZB_FINISH); return TRUE;
    case PSN_WIZFINISH: return TRUE;
    case PSN_QUERYCANCEL: ConfirmCancel(page); return TRUE;
    default: return FALSE;
  }
}

INT_PTR CALLBACK PleaseWaitProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

void ShowInstallProgress(HWND pleaseWait, int percent) {
  HWND bar = GetDlgItem(pleaseWait, IDC_PLEASE_WAIT_PROGRESS);
  if (!bar) return;
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  if (SendMessageA(bar, PBM_GETPOS, 0, 0) == percent) return;
  SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  UpdateWindow(bar);
}
