#include "pack/PlainFile.h"

bool CPlainFile::Create(const std::string& path, int mode) { return file_.OpenWrite(path, mode != 0); }

int CPlainFile::Open(const std::string& path) { return file_.OpenRead(path) ? 1 : 0; }

uint32_t CPlainFile::Read(void* buffer, uint32_t size, uint32_t count) {
  if (size == 0 || count == 0 || !file_.IsOpen()) return 0;
  uint64_t wanted = uint64_t(size) * count;
  if (wanted <= MAXDWORD && file_.Read(buffer, static_cast<DWORD>(wanted))) return count;
  // A request past the end: whatever lies between the position and the end, in whole elements. The
  // failed read above left the position where it was.
  uint64_t position = file_.Tell();
  uint64_t fileSize = file_.GetSize64();
  if (fileSize == ~uint64_t(0) || position >= fileSize || position + wanted <= fileSize) return 0;
  uint64_t rest = fileSize - position;
  if (rest > MAXDWORD || !file_.Read(buffer, static_cast<DWORD>(rest))) return 0;
  return static_cast<uint32_t>(rest / size);
}

uint32_t CPlainFile::Write(const void* buffer, uint32_t size, uint32_t count) {
  if (size == 0 || count == 0) return 0;
  uint64_t wanted = uint64_t(size) * count;
  if (wanted > MAXDWORD || !file_.Write(buffer, static_cast<DWORD>(wanted))) return 0;
  return count;
}

bool CPlainFile::Seek(int32_t offset, int origin) {
  static const DWORD kOrigins[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  if (origin < 0 || origin > 2) return false;
  return file_.Seek(offset, kOrigins[origin]);
}
