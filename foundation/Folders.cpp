#include "foundation/Folders.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstdarg>
#include <cstring>
#include <vector>

#include "foundation/AnsiText.h"
#include "foundation/DebugPrint.h"
#include "foundation/Registry.h"
#include "foundation/ShiftJis.h"
#include "foundation/SystemLibrary.h"

namespace {

constexpr DWORD kPathBuffer = 260;

// The shell and the common dialogs are loaded only when one of these is first called.
template <typename Function>
Function ShellFunction(const char* name) {
  return GetSystemFunction<Function>("shell32.dll", name);
}

// The pre-Windows 2000 form of the dialog structure: 76 bytes in a 32-bit program.
static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAME_NT4A) == 76, "OPENFILENAME_NT4A must be the 76-byte form");

// A result the system wrote into a kPathBuffer buffer, given the length it returned: calls of this kind
// return 0 on failure and the size they would need when the buffer is too small.
std::string FittedResult(const char* buffer, DWORD length) {
  if (length == 0 || length >= kPathBuffer) return std::string();
  return std::string(buffer, strnlen(buffer, length));
}

// The executable's file name when it fits a 260-byte buffer, else empty. (GetModuleFileNameA may cut a
// long double-byte name to what fits and report success.)
std::string ModuleFileNameThatFits() {
  std::string name;
  if (!GetModuleFileNameText(nullptr, name) || name.size() >= kPathBuffer) return std::string();
  return name;
}

// Frees an item list through the shell's allocator.
void FreeItemList(LPITEMIDLIST list) {
  if (!list) return;
  IMalloc* allocator = nullptr;
  auto getMalloc = ShellFunction<decltype(&SHGetMalloc)>("SHGetMalloc");
  if (getMalloc && SUCCEEDED(getMalloc(&allocator)) && allocator) {
    allocator->Free(list);
    allocator->Release();
  }
}

// Reads one string value for GetProgramFilesPath and GetDesktopPath, with their diagnostics.
std::string ReadFolderValue(HKEY root, const char* key, const char* value, const char* openFailed,
                            const char* readFailed) {
  CRegistry registry(root);
  if (!registry.Open(key, KEY_QUERY_VALUE)) {
    DebugPrint(openFailed);
    return std::string();
  }
  std::string text;
  if (!registry.ReadString(value, text)) {
    DebugPrint(readFailed);
    return std::string();
  }
  return text;
}

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM initialFolder) {
  if (message == BFFM_INITIALIZED) SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, initialFolder);
  return 0;
}

// The open and save dialogs differ only in the call and the flags.
std::string ShowFileDialog(bool save, HWND owner, HINSTANCE instance, const std::string& defaultExtension,
                           const std::string& initialFolder, const std::string& fileName, const std::string& title) {
  const std::string savedDirectory = GetCurrentDirectoryPath();

  char file[kPathBuffer] = {};
  fileName.copy(file, kPathBuffer - 1);
  const std::string folder = initialFolder.empty() ? std::string() : GetFullPath(initialFolder);

  OPENFILENAME_NT4A dialog;
  std::memset(&dialog, 0, sizeof dialog);
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.hInstance = instance;
  dialog.lpstrFile = file;
  dialog.nMaxFile = kPathBuffer;
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrTitle = title.c_str();
  dialog.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
  dialog.Flags = save ? OFN_HIDEREADONLY : (OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY);

  LPOPENFILENAMEA common = reinterpret_cast<LPOPENFILENAMEA>(&dialog);
  auto show =
      GetSystemFunction<decltype(&GetOpenFileNameA)>("comdlg32.dll", save ? "GetSaveFileNameA" : "GetOpenFileNameA");
  BOOL chosen = show ? show(common) : FALSE;
  file[kPathBuffer - 1] = '\0';
  std::string result = chosen ? std::string(file) : std::string();

  ChangeCurrentDirectory(savedDirectory);
  return result;
}

}  // namespace

std::string GetFullPath(const std::string& path) {
  if (IsAbsolutePath(path)) return CollapseBackslashes(SlashToBackslash(path));
  char full[kPathBuffer] = {};
  DWORD length = GetFullPathNameA(path.c_str(), kPathBuffer, full, nullptr);
  return FittedResult(full, length);
}

