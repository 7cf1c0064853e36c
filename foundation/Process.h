#pragma once
// Process, window and instance helpers: the single-instance guard, starting another program, finding
// and bringing forward the window of a running program, the Windows version, and rectangle tests.
// Every operation reports failure through its result only.

#include <windows.h>

#include <string>

// The single-instance guard: a named mutex whose name is this executable's full file name with every
// '\\' turned into '/', so two copies started from the same path exclude each other and copies started
// from different folders do not. The mutex is held until destruction.
class CInstanceMutex {
 public:
  CInstanceMutex();
  virtual ~CInstanceMutex();
  CInstanceMutex(const CInstanceMutex&) = delete;
  CInstanceMutex& operator=(const CInstanceMutex&) = delete;

  // True when no other holder of the same name existed when the guard was made.
  bool IsFirstInstance() const { return isFirst_; }

 private:
  void Create();
  void Close();

  HANDLE mutex_ = nullptr;
  bool isFirst_ = true;
};

// Starts a program. A command line that names an existing file as a whole (and does not begin with a
// double quote) is put in double quotes; anything else, such as a program followed by arguments, is
// passed as it stands. With wait, returns only when the program has ended. An empty currentDirectory
// keeps the caller's. False when the command line is empty or the program could not be started.
bool RunProcess(const std::string& commandLine, bool wait, const std::string& currentDirectory);

// Brings forward a top-level window of a running process whose executable has the same file name as
// executablePath (the folder is not compared). False when one was found and activated, or when the
// process enumeration functions are unavailable; true when no such window exists.
bool ActivateRunningProgram(const std::string& executablePath);

// The executable file name (as the process snapshot gives it) of the process that owns the window,
// copied NUL-terminated into buffer (cut to size - 1 bytes). False when not found or size is 0.
bool GetProcessExecutableName(HWND window, char* buffer, size_t size);

// True on the NT family.
bool IsWindowsNT();

// Windows version codes.
enum WindowsKind {
  kWindowsUnknown = 0,
  kWindowsOld = 1,  // Win32s, 9x before 95, or an unknown 4.x
  kWindows95 = 2,
  kWindows95Osr2 = 3,
  kWindows98 = 4,
  kWindows98Se = 5,
  kWindowsMe = 6,
  kWindowsNt4 = 7,
  kWindows2000 = 8,
  kWindowsXp = 9,
  kWindowsServer2003 = 10,
  kWindowsNewer = 11,
};

// The code for this system; outServicePack (may be null) receives the service-pack major number
// (0 when only the basic version record is available). 0 when the version cannot be read.
int GetWindowsKind(int* outServicePack);

// The classification itself: platform id (VER_PLATFORM_*), version numbers and the service string.
int ClassifyWindowsVersion(DWORD platformId, DWORD major, DWORD minor, const char* serviceString);

// The shell's "open" (or the given verb) of the file with its associated program, shown normally.
bool OpenWithShell(HWND window, const std::string& file, const std::string& verb);

// Sets the desktop wallpaper to a bitmap, writing the user profile and telling every window.
bool SetDesktopWallpaper(const std::string& path);

// left <= x < right and top <= y < bottom.
bool IsPointInRect(const RECT& rect, const POINT& point);
// True when the rectangles share at least one point; an empty rectangle shares none.
bool RectsIntersect(const RECT& a, const RECT& b);
