#pragma once
// The raw file: the owner of one operating-system file handle, with whole-buffer reads and writes that
// retry. Null is the only "no handle" value kept; the platform's invalid-handle result is turned into
// null where it comes in. Sizes and positions are 32-bit byte counts, except GetSize64. Failures are
// reported only by the results (false, 0 or all ones); a failed Read or Write leaves the position where
// it began. One object is used by one thread at a time.

#include <windows.h>

#include <cstdint>
#include <string>

class CNativeFile {
 public:
  CNativeFile() = default;
  virtual ~CNativeFile();
  CNativeFile(const CNativeFile&) = delete;
  CNativeFile& operator=(const CNativeFile&) = delete;

  // Every open first closes what was open, even when the new open fails.
  // An existing file, for reading, shared with other readers.
  bool OpenRead(const char* path);
  bool OpenRead(const std::string& path) { return OpenRead(path.c_str()); }
  // For reading and writing, not shared, created if missing. truncate: empty, at 0; otherwise the
  // contents are kept and the position is at the end. Write-through when writeThrough is set.
  bool OpenWrite(const char* path, bool truncate);
  bool OpenWrite(const std::string& path, bool truncate) { return OpenWrite(path.c_str(), truncate); }
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }
  bool IsOpenForWrite() const { return openForWrite_; }

  // Exactly `count` bytes at the position; true only if all were transferred. Reading 0 bytes succeeds;
  // writing 0 bytes fails.
  bool Read(void* buffer, DWORD count);
  bool Write(const void* buffer, DWORD count);

  // origin: FILE_BEGIN, FILE_CURRENT or FILE_END.
  bool Seek(LONG distance, DWORD origin);
  // To any offset from the start, past 4 GiB too (offsets above what the file system allows fail).
  bool SeekTo64(uint64_t offset);
  // 0 when closed, on failure, or past what 32 bits hold.
  DWORD Tell() const;
  // The full position; all ones when closed or when it cannot be read.
  uint64_t Tell64() const;
  bool Rewind() { return Seek(0, FILE_BEGIN); }
  // The low 32 bits of the size; 0xFFFFFFFF when closed or when the size cannot be read.
  DWORD GetSize() const;
  // The full size; all ones when closed or when the size cannot be read.
  uint64_t GetSize64() const;

  // Files opened for writing afterwards are opened write-through. The owner sets it before OpenWrite.
  bool writeThrough = false;

 private:
  bool GetPosition(uint64_t* position) const;
  bool SetPosition(uint64_t position);
  void Advance(DWORD bytes);
  bool AtEnd() const;

  HANDLE handle_ = nullptr;
  bool openForWrite_ = false;
  // The handle is this object's alone, so its position changes only through the calls below; keeping it
  // saves a system call per Read and Write. Unknown after a failed call: then it is asked for again.
  mutable uint64_t position_ = 0;
  mutable bool positionKnown_ = false;
};
