#include <windows.h>

#include "setup/SetupFlow.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand) {
  return RunSetup(instance, previousInstance, commandLine, showCommand);
}
