#include "pack/FileBase.h"

#include <cstring>

#include "foundation/DebugPrint.h"

bool CCompressFileBase::Create(const std::string&, int) {
  DebugPrint("CCompressFileBase::Create() 圧縮ファイルの作成には対応していません。");
  Close();
  return false;
}

uint32_t CCompressFileBase::Write(const void*, uint32_t, uint32_t) {
  DebugPrint("CCompressFileBase::Write() 圧縮ファイル書き出しには対応していません。");
  return 0;
}

int CCompressFileBase::Open(const std::string& path) {
  Close();
  int result = _Load(path);
  Rewind();
  return result;
}

void CCompressFileBase::Close() {
  ReleaseData();
  data_ = nullptr;
  size_ = 0;
  cursor_ = nullptr;
  position_ = 0;
}

void CCompressFileBase::SetData(const uint8_t* data, uint32_t size) {
  data_ = data;
  size_ = size;
  cursor_ = data;
  position_ = 0;
}

uint32_t CCompressFileBase::Read(void* buffer, uint32_t size, uint32_t count) {
  if (size == 0 || count == 0 || !data_ || position_ >= size_) return 0;
  uint64_t wanted = uint64_t(size) * count;
  uint32_t available = size_ - position_;
  if (wanted > available) {
    std::memcpy(buffer, cursor_, available);
    position_ += available;
    cursor_ += available;
    return available / size;
  }
  std::memcpy(buffer, cursor_, static_cast<size_t>(wanted));
  position_ += static_cast<uint32_t>(wanted);
  cursor_ += wanted;
  return count;
}

bool CCompressFileBase::Seek(int32_t offset, int origin) {
  uint32_t base;
  switch (origin) {
    case 0: base = 0; break;
    case 1: base = position_; break;
    case 2: base = size_; break;
    default: return false;
  }
  // Positions wrap like the unsigned 32-bit counters they are; one outside the file reads nothing. The
  // cursor is formed only for positions inside the buffer.
  position_ = base + static_cast<uint32_t>(offset);
  cursor_ = (data_ && position_ <= size_) ? data_ + position_ : nullptr;
  return true;
}
