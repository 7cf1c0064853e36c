#include "foundation/Singleton.h"

namespace {
std::atomic<CCriticalSection*> g_creationLock{nullptr};

void DestroyCreationLock() { delete g_creationLock.exchange(nullptr); }
}  // namespace

CCriticalSection* GetStaticCreationLock() {
  if (CCriticalSection* lock = g_creationLock.load(std::memory_order_acquire)) return lock;
  // The very first maker cannot be guarded by a lock of ours: a new section is offered with a
  // compare-exchange, and a maker that loses the race drops its own.
  CCriticalSection* made = new CCriticalSection();
  CCriticalSection* expected = nullptr;
  if (g_creationLock.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) {
    std::atexit(&DestroyCreationLock);
    return made;
  }
  delete made;
  return expected;
}
