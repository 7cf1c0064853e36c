#include "app/Application.h"

#include <commctrl.h>

#include <atomic>

#include "app/CommandLine.h"
#include "foundation/DebugPrint.h"
#include "foundation/Thread.h"

namespace {
std::atomic<CApplication*> g_live{nullptr};
}

CApplication::CApplication(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand)
    : instance_(instance), previousInstance_(previousInstance), commandLine_(commandLine), showCommand_(showCommand) {
  arguments_ = SplitCommandLine(GetCommandLineA());
  g_live.store(this);
  InitCommonControls();
  GetAppHooks()->RunStartup();
  // The blend tables are built on their first use (image/BlendTables.h), not here: a program that
  // never draws, as the setup, does not pay for them at start-up.
  ClearDebugDisplay();
}

CApplication::~CApplication() {
  GetThreadRegistry()->StopAll();
  GetAppHooks()->RunShutdown();
  CApplication* self = this;
  g_live.compare_exchange_strong(self, nullptr);  // only when it is still this object
  arguments_.clear();
}

CApplication* CApplication::GetApplication() { return g_live.load(); }

HINSTANCE CApplication::GetInstanceHandle() {
  CApplication* app = GetApplication();
  return app ? app->instance_ : nullptr;
}

HINSTANCE CApplication::GetPrevInstance() {
  CApplication* app = GetApplication();
  return app ? app->previousInstance_ : nullptr;
}

LPSTR CApplication::GetCmdLine() {
  CApplication* app = GetApplication();
  return app ? app->commandLine_ : nullptr;
}

int CApplication::GetCmdShow() {
  CApplication* app = GetApplication();
  return app ? app->showCommand_ : 0;
}

size_t CApplication::GetArgCount() {
  CApplication* app = GetApplication();
  return app ? app->arguments_.size() : 0;
}

std::string CApplication::GetArg(size_t index) {
  CApplication* app = GetApplication();
  if (!app || index >= app->arguments_.size()) return std::string();
  return app->arguments_[index];
}
