#pragma once
// CApplication: the one application object of a program, made first and destroyed last in WinMain.
// It owns the split command line (argument 0 is the program), initialises the common controls and runs
// the start-up hooks while it is made; while it is destroyed it stops every registered thread and runs
// the shut-down hooks. (The blend tables build themselves on first use, not here.) The live object is reachable through
// the static accessors, which answer null, 0 or "" when there is none.

#include <windows.h>

#include <string>
#include <vector>

#include "app/AppHooks.h"

class CApplication {
 public:
  CApplication(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);
  virtual ~CApplication();
  CApplication(const CApplication&) = delete;
  CApplication& operator=(const CApplication&) = delete;

  // The live application, or null.
  static CApplication* GetApplication();

  static HINSTANCE GetInstanceHandle();
  static HINSTANCE GetPrevInstance();
  // The command line WinMain received (the arguments are split from the process's full command line).
  static LPSTR GetCmdLine();
  static int GetCmdShow();
  static size_t GetArgCount();
  // "" for an index at or past the count.
  static std::string GetArg(size_t index);

  // Hooks of the process: start-up hooks run while the next application object is made, shut-down
  // hooks while the live one is destroyed.
  static void AddStartupCallback(const function_callback_ptr& callback) { AddStartupHook(callback); }
  static void AddShutdownCallback(const function_callback_ptr& callback) { AddShutdownHook(callback); }

 private:
  HINSTANCE instance_;
  HINSTANCE previousInstance_;
  LPSTR commandLine_;
  int showCommand_;
  std::vector<std::string> arguments_;
};
