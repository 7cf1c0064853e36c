#include "image/SurfaceRegistry.h"

#include <algorithm>

#include "foundation/Singleton.h"
#include "image/Surface.h"

CSurfaceRegistry* CSurfaceRegistry::Get() { return CSingleton<CSurfaceRegistry>::Get(); }

void CSurfaceRegistry::Add(CSurfaceBase* surface, HWND owner) {
  CCriticalLock lock(CSingleton<CSurfaceRegistry>::GetSection());
  if (busy_ || !surface) return;
  for (Entry& entry : entries_) {
    if (entry.surface == surface) {
      entry.owner = owner;
      return;
    }
  }
  entries_.push_back(Entry{surface, owner});
}

void CSurfaceRegistry::Remove(CSurfaceBase* surface) {
  CCriticalLock lock(CSingleton<CSurfaceRegistry>::GetSection());
  if (busy_) return;
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [surface](const Entry& entry) { return entry.surface == surface; }),
                 entries_.end());
}

bool CSurfaceRegistry::Contains(CSurfaceBase* surface) {
  CCriticalLock lock(CSingleton<CSurfaceRegistry>::GetSection());
  return std::any_of(entries_.begin(), entries_.end(), [surface](const Entry& e) { return e.surface == surface; });
}

int CSurfaceRegistry::RestoreAll(HWND owner) {
  CCriticalLock lock(CSingleton<CSurfaceRegistry>::GetSection());
  if (busy_) return 0;
  busy_ = true;
  int failed = 0;
  for (size_t i = 0; i < entries_.size();) {
    Entry& entry = entries_[i];
    if (entry.owner != owner) {
      ++i;
      continue;
    }
    CSurfaceBase* surface = entry.surface;
    if (surface->Restore()) {
      entry.owner = surface->GetOwnerWindow();
      ++i;
    } else {
      ++failed;
      surface->Release();
      entries_.erase(entries_.begin() + static_cast<ptrdiff_t>(i));
    }
  }
  busy_ = false;
  return failed;
}

void CSurfaceRegistry::ReleaseAll(HWND owner) {
  CCriticalLock lock(CSingleton<CSurfaceRegistry>::GetSection());
  if (busy_) return;
  busy_ = true;
  std::vector<CSurfaceBase*> released;
  for (const Entry& entry : entries_) {
    if (entry.owner == owner) released.push_back(entry.surface);
  }
  entries_.erase(
      std::remove_if(entries_.begin(), entries_.end(), [owner](const Entry& entry) { return entry.owner == owner; }),
      entries_.end());
  for (CSurfaceBase* surface : released) surface->Release();
  busy_ = false;
}

int CSurfaceRegistry::Count(HWND owner) {
  CCriticalLock lock(CSingleton<CSurfaceRegistry>::GetSection());
  return static_cast<int>(
      std::count_if(entries_.begin(), entries_.end(), [owner](const Entry& e) { return e.owner == owner; }));
}
