#pragma once
// The parsed indexes of pack archives, kept per pack file so that opening a member costs the same
// whatever the number of members. An index is used again only while the pack's path, size and
// last-write time are those it was read with; any change makes the next look-up read the file again.
// At most a few packs are kept (the least recently used goes first). Safe to use from several threads.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "pack/PackFormat.h"

struct PackStamp {
  uint64_t size = 0;
  uint64_t lastWrite = 0;
  bool operator==(const PackStamp& other) const { return size == other.size && lastWrite == other.lastWrite; }
};

// Size and last-write time of a file; false when it is missing or a folder.
bool GetPackStamp(const std::string& path, PackStamp* stamp);

struct PackArchiveIndex {
  PackStamp stamp;
  uint32_t indexLength = 0;  // as the header declares it
  PackIndex index;
};

// The index of the pack archive at `path`; null when the file is missing, is not a 4A pack, or its
// index block does not lie whole inside the file or cannot be read.
std::shared_ptr<const PackArchiveIndex> GetPackArchiveIndex(const std::string& path);

// Forgets every kept index.
void ClearPackIndexCache();
