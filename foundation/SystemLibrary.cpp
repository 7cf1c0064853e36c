#include "foundation/SystemLibrary.h"

FARPROC GetSystemProc(const char* library, const char* name) {
  // Once loaded, the library is found without taking another reference; it stays until the process ends.
  HMODULE module = GetModuleHandleA(library);
  if (!module) module = LoadLibraryA(library);
  return module ? GetProcAddress(module, name) : nullptr;
}
