#include "pack/PlainFile.h"

bool CPlainFile::Create(const std::string& path, int mode) {
  large_ = false;
  if (!file_.OpenWrite(path, mode != 0)) return false;
  // Appending to a file that is already past what 32 bits describe is refused like opening it.
  if (file_.GetSize64() > 0xFFFFFFFFu) {
    file_.Close();
    return false;
  }
  return true;
}

int CPlainFile::Open(const std::string& path) {
  large_ = false;
  if (!file_.OpenRead(path)) return 0;
  if (file_.GetSize64() > 0xFFFFFFFFu) {  // also when the size cannot be read
    file_.Close();
    return 0;
  }
  return 1;
}

int CPlainFile::OpenLarge(const std::string& path) {
  large_ = true;
  return file_.OpenRead(path) ? 1 : 0;
}

uint32_t CPlainFile::Read(void* buffer, uint32_t size, uint32_t count) {
  if (size == 0 || count == 0 || !file_.IsOpen()) return 0;
  uint64_t wanted = uint64_t(size) * count;
  if (wanted <= MAXDWORD && file_.Read(buffer, static_cast<DWORD>(wanted))) return count;
  // A request past the end: whatever lies between the position and the end, in whole elements. The
  // failed read above left the position where it was.
  uint64_t position = file_.Tell64();
  uint64_t fileSize = file_.GetSize64();
  if (position == ~uint64_t(0) || fileSize == ~uint64_t(0) || position >= fileSize || position + wanted <= fileSize) {
    return 0;
  }
  uint64_t rest = fileSize - position;
  if (rest > MAXDWORD || !file_.Read(buffer, static_cast<DWORD>(rest))) return 0;
  return static_cast<uint32_t>(rest / size);
}

uint32_t CPlainFile::Write(const void* buffer, uint32_t size, uint32_t count) {
  if (size == 0 || count == 0) return 0;
  uint64_t wanted = uint64_t(size) * count;
  uint64_t position = file_.Tell64();
  if (wanted > MAXDWORD || position == ~uint64_t(0) || position + wanted > Limit() ||
      !file_.Write(buffer, static_cast<DWORD>(wanted))) {
    return 0;
  }
  return count;
}

uint32_t CPlainFile::GetSize() {
  uint64_t size = file_.GetSize64();
  return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
}

uint32_t CPlainFile::Tell() {
  uint64_t position = file_.Tell64();
  if (position == ~uint64_t(0)) return 0;  // closed, or unknown
  return position > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(position);
}

bool CPlainFile::Seek(int32_t offset, int origin) {
  if (origin < 0 || origin > 2 || !file_.IsOpen()) return false;
  uint64_t base = origin == 0 ? 0 : origin == 1 ? file_.Tell64() : file_.GetSize64();
  if (base == ~uint64_t(0)) return false;
  if (offset < 0 && uint64_t(-int64_t(offset)) > base) return false;  // before the start
  return SeekTo64(base + offset);
}

bool CPlainFile::SeekTo64(uint64_t offset) {
  if (offset > Limit()) return false;
  return file_.SeekTo64(offset);
}
