#pragma once
// Locks of the framework. CCriticalSection is a recursive operating-system critical section that counts
// its own entries, so that an unbalanced Leave can be reported instead of corrupting the section.
// CCriticalLock is the scoped lock over anything lockable: it enters at construction and, at its end,
// leaves as often as it is still entered, so a scope may Leave for a while (to wait) and Enter again.
// Misuse is written to DebugPrint and otherwise ignored.

#include <windows.h>

#include <atomic>
#include <cstdint>

// Anything that can be entered and left.
class CLockable {
 public:
  virtual void Enter() = 0;
  virtual void Leave() = 0;
  virtual ~CLockable() = default;
};

class CCriticalSection : public CLockable {
 public:
  CCriticalSection();
  ~CCriticalSection() override;
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;

  void Enter() override;
  void Leave() override;

  // Number of entries not yet left (by whichever thread holds the section).
  int32_t GetCount() const { return count_.load(); }

 private:
  CRITICAL_SECTION section_;
  // Changed only by the holder, but Leave reads it before knowing whether the caller holds the section.
  std::atomic<int32_t> count_{0};
  static_assert(std::atomic<int32_t>::is_always_lock_free, "the entry count must be lock-free");
};

class CCriticalLock : public CLockable {
 public:
  // Enters `lockable` (not owned). A null pointer is reported; the lock then guards nothing.
  explicit CCriticalLock(CLockable* lockable);
  ~CCriticalLock() override;
  CCriticalLock(const CCriticalLock&) = delete;
  CCriticalLock& operator=(const CCriticalLock&) = delete;

  void Enter() override;
  void Leave() override;

  // Number of times this lock is entered now.
  int32_t GetCount() const { return count_; }

 private:
  CLockable* lockable_;
  int32_t count_ = 0;  // used only by the thread that owns the scope
};
