#pragma once
// The threaded application: CAppBase runs its window and message loop on a thread of its own, and
// CAppWindow is the window such an application uses, a CWindow with the full-screen behaviour of an
// application window (minimise and restore in and out of full screen, the menu cover window on the top
// row of a full-screen window, no maximising by Windows).
//
// Other threads talk to the application's window only by posting (RequestClose, ForceClose). The window
// object is made, used and destroyed on the application's thread; the object itself stays until the
// CAppBase goes, so that accessors never see it vanish under them.
//
// CAppBase holds its thread (a CThread listed in the process's thread registry while it runs) rather
// than being one: the application's `Run` (start and wait for the window) and the thread's body `Run`
// cannot share one name in one class.

#include <windows.h>

#include <atomic>
#include <memory>

#include "app/AppManager.h"
#include "app/Window.h"
#include "foundation/CriticalSection.h"
#include "foundation/Event.h"
#include "foundation/Thread.h"

class CAppBase;

class CAppWindow : public CWindow {
 public:
  explicit CAppWindow(CAppBase* application);
  ~CAppWindow() override;

  // Marks the first erase as pending; after success the window counts as active.
  bool Create(const CWindowParams& params) override;
  // Also destroys the cover window and forgets a pending return to full screen.
  void Destroy() override;
  // The active flag kept from WM_ACTIVATE.
  bool IsActive() override;
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  // As CWindow's, but the full-screen window goes to the top without staying topmost, the cover window
  // goes first when leaving, the window is shown again (minimised when it was) and repainted, and the
  // depth-change hook hears the new depth.
  bool SetFullScreen(int depth) override;
  // Told the new full-screen depth (0: windowed) after every change; does nothing here.
  virtual void OnDisplayDepthChanged(int depth);

  CAppBase* GetApplication() const { return application_; }
  // The menu cover window while it is shown, else null; its size.
  HWND GetCoverWindow() const { return cover_; }
  int GetCoverHeight() const { return coverHeight_; }
  int GetCoverWidth() const { return coverWidth_; }
  bool IsCoverActive() const { return coverActive_; }
  bool IsRestoreToFullScreenPending() const { return restoreToFullScreen_; }

 protected:
  // Maximising never reaches Windows: SC_MAXIMIZE is withheld from the default processing.
  bool IsDefaultAllowed(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnWindowGone() override;

 private:
  LRESULT HandleCoverMessage(HWND cover, UINT message, WPARAM wParam, LPARAM lParam);
  // True when the system command was one of the cases handled here.
  bool HandleSystemCommand(WPARAM command);
  void ShowCover();
  void DestroyCover();

  CAppBase* application_;
  bool restoreToFullScreen_ = false;
  int restoreDepth_ = 0;
  bool firstErasePending_ = false;
  HWND cover_ = nullptr;
  int coverWidth_ = 0;
  int coverHeight_ = 0;
  bool active_ = false;
  bool coverShown_ = false;
  bool coverActive_ = false;
};

class CAppBase : public CAppInterface, public CWindowListener {
 public:
  CAppBase();
  // Stops the application's thread and waits for it. By then the derived parts are destroyed while that
  // thread could still call their hooks: a derived class stops the thread in its own destructor
  // (GetThread()->Stop()); a thread found still alive here is reported in the log, then stopped.
  ~CAppBase() override;
  CAppBase(const CAppBase&) = delete;
  CAppBase& operator=(const CAppBase&) = delete;

  // The loop on the application's thread: pumps messages every 16 ms until a stop is requested.
  virtual void MessageLoop();
  // Starts the thread and waits (at most 10 s) until it has made its window or failed to. True when the
  // window object exists.
  virtual bool Run();
  // Posts WM_CLOSE to the window: the close goes through the close query.
  virtual bool RequestClose();
  // Marks the application closing, then posts WM_CLOSE.
  virtual bool ForceClose();
  // Pumps the calling thread's messages, then answers whether the application's thread still runs.
  virtual bool IsRunning();
  // Waits without limit until the application's thread has ended, without asking it to end; returns at
  // once on the application's own thread.
  virtual void Wait();
  virtual CWindow* GetWindow();
  HWND GetHWnd() override;
  virtual CThread* GetThread() { return &thread_; }
  virtual void SetStopAllAtExit(bool stopAll) { stopAllAtExit_ = stopAll; }
  virtual bool GetClosing() { return closing_.load(); }

  // Hooks for derived applications; the defaults do nothing (the close query agrees).
  virtual void OnSetupWindowParams(CWindowParams& params);
  virtual void OnStart();
  virtual void OnEnd();
  virtual bool OnCloseQuery();

  virtual void PumpMessages();
  // Makes the window object (a CAppWindow that has this application as its listener).
  virtual void CreateWindowObject();
  // Deletes the window object. The window lock is held only while the object is taken out, not while its
  // window is destroyed and its last messages are handled.
  virtual void DestroyWindowObject();

  // The application as its window's listener: WM_DESTROY may post the quit message, WM_CLOSE goes
  // through the close query (one at a time in the whole process) and destroys the window when agreed.
  LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  void SetDestroyOnClose(bool destroy) { destroyOnClose_ = destroy; }
  void SetQuitOnDestroy(bool quit) { quitOnDestroy_ = quit; }

  // The body of the application's thread.
  void ThreadProc();

 protected:
  // Destroys the window on the application's thread and lets its loop end.
  void CloseNow();

  CEvent m_CreateWndEvent;

 private:
  class CAppThread : public CThread {
   public:
    explicit CAppThread(CAppBase* application) : application_(application) {}
    ~CAppThread() override { Stop(); }

   protected:
    void Run() override { application_->ThreadProc(); }

   private:
    CAppBase* application_;
  };

  std::unique_ptr<CAppWindow> window_;
  CCriticalSection windowLock_;  // guards the window object pointer
  bool destroyOnClose_ = false;
  bool quitOnDestroy_ = false;
  std::atomic<bool> stopAllAtExit_{true};
  std::atomic<bool> closing_{false};
  CCriticalSection closeLock_;
  CAppThread thread_;
};
