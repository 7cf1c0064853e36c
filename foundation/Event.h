#pragma once
// Event objects with a remembered signalled state. CEvent is an unnamed auto-reset event; CManualEvent
// a manual-reset one. IsSet answers what the last Set or Reset did, not whether a waiter has since
// consumed the signal. Wait does not take the event's lock, so Set and Reset stay possible while a
// thread waits.

#include <windows.h>

#include "foundation/CriticalSection.h"

// Anything that can be signalled and waited for.
class CWaitable {
 public:
  virtual bool Set() = 0;
  virtual bool Reset() = 0;
  // Milliseconds INFINITE waits without limit. Returns the platform's wait result (WAIT_OBJECT_0, ...).
  virtual DWORD Wait(DWORD milliseconds = INFINITE) = 0;
  virtual bool IsSet() = 0;
  virtual ~CWaitable() = default;
  virtual HANDLE GetHandle() const = 0;
};

class CEvent : public CWaitable {
 public:
  // An auto-reset event, not signalled.
  CEvent();
  ~CEvent() override;
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;

  // Signal or clear the event and remember it; false when the platform call fails.
  bool Set() override;
  bool Reset() override;
  DWORD Wait(DWORD milliseconds = INFINITE) override;
  bool IsSet() override;
  HANDLE GetHandle() const override { return handle_; }

  // Closes any event held and makes a new one, not signalled; false when that fails.
  virtual bool Create();
  virtual void Close();

 protected:
  // For the derived kinds: makes the event with the given reset mode.
  explicit CEvent(bool manualReset);
  bool MakeEvent(bool manualReset);

 private:
  HANDLE handle_ = nullptr;
  bool signalled_ = false;  // guarded by lock_
  CCriticalSection lock_;
};

// An event that stays signalled until Reset, releasing every waiter.
class CManualEvent : public CEvent {
 public:
  CManualEvent();
  bool Create() override;
};

// Waits for `count` events together (all of them when waitAll, else any one). Returns the platform's
// wait result; WAIT_FAILED for a null array, a null element, no events or more than the platform takes.
DWORD WaitForEvents(DWORD count, CEvent* events, bool waitAll, DWORD milliseconds);
DWORD WaitForEvents(DWORD count, CWaitable* const* events, bool waitAll, DWORD milliseconds);
