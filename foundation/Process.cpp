#include "foundation/Process.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <cstring>
#include <vector>

#include "foundation/AnsiText.h"
#include "foundation/FileFinder.h"
#include "foundation/PathText.h"
#include "foundation/SystemLibrary.h"

// The records the platform expects, in their 32-bit sizes.
static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68, "STARTUPINFOA must be 68 bytes");
static_assert(sizeof(void*) != 4 || sizeof(OSVERSIONINFOEXA) == 156, "OSVERSIONINFOEXA must be 156 bytes");
static_assert(sizeof(void*) != 4 || sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA must be 148 bytes");

// ---- CInstanceMutex ----

CInstanceMutex::CInstanceMutex() { Create(); }

CInstanceMutex::~CInstanceMutex() { Close(); }

void CInstanceMutex::Close() {
  if (mutex_) {
    CloseHandle(mutex_);
    mutex_ = nullptr;
  }
}

void CInstanceMutex::Create() {
  Close();
  // The whole file name: the ANSI call cuts a long double-byte name to 260 bytes, and two copies in
  // long folders that begin alike would then exclude each other. Only a name the code page cannot hold
  // falls back to what that call gives.
  std::string path;
  if (!GetModuleFileNameText(nullptr, path)) {
    char cut[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, cut, sizeof cut);
    if (length >= sizeof cut) length = sizeof cut - 1;
    cut[length] = '\0';
    path = cut;
  }
  const std::string name = BackslashToSlash(path);
  SetLastError(ERROR_SUCCESS);
  mutex_ = CreateMutexA(nullptr, TRUE, name.c_str());
  isFirst_ = GetLastError() != ERROR_ALREADY_EXISTS;
}

// ---- Starting programs ----

bool RunProcess(const std::string& commandLine, bool wait, const std::string& currentDirectory) {
  if (commandLine.empty()) return false;
  std::string line = commandLine;
  if (line[0] != '"') {
    CFileFinder finder;
    if (finder.Exists(line)) line = "\"" + line + "\"";
  }
  // CreateProcessA may write into the command line: give it a copy of its own.
  std::vector<char> writable(line.begin(), line.end());
  writable.push_back('\0');

  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup, &process)) {
    return false;
  }
  if (wait) WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool OpenWithShell(HWND window, const std::string& file, const std::string& verb) {
  // The shell is loaded only for this.
  auto execute = GetSystemFunction<decltype(&ShellExecuteA)>("shell32.dll", "ShellExecuteA");
  if (!execute) return false;
  HINSTANCE result =
      execute(window, verb.empty() ? nullptr : verb.c_str(), file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

// ---- Finding running programs ----

namespace {

using SnapshotFunction = HANDLE(WINAPI*)(DWORD, DWORD);
using WalkFunction = BOOL(WINAPI*)(HANDLE, LPPROCESSENTRY32);

// The process-enumeration entry points, looked up at run time: not every system has them.
struct ToolhelpFunctions {
  SnapshotFunction createSnapshot = nullptr;
  WalkFunction first = nullptr;
  WalkFunction next = nullptr;

  bool Load() {
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (!kernel) return false;
    createSnapshot =
        reinterpret_cast<SnapshotFunction>(reinterpret_cast<void*>(GetProcAddress(kernel, "CreateToolhelp32Snapshot")));
    first = reinterpret_cast<WalkFunction>(reinterpret_cast<void*>(GetProcAddress(kernel, "Process32First")));
    next = reinterpret_cast<WalkFunction>(reinterpret_cast<void*>(GetProcAddress(kernel, "Process32Next")));
    return createSnapshot && first && next;
  }

  // The executable name of the process with the id, from a fresh snapshot; "" when it is not there.
  std::string ExecutableOf(DWORD processId) const {
    HANDLE snapshot = createSnapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE || !snapshot) return std::string();
    std::string name;
    PROCESSENTRY32 entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    for (BOOL more = first(snapshot, &entry); more; more = next(snapshot, &entry)) {
      if (entry.th32ProcessID == processId) {
        name.assign(entry.szExeFile, strnlen(entry.szExeFile, sizeof entry.szExeFile));
        break;
      }
    }
    CloseHandle(snapshot);
    return name;
  }
};

struct WindowSearch {
  std::string target;  // file name to look for
  ToolhelpFunctions functions;
};

std::string FileNameOf(const std::string& path) {
  std::string folder, name;
  SplitDirectoryAndName(path, folder, name);
  return name;
}

BOOL CALLBACK ActivateIfMatching(HWND window, LPARAM context) {
  WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  const std::string executable = search->functions.ExecutableOf(processId);
  if (executable.empty() || FileNameOf(executable) != search->target) return TRUE;
  ShowWindow(window, SW_SHOWNORMAL);
  SetForegroundWindow(window);
  return FALSE;
}

}  // namespace

bool ActivateRunningProgram(const std::string& executablePath) {
  WindowSearch search;
  search.target = FileNameOf(executablePath);
  if (!search.functions.Load()) return false;
  return EnumWindows(&ActivateIfMatching, reinterpret_cast<LPARAM>(&search)) != FALSE;
}

bool GetProcessExecutableName(HWND window, char* buffer, size_t size) {
  if (!buffer || size == 0) return false;
  buffer[0] = '\0';
  ToolhelpFunctions functions;
  if (!functions.Load()) return false;
  DWORD processId = 0;
  if (!GetWindowThreadProcessId(window, &processId)) return false;
  const std::string name = functions.ExecutableOf(processId);
  if (name.empty()) return false;
  const size_t length = name.size() < size ? name.size() : size - 1;
  std::memcpy(buffer, name.data(), length);
  buffer[length] = '\0';
  return true;
}

// ---- Windows version ----

bool IsWindowsNT() { return (GetVersion() & 0x80000000u) == 0; }

int ClassifyWindowsVersion(DWORD platformId, DWORD major, DWORD minor, const char* serviceString) {
  const char letter = serviceString && serviceString[0] ? serviceString[1] : '\0';
  switch (platformId) {
    case VER_PLATFORM_WIN32s: return kWindowsOld;
    case VER_PLATFORM_WIN32_WINDOWS:
      if (major > 4) return kWindowsNewer;
      if (major < 4) return kWindowsOld;
      if (minor == 0) return letter == 'B' || letter == 'C' ? kWindows95Osr2 : kWindows95;
      if (minor == 10) return letter == 'A' ? kWindows98Se : kWindows98;
      if (minor == 90) return kWindowsMe;
      return kWindowsOld;
    case VER_PLATFORM_WIN32_NT:
      if (major <= 4) return kWindowsNt4;
      if (major == 5 && minor == 0) return kWindows2000;
      if (major == 5 && minor == 1) return kWindowsXp;
      if (major == 5 && minor == 2) return kWindowsServer2003;
      return kWindowsNewer;
    default: return kWindowsUnknown;
  }
}

int GetWindowsKind(int* outServicePack) {
  if (outServicePack) *outServicePack = 0;
  OSVERSIONINFOEXA extended;
  std::memset(&extended, 0, sizeof extended);
  extended.dwOSVersionInfoSize = sizeof extended;
  int servicePack = 0;
  DWORD platform, major, minor;
  char service[sizeof extended.szCSDVersion];
  if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) {
    servicePack = extended.wServicePackMajor;
    platform = extended.dwPlatformId;
    major = extended.dwMajorVersion;
    minor = extended.dwMinorVersion;
    std::memcpy(service, extended.szCSDVersion, sizeof service);
  } else {
    OSVERSIONINFOA basic;
    std::memset(&basic, 0, sizeof basic);
    basic.dwOSVersionInfoSize = sizeof basic;
    if (!GetVersionExA(&basic)) return kWindowsUnknown;
    platform = basic.dwPlatformId;
    major = basic.dwMajorVersion;
    minor = basic.dwMinorVersion;
    std::memcpy(service, basic.szCSDVersion, sizeof service);
  }
  service[sizeof service - 1] = '\0';
  if (outServicePack) *outServicePack = servicePack;
  return ClassifyWindowsVersion(platform, major, minor, service);
}

// ---- Desktop ----

bool SetDesktopWallpaper(const std::string& path) {
  std::vector<char> writable(path.begin(), path.end());
  writable.push_back('\0');
  return SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, writable.data(), SPIF_UPDATEINIFILE | SPIF_SENDCHANGE) != FALSE;
}

// ---- Rectangles ----

bool IsPointInRect(const RECT& rect, const POINT& point) {
  return rect.left <= point.x && point.x < rect.right && rect.top <= point.y && point.y < rect.bottom;
}

bool RectsIntersect(const RECT& a, const RECT& b) {
  const bool aEmpty = a.left >= a.right || a.top >= a.bottom;
  const bool bEmpty = b.left >= b.right || b.top >= b.bottom;
  if (aEmpty || bEmpty) return false;
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
