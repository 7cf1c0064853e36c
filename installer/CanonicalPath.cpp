#include "installer/CanonicalPath.h"

#include <windows.h>

#include <vector>

#include "foundation/PathText.h"
#include "installer/UninstallPaths.h"

std::string GetCanonicalPath(const std::string& path) {
  if (path.empty()) return std::string();
  // Separators are made one '\\' each first: the system's treatment of "a//b" differs between versions
  // (one has been seen to cut the path short there).
  const std::string asked = IsDriveRoot(path) ? path.substr(0, 2) + "\\" : CollapseBackslashes(SlashToBackslash(path));
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetFullPathNameA(asked.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) return std::string();
    if (length < buffer.size()) {
      std::string full(buffer.data(), length);
      if (!IsPlainFullPath(full)) return std::string();
      if (full.size() > 3 && EndsWithSeparator(full)) full.pop_back();
      return full;
    }
    if (length > 32768) return std::string();
    buffer.resize(length + 1);
  }
}

namespace {

bool IdentityOf(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  // No access but attributes, sharing everything, folders too: a running program's own file opens so.
  HANDLE handle =
      CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool got = GetFileInformationByHandle(handle, &info) != FALSE;
  CloseHandle(handle);
  return got;
}

}  // namespace

bool IsSameFile(const std::string& first, const std::string& second) {
  BY_HANDLE_FILE_INFORMATION a = {}, b = {};
  if (first.empty() || second.empty() || !IdentityOf(first, a) || !IdentityOf(second, b)) return false;
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}