std::string ResolvePath(const std::string& base, const std::string& path) {
  if (path.empty()) return std::string();
  if (IsAbsolutePath(path)) return path;
  std::string resolved = SlashToBackslash(base.empty() ? GetCurrentDirectoryPath() : base);
  std::string rest = SlashToBackslash(path);
  while (!rest.empty()) {
    if (rest.compare(0, 3, "..\\") == 0) {
      resolved = GetParentDirectory(resolved);
      rest.erase(0, 3);
    } else if (rest.compare(0, 2, ".\\") == 0) {
      rest.erase(0, 2);
    } else {
      // The first component, up to and including its separator (a trail byte 0x5C is not one).
      size_t end = rest.size();
      for (size_t i = 0; i < rest.size();) {
        size_t length = ShiftJisCharLength(rest, i);
        if (length == 1 && rest[i] == '\\') {
          end = i + 1;
          break;
        }
        i += length;
      }
      resolved = CollapseBackslashes(resolved + "\\" + rest.substr(0, end));
      rest.erase(0, end);
    }
  }
  return resolved;
}

std::string FormatString(const char* format, ...) {
  if (!format) return std::string();
  // wvsprintfA writes at most 1024 bytes.
  char text[1025] = {};
  va_list args;
  va_start(args, format);
  wvsprintfA(text, format, args);
  va_end(args);
  text[sizeof text - 1] = '\0';
  std::string result = text;
  if (!result.empty() && result.back() == '\n') result.pop_back();
  return result;
}

std::string GetModulePath() {
  std::string fileName = ModuleFileNameThatFits();
  return fileName.empty() ? fileName : GetFullPath(fileName);
}

std::string GetModuleDirectory() {
  std::string fileName = ModuleFileNameThatFits();
  return fileName.empty() ? fileName : folders_internal::ModuleDirectoryOf(fileName);
}

std::string GetProgramFilesPath() {
  return ReadFolderValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                         "GetProgramFilesPath() レジストリオープンに失敗",
                         "GetProgramFilesPath() レジストリ値取得に失敗");
}

std::string GetDesktopPath() {
  return ReadFolderValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                         "Desktop", "GetDesktopPath() レジストリオープンに失敗",
                         "GetDesktopPath() レジストリ値取得に失敗");
}

std::string GetTempDirectory() {
  char path[kPathBuffer] = {};
  DWORD length = GetTempPathA(kPathBuffer, path);
  return FittedResult(path, length);
}

std::string GetWindowsDirectoryPath() {
  char path[kPathBuffer] = {};
  UINT length = GetWindowsDirectoryA(path, kPathBuffer);
  return FittedResult(path, length);
}

std::string GetSpecialFolderPath(int csidl) {
  LPITEMIDLIST list = nullptr;
  auto location = ShellFunction<decltype(&SHGetSpecialFolderLocation)>("SHGetSpecialFolderLocation");
  if (!location || FAILED(location(nullptr, csidl, &list)) || !list) return std::string();
  std::string path = folders_internal::PathFromItemList(list);
  FreeItemList(list);
  return path;
}

std::string GetCurrentDirectoryPath() {
  char path[kPathBuffer] = {};
  DWORD length = GetCurrentDirectoryA(kPathBuffer, path);
  return FittedResult(path, length);
}

bool ChangeCurrentDirectory(const std::string& path) { return SetCurrentDirectoryA(path.c_str()) != FALSE; }

bool MakeDirectory(const std::string& path) {
  if (path.empty()) return false;
  return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

void CreateParentDirectories(const std::string& path) {
  // The chain of ancestors, nearest first; each has a parent of its own until the top is reached.
  std::vector<std::string> ancestors;
  std::string current = path;
  for (;;) {
    std::string parent = GetParentDirectory(current);
    if (parent == current) break;
    ancestors.push_back(parent);
    current = parent;
  }
  for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) MakeDirectory(*it);
}

bool CreateDirectoryTree(const std::string& path) {
  CreateParentDirectories(path);
  return MakeDirectory(path);
}

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

