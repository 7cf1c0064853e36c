#include "foundation/Thread.h"

#include <process.h>

#include "foundation/Singleton.h"

namespace {
constexpr DWORD kNoThreadId = 0xFFFFFFFF;
}

CThread::CThread(CThreadRegistryBase* registry) : registry_(registry) {}

CThread::~CThread() {
  // A thread never stopped carries on detached; only the handle is ours to close.
  if (handle_) CloseHandle(handle_);
}

bool CThread::Start(int priority) {
  CCriticalLock lock(&lock_);
  // Stop lets go of the lock while it waits, so another controller may have started a thread in the
  // meantime: stop that one too. Called on the thread itself, Stop cannot wait; that thread then carries
  // on detached.
  for (;;) {
    Stop();
    if (!handle_ || threadId_.load() == ::GetCurrentThreadId()) break;
  }
  if (handle_) {
    CloseHandle(handle_);
    handle_ = nullptr;
  }

  startedEvent_.Reset();
  stopEvent_.Reset();
  running_.store(true);

  unsigned id = 0;
  uintptr_t thread = _beginthreadex(nullptr, 0, &CThread::ThreadEntry, this, priority == 0 ? 0 : CREATE_SUSPENDED, &id);
  if (thread == 0) {
    threadId_.store(0);
    // No thread will ever clear the flag: a body-less object must not look as if it ran.
    running_.store(false);
    return false;
  }
  handle_ = reinterpret_cast<HANDLE>(thread);
  threadId_.store(id);
  if (priority != 0) {
    SetPriority(priority);
    Resume();
  }
  startedEvent_.Wait(INFINITE);
  return true;
}

void CThread::Stop() {
  CCriticalLock lock(&lock_);
  RequestStop();
  if (!handle_ || threadId_.load() == ::GetCurrentThreadId()) return;

  HANDLE thread = handle_;
  handle_ = nullptr;
  threadId_.store(kNoThreadId);
  // The ending body may take this lock itself; let go of every entry the caller holds (Start and
  // StartRunnable hold it too), since only the caller can hold it now.
  int32_t held = lock_.GetCount();
  for (int32_t i = 0; i < held; ++i) lock_.Leave();
  WaitForSingleObject(thread, INFINITE);
  for (int32_t i = 0; i < held; ++i) lock_.Enter();
  CloseHandle(thread);
}

void CThread::RequestStop() {
  running_.store(false);
  stopEvent_.Set();
}

void CThread::Wait() {
  HANDLE thread = nullptr;
  {
    // A copy of the handle, so that the lock is not held while waiting and a Stop or Start meanwhile
    // cannot close the handle under the wait.
    CCriticalLock lock(&lock_);
    if (!handle_ || threadId_.load() == ::GetCurrentThreadId()) return;
    if (!DuplicateHandle(GetCurrentProcess(), handle_, GetCurrentProcess(), &thread, SYNCHRONIZE, FALSE, 0)) return;
  }
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

bool CThread::IsAlive() {
  CCriticalLock lock(&lock_);
  return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

DWORD CThread::Suspend() {
  CCriticalLock lock(&lock_);
  return handle_ ? SuspendThread(handle_) : 0;
}

DWORD CThread::Resume() {
  CCriticalLock lock(&lock_);
  return handle_ ? ResumeThread(handle_) : 0;
}

int CThread::GetPriority() {
  CCriticalLock lock(&lock_);
  return handle_ ? GetThreadPriority(handle_) : 0;
}

bool CThread::SetPriority(int priority) {
  CCriticalLock lock(&lock_);
  return handle_ && SetThreadPriority(handle_, priority) != FALSE;
}

void CThread::SleepFor(DWORD milliseconds) {
  if (milliseconds != 0 && threadId_.load() == ::GetCurrentThreadId()) stopEvent_.Wait(milliseconds);
}

bool CThread::StartRunnable(std::unique_ptr<CRunnable> runnable, int priority) {
  CCriticalLock lock(&lock_);
  runnable_ = std::move(runnable);
  return Start(priority);
}

void CThread::SetRunnable(std::unique_ptr<CRunnable> runnable) {
  CCriticalLock lock(&lock_);
  runnable_ = std::move(runnable);
}

unsigned __stdcall CThread::ThreadEntry(void* argument) {
  CThread* self = static_cast<CThread*>(argument);
  {
    // Start holds the thread's lock until the started event is set, so runnable_ and registry_ cannot
    // change before they are read here.
    self->threadId_.store(::GetCurrentThreadId());
    std::shared_ptr<CRunnable> runnable = self->runnable_;
    CThreadRegistryBase* registry = self->registry_ ? self->registry_ : GetThreadRegistry();

    registry->Add(self);
    self->startedEvent_.Set();
    if (runnable) {
      runnable->Run();
    } else {
      self->Run();
    }
    // The runnable goes now unless a newer one replaced it and dropped the last other reference.
    runnable.reset();
    self->RequestStop();
    // After this the object may be destroyed at any moment: touch nothing of it.
    registry->Remove(self);
  }
  _endthreadex(0);
  return 0;
}

CThreadRegistry::CThreadRegistry() {
  listChangedForStopAll_.Reset();
  listEmpty_.Set();
}

CThreadRegistry::~CThreadRegistry() = default;

void CThreadRegistry::Add(CThreadBase* thread) {
  CCriticalLock lock(&listLock_);
  threads_.push_back(thread);
  listEmpty_.Reset();
  listChangedForStopAll_.Set();
}

void CThreadRegistry::Remove(CThreadBase* thread) {
  CCriticalLock lock(&listLock_);
  for (auto it = threads_.begin(); it != threads_.end(); ++it) {
    if (*it == thread) {
      threads_.erase(it);
      break;
    }
  }
  if (threads_.empty()) listEmpty_.Set();
  listChangedForStopAll_.Set();
}

bool CThreadRegistry::StopAll() {
  {
    CCriticalLock lock(&stoppingLock_);
    if (stopping_) return false;
    stopping_ = true;
  }
  const DWORD caller = ::GetCurrentThreadId();
  CCriticalLock lock(&listLock_);
  for (;;) {
    if (threads_.empty() || (threads_.size() == 1 && threads_.front()->GetThreadId() == caller)) break;
    for (CThreadBase* thread : threads_) thread->RequestStop();
    lock.Leave();
    listChangedForStopAll_.Wait(INFINITE);
    lock.Enter();
  }
  return true;
}

void CThreadRegistry::WaitAll() {
  CCriticalLock lock(&listLock_);
  while (!threads_.empty()) {
    lock.Leave();
    listEmpty_.Wait(INFINITE);
    lock.Enter();
  }
}

CThreadRegistry* GetThreadRegistry() { return CSingleton<CThreadRegistry>::Get(); }
