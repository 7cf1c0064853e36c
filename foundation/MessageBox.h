#pragma once
// Every question the program asks the user goes through ShowMessageBox, so that unit tests can answer
// in place of a person. Without a handler it is MessageBoxA.

#include <windows.h>

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style);

using MessageBoxHandler = int (*)(HWND owner, const char* text, const char* caption, UINT style);

// Installs the handler (null: MessageBoxA again). Returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
