#pragma once
// Dialog procedures of the setup's wizard pages (resources 107 and 109) and of the please-wait dialog
// (resource 103).

#include <windows.h>

INT_PTR CALLBACK WizardPage1Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WizardPage2Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Leaves every message to the default dialog handling: the dialog has no buttons and no close box, and
// goes only when its owner destroys it.
INT_PTR CALLBACK PleaseWaitProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows how far the install is on the please-wait dialog's bar (0 to 100; others are clamped) and paints
// the bar at once: the flow's pump handles one queued message per pass, so a repaint left to the queue
// would trail the copy.
void ShowInstallProgress(HWND pleaseWait, int percent);

// Moves the property sheet to the centre of the screen, keeping its size and z-order.
void CentreSheetOnScreen(HWND sheet);

extern const char* const kCancelQuestion;  // asked when the user cancels a page or closes the wizard