uint64_t GetDiskFreeBytes(const std::string& path) {
  folders_internal::DiskFreeSpaceExFunction freeSpaceEx = nullptr;
  if (HMODULE kernel = GetModuleHandleA("kernel32.dll")) {
    freeSpaceEx = reinterpret_cast<folders_internal::DiskFreeSpaceExFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")));
  }
  return folders_internal::GetDiskFreeBytesUsing(path, freeSpaceEx, &GetDiskFreeSpaceA);
}

bool CanWriteLocalMachine() {
  static const bool canWrite = [] {
    CRegistry root(HKEY_LOCAL_MACHINE);
    return root.Open("", kRegistryFullAccess);
  }();
  return canWrite;
}

CErrorModeGuard::CErrorModeGuard() : previousMode_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}

CErrorModeGuard::~CErrorModeGuard() { SetErrorMode(previousMode_); }

std::string BrowseForFolder(HWND owner, const std::string& title, const std::string& initialFolder) {
  char displayName[kPathBuffer] = {};
  BROWSEINFOA info;
  std::memset(&info, 0, sizeof info);
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;
  info.pszDisplayName = displayName;
  info.lpszTitle = title.c_str();
  info.ulFlags = 0;
  info.lpfn = &BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(initialFolder.c_str());
  auto browse = ShellFunction<decltype(&SHBrowseForFolderA)>("SHBrowseForFolderA");
  LPITEMIDLIST chosen = browse ? browse(&info) : nullptr;
  if (!chosen) return std::string();
  std::string path = folders_internal::PathFromItemList(chosen);
  FreeItemList(chosen);
  return path;
}

std::string ShowOpenFileDialog(HWND owner, HINSTANCE instance, const std::string& defaultExtension,
                               const std::string& initialFolder, const std::string& fileName,
                               const std::string& title) {
  return ShowFileDialog(false, owner, instance, defaultExtension, initialFolder, fileName, title);
}

std::string ShowSaveFileDialog(HWND owner, HINSTANCE instance, const std::string& defaultExtension,
                               const std::string& initialFolder, const std::string& fileName,
                               const std::string& title) {
  return ShowFileDialog(true, owner, instance, defaultExtension, initialFolder, fileName, title);
}

namespace folders_internal {

uint64_t GetDiskFreeBytesUsing(const std::string& path, DiskFreeSpaceExFunction freeSpaceEx,
                               DiskFreeSpaceFunction freeSpace) {
  // The path goes through a 260-byte buffer; a longer one names no volume we could query.
  if (path.size() >= kPathBuffer) return 0;
  char root[kPathBuffer] = {};
  path.copy(root, path.size());

  if (freeSpaceEx) {
    ULARGE_INTEGER available, total, free;
    if (!freeSpaceEx(root, &available, &total, &free)) return 0;
    return available.QuadPart;
  }
  if (!freeSpace) return 0;
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!freeSpace(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) return 0;
  // In 64 bits: a volume with more than 4 GiB free must not wrap.
  return static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector * freeClusters;
}

std::string PathFromItemList(LPCITEMIDLIST list) {
  // The wide form: the ANSI one cuts a path of more than 260 bytes to what fits, without its
  // terminator, and reports success.
  wchar_t path[MAX_PATH + 1] = {};
  auto pathFromList = ShellFunction<decltype(&SHGetPathFromIDListW)>("SHGetPathFromIDListW");
  if (!list || !pathFromList || !pathFromList(list, path)) return std::string();
  path[MAX_PATH] = L'\0';
  std::string ansi;
  if (!WideToAnsi(path, ansi) || ansi.size() >= kPathBuffer) return std::string();
  return ansi;
}

std::string ModuleDirectoryOf(const std::string& moduleFileName) {
  PathParts parts = SplitPath(GetFullPath(moduleFileName));
  std::string folder = parts.drive + parts.directory;
  // Only a backslash of its own ends the folder; the trail byte of ソ does not.
  size_t last = std::string::npos;
  for (size_t i = 0; i < folder.size();) {
    size_t length = ShiftJisCharLength(folder, i);
    last = length == 1 ? i : std::string::npos;
    i += length;
  }
  if (last != std::string::npos && folder[last] == '\\') folder.erase(last);
  return folder;
}

}  // namespace folders_internal
