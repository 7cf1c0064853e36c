#pragma once
// Lazy process-wide singletons. One process-wide creation lock, itself made on first use, guards the
// making of each singleton's own critical section; that section then guards the making of the
// singleton. Each piece is destroyed at process exit in the reverse order of its making (the singleton
// before its section, every section before the creation lock).
//
//   CThreadRegistry* registry = CSingleton<CThreadRegistry>::Get();

#include <atomic>
#include <cstdlib>

#include "foundation/CriticalSection.h"

// The process-wide creation lock.
CCriticalSection* GetStaticCreationLock();

template <typename T>
class CSingleton {
 public:
  // The one T of the process, made on first use.
  static T* Get() {
    if (T* instance = instance_.load(std::memory_order_acquire)) return instance;
    CCriticalLock lock(GetSection());
    T* instance = instance_.load(std::memory_order_relaxed);
    if (!instance) {
      instance = new T();
      instance_.store(instance, std::memory_order_release);
      std::atexit(&DestroyInstance);
    }
    return instance;
  }

  // The section that guards the making of the singleton; services may use it for their own state too.
  static CCriticalSection* GetSection() {
    if (CCriticalSection* section = section_.load(std::memory_order_acquire)) return section;
    CCriticalLock lock(GetStaticCreationLock());
    CCriticalSection* section = section_.load(std::memory_order_relaxed);
    if (!section) {
      section = new CCriticalSection();
      section_.store(section, std::memory_order_release);
      std::atexit(&DestroySection);
    }
    return section;
  }

 private:
  static void DestroyInstance() { delete instance_.exchange(nullptr); }
  static void DestroySection() { delete section_.exchange(nullptr); }

  static inline std::atomic<T*> instance_{nullptr};
  static inline std::atomic<CCriticalSection*> section_{nullptr};
  static_assert(std::atomic<T*>::is_always_lock_free, "singleton pointers must be lock-free");
};
