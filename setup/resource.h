#pragma once
// Dialog resources of the setup program.

#define IDD_PLEASE_WAIT 103
#define IDD_WIZARD_PAGE1 107
#define IDD_WIZARD_PAGE2 109

#define IDC_PLEASE_WAIT_TEXT 1001
#define IDC_WELCOME_TEXT 1002
#define IDC_DIRECTX_TEXT 1003
#define IDC_READY_TEXT 1004
#define IDC_PLEASE_WAIT_PROGRESS 1005
