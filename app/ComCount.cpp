#include "app/ComCount.h"

#include <windows.h>
#include <objbase.h>

#include <vector>

#include "foundation/CriticalSection.h"
#include "foundation/Singleton.h"

namespace {

class CComTable {
 public:
  bool Enter() {
    CCriticalLock lock(&lock_);
    const DWORD thread = GetCurrentThreadId();
    size_t index = Find(thread);
    if (index == entries_.size()) entries_.push_back(Entry{thread, 0});
    if (entries_[index].count == 0 && FAILED(CoInitialize(nullptr))) {
      entries_.erase(entries_.begin() + index);
      return false;
    }
    ++entries_[index].count;
    return true;
  }

  void Leave() {
    CCriticalLock lock(&lock_);
    size_t index = Find(GetCurrentThreadId());
    if (index == entries_.size()) return;
    if (--entries_[index].count <= 0) {
      CoUninitialize();
      entries_.erase(entries_.begin() + index);
    }
  }

  int Count() {
    CCriticalLock lock(&lock_);
    size_t index = Find(GetCurrentThreadId());
    return index == entries_.size() ? 0 : entries_[index].count;
  }

 private:
  struct Entry {
    DWORD thread;
    int count;
  };

  size_t Find(DWORD thread) const {
    size_t index = 0;
    while (index < entries_.size() && entries_[index].thread != thread) ++index;
    return index;
  }

  CCriticalSection lock_;
  std::vector<Entry> entries_;
};

}  // namespace

bool ComEnter() { return CSingleton<CComTable>::Get()->Enter(); }
void ComLeave() { CSingleton<CComTable>::Get()->Leave(); }
int GetComCount() { return CSingleton<CComTable>::Get()->Count(); }
