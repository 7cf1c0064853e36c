#pragma once
// The debug log: the receiver of every DebugPrint text, with two outputs that both start switched off.
//   - the debug display: a top-level list box ("デバッグ表示", 600 x 150 at the screen's corner) that runs
//     on a thread of its own as a threaded application, shows one line per text and scrolls to the
//     newest;
//   - the file "log.txt" in the current directory, emptied when it is opened and headed by the date and
//     time, which other programs may read while it is written; every line also goes to the debugger.
// One lock covers the whole output of one text, so lines from different threads never interleave.
//
// The log is made on first use (CDebugLog::Get) and installs itself as DebugPrint's receiver then; a
// program that never asks for it formats its diagnostics and drops them. The file stays open until the
// process ends.

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "app/AppBase.h"
#include "foundation/CriticalSection.h"

class CDebugLog : public CAppBase {
 public:
  // The process's log, made on first use.
  static CDebugLog* Get();

  CDebugLog();
  ~CDebugLog() override;

  // Switches the display on and makes it when it does not exist.
  void EnableDisplay();
  // Switches the file on and opens log.txt; when it cannot be made, file logging stays off for good.
  void EnableFileLog();
  // Empties the display while it is switched on (making it when needed).
  void ClearDisplay();
  // One text out to every output switched on.
  void Output(const char* text);

  bool IsDisplayEnabled();
  bool IsFileLogEnabled();
  // The display's list box (the display window itself), or null.
  HWND GetListBox();

  // The display's window: class LISTBOX, title "デバッグ表示", at (0, 0), 600 x 150 outside, style
  // 0x10EF0100 (visible overlapped window with caption, system menu, sizing border, minimise and
  // maximise boxes, vertical scroll bar, no integral height).
  void OnSetupWindowParams(CWindowParams& params) override;

 private:
  // Under lock_.
  void CreateDisplayIfMissing();
  void WriteOut(const char* text);
  void OpenLogFile();
  void WriteToLogFile(const std::string& text);

  CCriticalSection lock_;
  HANDLE logFile_ = nullptr;
  bool displayEnabled_ = false;
  bool fileLogEnabled_ = false;
  bool displayFailed_ = false;
  // Texts of the display's own thread while another thread waits for it to make its window (that thread
  // holds the lock): written out as soon as the window is made.
  std::atomic<DWORD> creatingThread_{0};
  std::vector<std::string> heldBack_;
  CCriticalSection heldBackLock_;
};
