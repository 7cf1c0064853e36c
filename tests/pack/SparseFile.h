#pragma once
// Files of 4 GiB and more for tests, made sparse so they cost next to no disk: zero bytes except
// the pieces given.

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// Writes a file of `size` bytes holding `pieces` (offset, bytes) and zeros elsewhere. False when the
// file system cannot hold it (then the caller skips).
inline bool MakeSparseFile(const std::string& path, uint64_t size,
                           const std::vector<std::pair<uint64_t, std::string>>& pieces) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);  // best effort
  bool made = true;
  for (const auto& piece : pieces) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(piece.first);
    DWORD written = 0;
    made = made && SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
           WriteFile(file, piece.second.data(), static_cast<DWORD>(piece.second.size()), &written, nullptr) &&
           written == piece.second.size();
  }
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  made = made && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  if (!made) DeleteFileA(path.c_str());
  return made;
}

}  // namespace testing_support
