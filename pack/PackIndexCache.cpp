#include "pack/PackIndexCache.h"

#include <new>
#include <vector>

#include "foundation/CriticalSection.h"
#include "foundation/NativeFile.h"
#include "foundation/Singleton.h"

namespace {

constexpr size_t kKeptPacks = 16;

// Reads the header and index of a pack archive; null when it is not one or cannot be read whole.
std::shared_ptr<const PackArchiveIndex> ReadPackArchiveIndex(const std::string& path, const PackStamp& stamp) {
  CNativeFile file;
  if (!file.OpenRead(path)) return nullptr;
  uint64_t fileSize = file.GetSize64();
  uint8_t header[kPackHeaderSize];
  uint32_t indexLength;
  if (fileSize == ~uint64_t(0) || !file.Read(header, sizeof header) ||
      !ReadPackHeader(header, sizeof header, PackVariant::kArchive, &indexLength) ||
      indexLength > fileSize - kPackHeaderSize) {
    return nullptr;
  }
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[indexLength ? indexLength : 1]);
  if (!block || !file.Read(block.get(), indexLength)) return nullptr;
  auto result = std::make_shared<PackArchiveIndex>();
  result->stamp = stamp;
  result->indexLength = indexLength;
  result->index = PackIndex(block.get(), indexLength);
  return result;
}

}  // namespace

class CPackIndexCache {
 public:
  std::shared_ptr<const PackArchiveIndex> Get(const std::string& path) {
    PackStamp stamp;
    if (!GetPackStamp(path, &stamp)) return nullptr;
    {
      CCriticalLock lock(CSingleton<CPackIndexCache>::GetSection());
      for (Kept& kept : kept_) {
        if (kept.path == path && kept.stamp == stamp) {
          kept.lastUse = ++clock_;
          return kept.index;
        }
      }
    }
    // Read outside the lock: other threads' look-ups need not wait for this file.
    std::shared_ptr<const PackArchiveIndex> index = ReadPackArchiveIndex(path, stamp);
    PackStamp after;
    if (!GetPackStamp(path, &after) || !(after == stamp)) return index;  // changed meanwhile: not kept
    CCriticalLock lock(CSingleton<CPackIndexCache>::GetSection());
    Kept* slot = nullptr;
    for (Kept& kept : kept_) {
      if (kept.path == path) slot = &kept;
    }
    if (!slot && kept_.size() < kKeptPacks) {
      kept_.emplace_back();
      slot = &kept_.back();
    }
    if (!slot) {
      slot = &kept_.front();
      for (Kept& kept : kept_) {
        if (kept.lastUse < slot->lastUse) slot = &kept;
      }
    }
    slot->path = path;
    slot->stamp = stamp;
    slot->index = index;
    slot->lastUse = ++clock_;
    return index;
  }

  void Clear() {
    CCriticalLock lock(CSingleton<CPackIndexCache>::GetSection());
    kept_.clear();
  }

 private:
  // A pack that is not a readable archive is kept too (with a null index), so it is not read again.
  struct Kept {
    std::string path;
    PackStamp stamp;
    std::shared_ptr<const PackArchiveIndex> index;
    uint64_t lastUse = 0;
  };
  std::vector<Kept> kept_;
  uint64_t clock_ = 0;
};

bool GetPackStamp(const std::string& path, PackStamp* stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  stamp->size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  stamp->lastWrite = uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
  return true;
}

std::shared_ptr<const PackArchiveIndex> GetPackArchiveIndex(const std::string& path) {
  return CSingleton<CPackIndexCache>::Get()->Get(path);
}

void ClearPackIndexCache() { CSingleton<CPackIndexCache>::Get()->Clear(); }
