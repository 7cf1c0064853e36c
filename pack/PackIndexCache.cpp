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
  std::shared_ptr<PackArchiveIndex> result(new (std::nothrow) PackArchiveIndex);
  if (!result) return nullptr;
  result->stamp = stamp;
  result->indexLength = indexLength;
  result->index = PackIndex(block.get(), indexLength);
  if (!result->index.IsUsable()) return nullptr;
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
    if (!index) {
      // A failure may pass (a writer's lock, memory): never remembered, and what was kept goes.
      if (slot) kept_.erase(kept_.begin() + (slot - kept_.data()));
      return nullptr;
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

  void Drop(const std::string& path, const std::shared_ptr<const PackArchiveIndex>& stale) {
    CCriticalLock lock(CSingleton<CPackIndexCache>::GetSection());
    for (size_t i = 0; i < kept_.size(); ++i) {
      if (kept_[i].path == path && kept_[i].index == stale) {
        kept_.erase(kept_.begin() + i);
        return;
      }
    }
  }

  void Clear() {
    CCriticalLock lock(CSingleton<CPackIndexCache>::GetSection());
    kept_.clear();
  }

 private:
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
  // The copies of paths and the kept list allocate: running out of memory is a pack not read.
  try {
    return CSingleton<CPackIndexCache>::Get()->Get(path);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void DropPackArchiveIndex(const std::string& path, const std::shared_ptr<const PackArchiveIndex>& stale) {
  CSingleton<CPackIndexCache>::Get()->Drop(path, stale);
}

void ClearPackIndexCache() { CSingleton<CPackIndexCache>::Get()->Clear(); }
