#include "foundation/Event.h"

CEvent::CEvent() : CEvent(false) {}

CEvent::CEvent(bool manualReset) { MakeEvent(manualReset); }

CEvent::~CEvent() { Close(); }

bool CEvent::MakeEvent(bool manualReset) {
  CCriticalLock lock(&lock_);
  CEvent::Close();
  handle_ = CreateEventA(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
  signalled_ = false;
  return handle_ != nullptr;
}

bool CEvent::Create() { return MakeEvent(false); }

void CEvent::Close() {
  CCriticalLock lock(&lock_);
  if (handle_) {
    CloseHandle(handle_);
    handle_ = nullptr;
  }
}

bool CEvent::Set() {
  CCriticalLock lock(&lock_);
  BOOL ok = handle_ ? SetEvent(handle_) : FALSE;
  signalled_ = true;
  return ok != FALSE;
}

bool CEvent::Reset() {
  CCriticalLock lock(&lock_);
  BOOL ok = handle_ ? ResetEvent(handle_) : FALSE;
  signalled_ = false;
  return ok != FALSE;
}

DWORD CEvent::Wait(DWORD milliseconds) {
  if (!handle_) return WAIT_FAILED;
  return WaitForSingleObject(handle_, milliseconds);
}

bool CEvent::IsSet() {
  CCriticalLock lock(&lock_);
  return signalled_;
}

CManualEvent::CManualEvent() : CEvent(true) {}

bool CManualEvent::Create() { return MakeEvent(true); }

namespace {
template <typename Handles>
DWORD WaitForHandles(DWORD count, Handles handleOf, bool waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS) return WAIT_FAILED;
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  for (DWORD i = 0; i < count; ++i) {
    handles[i] = handleOf(i);
    if (!handles[i]) return WAIT_FAILED;
  }
  return WaitForMultipleObjects(count, handles, waitAll ? TRUE : FALSE, milliseconds);
}
}  // namespace

DWORD WaitForEvents(DWORD count, CEvent* events, bool waitAll, DWORD milliseconds) {
  if (!events) return WAIT_FAILED;
  return WaitForHandles(
      count, [events](DWORD i) { return events[i].GetHandle(); }, waitAll, milliseconds);
}

DWORD WaitForEvents(DWORD count, CWaitable* const* events, bool waitAll, DWORD milliseconds) {
  if (!events) return WAIT_FAILED;
  return WaitForHandles(
      count, [events](DWORD i) { return events[i] ? events[i]->GetHandle() : HANDLE(nullptr); }, waitAll, milliseconds);
}
