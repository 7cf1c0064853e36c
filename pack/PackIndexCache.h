#pragma once
// The parsed indexes of pack archives, kept per pack file so that opening a member costs the same
// whatever the number of members. An index is used again only while the pack's path, size and
// last-write time are those it was read with; any change makes the next look-up read the file again.
// Copies that keep the time and size can still replace a pack unseen: the readers check the entry they
// use against the file (ZipFile.cpp) and drop an index that no longer matches. Only indexes that were
// read are kept, never a failure: a pack that could not be read (locked, out of memory) is tried again
// on the next look-up. At most a few packs are kept (the least recently used goes first). Safe to use
// from several threads; nothing is thrown.

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

// The index of the pack archive at `path`; null when the file is missing, is not a 4A pack, its index
// block does not lie whole inside the file or cannot be read, or the index is over its budget or does
// not fit in memory.
std::shared_ptr<const PackArchiveIndex> GetPackArchiveIndex(const std::string& path);

// Forgets the index kept for `path` if it is still `stale` (one found not to match the file).
void DropPackArchiveIndex(const std::string& path, const std::shared_ptr<const PackArchiveIndex>& stale);

// Forgets every kept index.
void ClearPackIndexCache();
