#pragma once
// Path and folder helpers that need the operating system: full paths, the running executable's folder,
// the machine's well-known folders, the current directory, making folders, free disk space, the error
// mode, and the shell's folder and file pickers. Paths are byte strings in the system code page; every
// helper that the system fills uses a 260-byte buffer, and a result that does not fit counts as a
// failure. Failure gives an empty string, false or 0.

#include <windows.h>
#include <shtypes.h>

#include <cstdint>
#include <string>

#include "foundation/PathText.h"

// An absolute path with its separators normalised, or a relative one resolved against the current
// directory by the system.
std::string GetFullPath(const std::string& path);

// path resolved against base (the current directory when base is empty), honouring leading ".\\" and
// "..\\"; an absolute path is returned as given, an empty one gives an empty result.
std::string ResolvePath(const std::string& base, const std::string& path);

// printf-style formatting by wvsprintfA (at most 1024 characters); one final line feed is removed.
std::string FormatString(const char* format, ...);

std::string GetModulePath();       // full file name of the running executable
std::string GetModuleDirectory();  // its folder, without a trailing '\\' (C: for an executable in C:'s root)
std::string GetProgramFilesPath();
std::string GetDesktopPath();
std::string GetTempDirectory();  // with its trailing '\\'
std::string GetWindowsDirectoryPath();
std::string GetSpecialFolderPath(int csidl);
std::string GetCurrentDirectoryPath();
bool ChangeCurrentDirectory(const std::string& path);

// One folder; false when it exists already or cannot be made.
bool MakeDirectory(const std::string& path);
// Makes every missing ancestor of the path, not the path itself.
void CreateParentDirectories(const std::string& path);
// Every missing ancestor, then the folder itself; the result is that of the folder itself.
bool CreateDirectoryTree(const std::string& path);
bool RemoveFile(const std::string& path);

// Bytes free to the caller on the volume that holds the path; 0 when it cannot be queried.
uint64_t GetDiskFreeBytes(const std::string& path);

// Whether the local-machine registry root opens with full access; asked once, then remembered.
bool CanWriteLocalMachine();

// While one lives, a drive that is not ready makes file calls fail instead of showing the system's
// critical-error box. Restores the previous error mode when it goes.
class CErrorModeGuard {
 public:
  CErrorModeGuard();
  virtual ~CErrorModeGuard();
  CErrorModeGuard(const CErrorModeGuard&) = delete;
  CErrorModeGuard& operator=(const CErrorModeGuard&) = delete;

 private:
  UINT previousMode_;
};

// The shell's folder picker with initialFolder selected; empty when cancelled. The calling thread must
// have COM initialised.
std::string BrowseForFolder(HWND owner, const std::string& title, const std::string& initialFolder);

// The common open and save dialogs; the chosen path, or empty when cancelled. The current directory is
// the same afterwards. An empty defaultExtension or initialFolder means none.
std::string ShowOpenFileDialog(HWND owner, HINSTANCE instance, const std::string& defaultExtension,
                               const std::string& initialFolder, const std::string& fileName, const std::string& title);
std::string ShowSaveFileDialog(HWND owner, HINSTANCE instance, const std::string& defaultExtension,
                               const std::string& initialFolder, const std::string& fileName, const std::string& title);

namespace folders_internal {

using DiskFreeSpaceExFunction = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
using DiskFreeSpaceFunction = BOOL(WINAPI*)(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD);

// GetDiskFreeBytes with the entry points given: freeSpaceEx when the system has it (null when not),
// else freeSpace.
uint64_t GetDiskFreeBytesUsing(const std::string& path, DiskFreeSpaceExFunction freeSpaceEx,
                               DiskFreeSpaceFunction freeSpace);

// The file-system path of a shell item list; empty when it has none or it does not fit 260 bytes.
std::string PathFromItemList(LPCITEMIDLIST list);

// The folder part of an executable's file name, without a trailing '\\'.
std::string ModuleDirectoryOf(const std::string& moduleFileName);

}  // namespace folders_internal
