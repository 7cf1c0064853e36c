#pragma once
// CAppManager: which application runs on which thread. A process-wide list of (thread id, application,
// window listener) entries under a critical section; an application that runs its window on a thread of
// its own registers itself from that thread and unregisters when it ends. Each thread sees only its
// own entry.

#include <windows.h>

class CWindowListener;

// What the manager needs of an application: the window it runs.
class CAppInterface {
 public:
  virtual HWND GetHWnd() = 0;
  virtual ~CAppInterface() = default;
};

class CAppManager {
 public:
  // The window of the application registered for the calling thread; null when there is none.
  static HWND GetHWnd();
  // The application and the listener registered for the calling thread, or null.
  static CAppInterface* GetApplication();
  static CWindowListener* GetListener();

  // Registers the application (and its listener, may be null) for the calling thread, replacing what
  // the thread had. A null application is ignored.
  static void Register(CAppInterface* application, CWindowListener* listener);
  // Removes every entry of the application.
  static void Unregister(CAppInterface* application);
};
