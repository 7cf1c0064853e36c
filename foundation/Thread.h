#pragma once
// Threads of the framework. A CThread runs its virtual Run (or a CRunnable handed to it) on a thread of
// its own, created through the C runtime. The body polls IsRunning and returns once a stop has been
// requested; SleepFor lets it wait in a way that RequestStop cuts short. While its body runs, every
// thread is listed in a thread registry (the process's own unless another is given), through which the
// application tells every worker to stop and waits for them at exit.
//
// Destroying a CThread neither stops nor waits for its thread: a derived class whose Run uses its own
// members calls Stop in its destructor.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/CriticalSection.h"
#include "foundation/Event.h"

// A body to run on a CThread; owned by the thread once handed over.
class CRunnable {
 public:
  virtual void Run() = 0;
  virtual ~CRunnable() = default;
};

// What a thread registry and other controllers need of a thread.
class CThreadBase {
 public:
  virtual void Run() = 0;
  virtual bool Start(int priority) = 0;
  virtual void Stop() = 0;
  virtual void RequestStop() = 0;
  virtual DWORD Suspend() = 0;
  virtual DWORD Resume() = 0;
  virtual bool IsRunning() = 0;
  virtual int GetPriority() = 0;
  virtual bool SetPriority(int priority) = 0;
  virtual DWORD GetThreadId() = 0;
  virtual void SleepFor(DWORD milliseconds) = 0;
  virtual ~CThreadBase() = default;
};

class CThreadRegistryBase {
 public:
  virtual bool StopAll() = 0;
  virtual void WaitAll() = 0;
  virtual void Add(CThreadBase* thread) = 0;
  virtual void Remove(CThreadBase* thread) = 0;
  virtual ~CThreadRegistryBase() = default;
};

class CThread : public CThreadBase {
 public:
  // `registry` (not owned) lists the thread while its body runs; null means the process's registry.
  explicit CThread(CThreadRegistryBase* registry = nullptr);
  ~CThread() override;
  CThread(const CThread&) = delete;
  CThread& operator=(const CThread&) = delete;

  // The thread's body; does nothing unless overridden.
  void Run() override {}
  // Stops any earlier thread of this object, then starts a new one: at normal priority for 0, else
  // created suspended and raised to `priority` before it runs. Returns, true, only once the new thread
  // has registered and signalled; false when the thread could not be created.
  bool Start(int priority = 0) override;
  // Requests the stop and waits without limit for the thread to end, unless called on the thread
  // itself (a thread never waits for itself).
  void Stop() override;
  // Clears the running flag and signals the stop event; does not wait.
  void RequestStop() override;
  // Waits without limit for the thread to end without asking it to stop; returns at once when there is
  // no thread or when called on the thread itself.
  void Wait();
  // Whether a thread of this object exists and has not ended yet (a stop may have been requested).
  bool IsAlive();
  // Previous suspend count, 0 when there is no thread, 0xFFFFFFFF when the call fails.
  DWORD Suspend() override;
  DWORD Resume() override;
  // True from Start until a stop is requested.
  bool IsRunning() override { return running_.load(); }
  // 0 when there is no thread.
  int GetPriority() override;
  bool SetPriority(int priority) override;
  // Id of the thread; 0xFFFFFFFF when there is none.
  DWORD GetThreadId() override { return threadId_.load(); }
  // On the thread itself: waits at most `milliseconds` or until a stop is requested. Elsewhere, or for
  // 0 milliseconds, returns at once.
  void SleepFor(DWORD milliseconds) override;

  // Destroys the runnable held, if any, keeps `runnable` instead and starts it. A runnable still running
  // on an earlier thread lives until that thread has ended (Start waits for it).
  virtual bool StartRunnable(std::unique_ptr<CRunnable> runnable, int priority = 0);
  // Destroys the runnable held, if any, and keeps `runnable` for the next Start.
  virtual void SetRunnable(std::unique_ptr<CRunnable> runnable);

 private:
  static unsigned __stdcall ThreadEntry(void* argument);

  HANDLE handle_ = nullptr;
  std::atomic<DWORD> threadId_{0xFFFFFFFF};
  // Written by the controller, read by the body in its loop.
  std::atomic<bool> running_{false};
  CEvent startedEvent_;
  CManualEvent stopEvent_;
  // Shared with the thread that runs it, so that replacing it never destroys a body still running.
  std::shared_ptr<CRunnable> runnable_;
  CThreadRegistryBase* registry_;
  CCriticalSection lock_;

  static_assert(std::atomic<bool>::is_always_lock_free, "the running flag must be lock-free");
  static_assert(std::atomic<DWORD>::is_always_lock_free, "the thread id must be lock-free");
};

// The list of threads whose bodies run, in the order they started.
class CThreadRegistry : public CThreadRegistryBase {
 public:
  CThreadRegistry();
  ~CThreadRegistry() override;
  CThreadRegistry(const CThreadRegistry&) = delete;
  CThreadRegistry& operator=(const CThreadRegistry&) = delete;

  // Tells every listed thread to stop and waits until none is left but the caller. Only the first call
  // does this; every later call returns false at once.
  bool StopAll() override;
  // Waits until the list is empty; any number of threads may wait together.
  void WaitAll() override;
  void Add(CThreadBase* thread) override;
  // Removes the first entry equal to `thread`, if any.
  void Remove(CThreadBase* thread) override;

 private:
  std::vector<CThreadBase*> threads_;  // not owned
  CEvent listChangedForStopAll_;
  // Set while the list is empty: releases every waiter of WaitAll at once.
  CManualEvent listEmpty_;
  CCriticalSection listLock_;
  bool stopping_ = false;  // guarded by stoppingLock_
  CCriticalSection stoppingLock_;
};

// The process's thread registry, made on first use.
CThreadRegistry* GetThreadRegistry();
