#include "app/AppManager.h"

#include <vector>

#include "foundation/CriticalSection.h"
#include "foundation/Singleton.h"

namespace {

struct AppEntry {
  DWORD thread;
  CAppInterface* application;
  CWindowListener* listener;
};

class CAppList {
 public:
  // Copy of the calling thread's entry; false when it has none.
  bool FindOwn(AppEntry* entry) {
    CCriticalLock lock(&lock_);
    const DWORD thread = GetCurrentThreadId();
    for (const AppEntry& e : entries_) {
      if (e.thread == thread) {
        *entry = e;
        return true;
      }
    }
    return false;
  }

  void Register(CAppInterface* application, CWindowListener* listener) {
    CCriticalLock lock(&lock_);
    const DWORD thread = GetCurrentThreadId();
    for (AppEntry& e : entries_) {
      if (e.thread == thread) {
        e.application = application;
        e.listener = listener;
        return;
      }
    }
    entries_.push_back(AppEntry{thread, application, listener});
  }

  void Unregister(CAppInterface* application) {
    CCriticalLock lock(&lock_);
    for (size_t i = entries_.size(); i-- > 0;) {
      if (entries_[i].application == application) entries_.erase(entries_.begin() + i);
    }
  }

 private:
  CCriticalSection lock_;
  std::vector<AppEntry> entries_;
};

CAppList* List() { return CSingleton<CAppList>::Get(); }

}  // namespace

HWND CAppManager::GetHWnd() {
  // The application is asked outside the list lock: its window accessor may take locks of its own.
  CAppInterface* application = GetApplication();
  return application ? application->GetHWnd() : nullptr;
}

CAppInterface* CAppManager::GetApplication() {
  AppEntry entry;
  return List()->FindOwn(&entry) ? entry.application : nullptr;
}

CWindowListener* CAppManager::GetListener() {
  AppEntry entry;
  return List()->FindOwn(&entry) ? entry.listener : nullptr;
}

void CAppManager::Register(CAppInterface* application, CWindowListener* listener) {
  if (application) List()->Register(application, listener);
}

void CAppManager::Unregister(CAppInterface* application) {
  if (application) List()->Unregister(application);
}
