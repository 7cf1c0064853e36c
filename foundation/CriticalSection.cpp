#include "foundation/CriticalSection.h"

#include "foundation/DebugPrint.h"

CCriticalSection::CCriticalSection() { InitializeCriticalSection(&section_); }

CCriticalSection::~CCriticalSection() {
  int32_t held = count_.load();
  if (held > 0) {
    DebugPrint("CCriticalSection::~CCriticalSection() Leave()されていないまま解放されようとしている。");
    for (; held > 0; --held) Leave();
  }
  DeleteCriticalSection(&section_);
}

void CCriticalSection::Enter() {
  EnterCriticalSection(&section_);
  count_.fetch_add(1);
}

void CCriticalSection::Leave() {
  if (count_.load() == 0) {
    DebugPrint("CCriticalSection::Leave() Enter()されていないのにLeave()が呼び出された。");
    return;
  }
  count_.fetch_sub(1);
  LeaveCriticalSection(&section_);
}

CCriticalLock::CCriticalLock(CLockable* lockable) : lockable_(lockable) {
  if (lockable_ == nullptr) {
    DebugPrint("CCriticalLock::CCriticalLock() 無効なクリティカルセクションが渡された。");
  } else {
    lockable_->Enter();
  }
  count_ = 1;
}

CCriticalLock::~CCriticalLock() {
  while (count_ > 0) Leave();
}

void CCriticalLock::Enter() {
  if (lockable_) lockable_->Enter();
  ++count_;
}

void CCriticalLock::Leave() {
  if (count_ == 0) {
    DebugPrint("CCriticalLock::Leave() Enter()されていないのにLeaveが呼び出された。");
    return;
  }
  --count_;
  if (lockable_) lockable_->Leave();
}
