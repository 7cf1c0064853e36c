#include "app/AppHooks.h"

#include "foundation/Singleton.h"

void CAppHooks::Add(std::vector<function_callback_ptr>* list, const function_callback_ptr& callback) {
  if (!callback) return;
  CCriticalLock lock(&lock_);
  list->push_back(callback);
}

void CAppHooks::Run(std::vector<function_callback_ptr>* list) {
  std::vector<function_callback_ptr> running;
  {
    CCriticalLock lock(&lock_);
    running.swap(*list);
  }
  // Called without the lock, so a callback may add hooks.
  for (const function_callback_ptr& callback : running) callback->call();
}

void CAppHooks::AddStartup(const function_callback_ptr& callback) { Add(&startup_, callback); }
void CAppHooks::AddShutdown(const function_callback_ptr& callback) { Add(&shutdown_, callback); }
void CAppHooks::RunStartup() { Run(&startup_); }
void CAppHooks::RunShutdown() { Run(&shutdown_); }

size_t CAppHooks::GetStartupCount() {
  CCriticalLock lock(&lock_);
  return startup_.size();
}

size_t CAppHooks::GetShutdownCount() {
  CCriticalLock lock(&lock_);
  return shutdown_.size();
}

CAppHooks* GetAppHooks() { return CSingleton<CAppHooks>::Get(); }

void AddStartupHook(const function_callback_ptr& callback) { GetAppHooks()->AddStartup(callback); }
void AddShutdownHook(const function_callback_ptr& callback) { GetAppHooks()->AddShutdown(callback); }
