#pragma once
// Functions of system libraries that only a few paths of the framework need (the shell's folders and
// pickers, the common file dialogs), looked up on their first call instead of being imported: a program
// that never calls them does not load those libraries, and their sizeable start-up, at all.

#include <windows.h>

// The address of `name` in the system library `library` (loaded on first use and kept until the process
// ends); null when the library or the function is missing.
FARPROC GetSystemProc(const char* library, const char* name);

// GetSystemProc as a typed function pointer: GetSystemFunction<decltype(&ShellExecuteA)>("shell32.dll",
// "ShellExecuteA").
template <typename Function>
Function GetSystemFunction(const char* library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetSystemProc(library, name)));
}
