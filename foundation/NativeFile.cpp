#include "foundation/NativeFile.h"

namespace {
constexpr int kAttempts = 10;

// Keeps the error of the call that failed across the position restore that follows it, so that the
// caller reads the reason of the failure from GetLastError.
class LastErrorKeeper {
 public:
  void Remember() { error_ = GetLastError(); }
  bool Fail() const {
    SetLastError(error_);
    return false;
  }

 private:
  DWORD error_ = ERROR_SUCCESS;
};

HANDLE NullIfInvalid(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }
}  // namespace

CNativeFile::~CNativeFile() { Close(); }

bool CNativeFile::OpenRead(const char* path) {
  Close();
  position_ = 0;
  positionKnown_ = true;
  if (!path) return false;
  handle_ = NullIfInvalid(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  return handle_ != nullptr;
}

bool CNativeFile::OpenWrite(const char* path, bool truncate) {
  Close();
  position_ = 0;
  positionKnown_ = true;
  if (!path) return false;
  DWORD flags = FILE_ATTRIBUTE_NORMAL | (writeThrough ? FILE_FLAG_WRITE_THROUGH : 0);
  handle_ = NullIfInvalid(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      truncate ? CREATE_ALWAYS : OPEN_ALWAYS, flags, nullptr));
  if (!handle_) return false;
  if (!truncate && !Seek(0, FILE_END)) {
    Close();
    return false;
  }
  openForWrite_ = true;
  return true;
}

void CNativeFile::Close() {
  if (handle_) {
    CloseHandle(handle_);
    handle_ = nullptr;
  }
  openForWrite_ = false;
  positionKnown_ = false;
}

bool CNativeFile::GetPosition(uint64_t* position) const {
  if (!handle_) return false;
  if (!positionKnown_) {
    LARGE_INTEGER zero = {}, now = {};
    if (!SetFilePointerEx(handle_, zero, &now, FILE_CURRENT)) return false;
    position_ = static_cast<uint64_t>(now.QuadPart);
    positionKnown_ = true;
  }
  *position = position_;
  return true;
}

bool CNativeFile::SetPosition(uint64_t position) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(position);
  positionKnown_ = handle_ && SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN);
  position_ = position;
  return positionKnown_;
}

void CNativeFile::Advance(DWORD bytes) { position_ += bytes; }

// Whether the position is at the end of the file (a short read that stopped there cannot be retried).
bool CNativeFile::AtEnd() const {
  uint64_t position = 0;
  return GetPosition(&position) && position == GetSize64();
}

bool CNativeFile::Read(void* buffer, DWORD count) {
  if (!handle_) return false;
  if (count == 0) return true;
  if (!buffer) return false;
  BYTE* bytes = static_cast<BYTE*>(buffer);
  uint64_t start = 0;
  if (!GetPosition(&start)) start = 0;

  LastErrorKeeper error;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    DWORD got = 0;
    if (!ReadFile(handle_, bytes, count, &got, nullptr)) {
      error.Remember();
      SetPosition(start);
      continue;
    }
    Advance(got);
    if (got == count) return true;
    // A short read: more than remains in the file, or the system delivered part of it.
    if (AtEnd()) break;
    if (got == 0) return false;
    DWORD total = got;
    for (;;) {
      DWORD more = 0;
      if (!ReadFile(handle_, bytes + total, count - total, &more, nullptr)) {
        error.Remember();
        break;
      }
      Advance(more);
      if (more == 0) {
        // The file shrank under us: nothing more will come.
        SetPosition(start);
        return false;
      }
      total += more;
      if (total == count) return true;
      if (AtEnd()) break;
    }
    SetPosition(start);
  }
  SetPosition(start);
  return error.Fail();
}

bool CNativeFile::Write(const void* buffer, DWORD count) {
  if (!handle_) return false;
  // Writing nothing never succeeds; the position stays.
  if (count == 0 || !buffer) return false;
  const BYTE* bytes = static_cast<const BYTE*>(buffer);
  uint64_t start = 0;
  if (!GetPosition(&start)) start = 0;

  LastErrorKeeper error;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    DWORD total = 0;
    for (;;) {
      DWORD wrote = 0;
      if (!WriteFile(handle_, bytes + total, count - total, &wrote, nullptr) || wrote == 0) {
        error.Remember();
        break;
      }
      Advance(wrote);
      total += wrote;
      if (total == count) return true;
    }
    SetPosition(start);
  }
  SetPosition(start);
  return error.Fail();
}

bool CNativeFile::Seek(LONG distance, DWORD origin) {
  if (!handle_) return false;
  LARGE_INTEGER move, now = {};
  move.QuadPart = distance;
  positionKnown_ = SetFilePointerEx(handle_, move, &now, origin) != FALSE;
  position_ = static_cast<uint64_t>(now.QuadPart);
  return positionKnown_;
}

bool CNativeFile::SeekTo64(uint64_t offset) {
  if (!handle_ || offset > uint64_t(INT64_MAX)) return false;
  return SetPosition(offset);
}

uint64_t CNativeFile::Tell64() const {
  uint64_t position = 0;
  return GetPosition(&position) ? position : ~uint64_t{0};
}

DWORD CNativeFile::Tell() const {
  uint64_t position = 0;
  if (!GetPosition(&position) || position > 0xFFFFFFFFu) return 0;
  return static_cast<DWORD>(position);
}

DWORD CNativeFile::GetSize() const { return static_cast<DWORD>(GetSize64()); }

uint64_t CNativeFile::GetSize64() const {
  LARGE_INTEGER size = {};
  if (!handle_ || !GetFileSizeEx(handle_, &size)) return ~uint64_t{0};
  return static_cast<uint64_t>(size.QuadPart);
}
