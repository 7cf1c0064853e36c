#include "foundation/DebugLog.h"

#include <ctime>
#include <cstring>

#include "app/AppManager.h"
#include "app/ComCount.h"
#include "foundation/DebugPrint.h"
#include "foundation/Folders.h"
#include "foundation/Singleton.h"
#include "foundation/Thread.h"

namespace {

constexpr DWORD kDisplayStyle = 0x10EF0100;

// A sending thread waits for the display's thread to take the line; should that thread itself be stuck
// waiting for the log, the line is given up after this long instead of hanging both.
constexpr UINT kDisplayTimeoutMs = 5000;

void OutputToLog(const char* text) { CDebugLog::Get()->Output(text); }
void ClearLogDisplay() { CDebugLog::Get()->ClearDisplay(); }
const DebugLogOutput kLogOutput = {&OutputToLog, &ClearLogDisplay};

LRESULT SendToDisplay(HWND listBox, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = static_cast<DWORD_PTR>(LB_ERR);
  if (!SendMessageTimeoutA(listBox, message, wParam, lParam, SMTO_NORMAL, kDisplayTimeoutMs, &result)) return LB_ERR;
  return static_cast<LRESULT>(result);
}

}  // namespace

CDebugLog* CDebugLog::Get() { return CSingleton<CDebugLog>::Get(); }

CDebugLog::CDebugLog() {
  // What the display's thread uses must outlive the log, so it is made (and its end registered) before
  // the log's: the thread registry that lists the thread, the per-thread COM table and the application
  // list. Made later by the thread itself, they would be gone when the log stops the thread at exit,
  // and made again while the exit handlers run.
  GetThreadRegistry();
  GetComCount();
  CAppManager::GetApplication();
  // Closing the display must not stop the program's other threads.
  SetStopAllAtExit(false);
  SetDebugLogOutput(&kLogOutput);
}

CDebugLog::~CDebugLog() {
  SetDebugLogOutput(nullptr);
  GetThread()->Stop();
  if (logFile_) CloseHandle(logFile_);
}

void CDebugLog::OnSetupWindowParams(CWindowParams& params) {
  params.windowClass.lpszClassName = "LISTBOX";
  params.title = "デバッグ表示";
  params.x = 0;
  params.y = 0;
  params.width = 600;
  params.height = 150;
  params.style = kDisplayStyle;
  params.exStyle = 0;
  params.centre = 0;
  params.adjustForFrame = 0;
}

void CDebugLog::EnableDisplay() {
  CCriticalLock lock(&lock_);
  displayEnabled_ = true;
  CreateDisplayIfMissing();
}

void CDebugLog::EnableFileLog() {
  CCriticalLock lock(&lock_);
  fileLogEnabled_ = true;
  OpenLogFile();
}

void CDebugLog::ClearDisplay() {
  CCriticalLock lock(&lock_);
  if (!displayEnabled_) return;
  CreateDisplayIfMissing();
  if (HWND listBox = GetListBox()) SendToDisplay(listBox, LB_RESETCONTENT, 0, 0);
}

bool CDebugLog::IsDisplayEnabled() {
  CCriticalLock lock(&lock_);
  return displayEnabled_;
}

bool CDebugLog::IsFileLogEnabled() {
  CCriticalLock lock(&lock_);
  return fileLogEnabled_;
}

HWND CDebugLog::GetListBox() {
  // The window closed by the user leaves no list box.
  HWND window = GetHWnd();
  return window && IsWindow(window) ? window : nullptr;
}

void CDebugLog::CreateDisplayIfMissing() {
  if (GetWindow() || displayFailed_ || creatingThread_.load()) return;
  creatingThread_ = GetCurrentThreadId();
  const bool made = Run();
  displayFailed_ = !made;
  // The display's texts are held back until the list is found empty with the creation marked over in
  // the same hold of its lock, so that no text joins the list after its last emptying.
  for (;;) {
    std::vector<std::string> heldBack;
    {
      CCriticalLock held(&heldBackLock_);
      if (heldBack_.empty()) {
        creatingThread_ = 0;
        break;
      }
      heldBack.swap(heldBack_);
    }
    for (const std::string& text : heldBack) WriteOut(text.c_str());
  }
}

void CDebugLog::Output(const char* text) {
  if (!text) return;
  // The display's own thread, while the thread that holds the lock waits for it to make its window.
  if (creatingThread_.load() != 0 && GetCurrentThreadId() == GetThread()->GetThreadId()) {
    CCriticalLock held(&heldBackLock_);
    if (creatingThread_.load() != 0) {
      heldBack_.push_back(text);
      return;
    }
  }
  CCriticalLock lock(&lock_);
  if (displayEnabled_) CreateDisplayIfMissing();
  WriteOut(text);
}

void CDebugLog::WriteOut(const char* text) {
  if (displayEnabled_) {
    if (HWND listBox = GetListBox()) {
      SendToDisplay(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
      LRESULT count = SendToDisplay(listBox, LB_GETCOUNT, 0, 0);
      if (count != LB_ERR && count > 0) SendToDisplay(listBox, LB_SETCURSEL, static_cast<WPARAM>(count - 1), 0);
    }
  }
  if (fileLogEnabled_) {
    OpenLogFile();
    if (fileLogEnabled_) {
      std::string line = std::string(text) + "\r\n";
      OutputDebugStringA(line.c_str());
      WriteToLogFile(line);
    }
  }
}

void CDebugLog::OpenLogFile() {
  if (!fileLogEnabled_ || logFile_) return;
  fileLogEnabled_ = false;
  // Readers may open the file while the program writes it; nobody else may write it.
  HANDLE file = CreateFileA(GetFullPath("log.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DebugPrint("error：ファイルの作成に失敗しました。<%s> [CFile::Create()]", "log.txt");
    return;
  }
  logFile_ = file;
  fileLogEnabled_ = true;
  std::time_t now = std::time(nullptr);
  std::tm local = {};
  if (std::tm* converted = std::localtime(&now)) local = *converted;
  std::string header =
      FormatString("\r\n\r\n--------------%04d/%02d/%02d %02d:%02d:%02d--------------", local.tm_year + 1900,
                   local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec) +
      "\r\n";
  WriteToLogFile(header);
}

void CDebugLog::WriteToLogFile(const std::string& text) {
  DWORD written = 0;
  WriteFile(logFile_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
