#pragma once
// The two .pak formats, on bytes in memory. Every file starts with a 14-byte header: "VEMAPACK", the
// variant ("4A" pack archive, "4S" single-file pack) and a 32-bit little-endian number (4A: length of
// the index block that follows; 4S: length of the stored file name that follows).
//
// Pack archive: the index is a run of entries [name length N with its zero][name][offset ^ key]
// [length ^ key] ended by N = 0; each entry points at a stored block (ZipCodec.h) elsewhere in the file.
// Single-file pack: [name, N bytes, no zero][offset ^ key][length ^ key] after the header.
// The key of a name is the wrapping sum of its bytes as signed 8-bit values, up to a zero byte.
//
// Every number comes from a file that may be damaged: walks stop at the end of what they were given,
// an entry that does not fit ends the index, and a stored block must lie inside the file. The readers
// (ZipFile.h) add only the file access; the whole-file decoders here serve the tests and fuzzing.
// No Win32 here.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

constexpr size_t kPackHeaderSize = 14;
constexpr uint32_t kMaxMemberNameSize = 264;  // an archive entry's name, its zero included
constexpr uint32_t kMaxSingleNameSize = 251;  // a single-file pack's stored name

enum class PackVariant { kArchive, kSingle };

// True when the 14 bytes are the magic and `variant`; `number` gets the header's 32-bit field.
bool ReadPackHeader(const uint8_t* header, size_t length, PackVariant variant, uint32_t* number);
std::string MakePackHeader(PackVariant variant, uint32_t number);

uint32_t ReadLittleEndian32(const uint8_t* bytes);
void AppendLittleEndian32(std::string& out, uint32_t value);

// The name key over at most `length` bytes, ending at a zero byte.
uint32_t PackNameKey(const char* name, size_t length);

// A wanted member name in the two forms a stored name may match: separators made '\\', runs of them
// collapsed, ASCII letters lowered; and the same with '/' (double-byte characters are left whole).
struct MemberNameForms {
  std::string backslash;
  std::string slash;
};
MemberNameForms NormaliseMemberName(const std::string& wanted);
// A stored name matches when its lower-case form equals either form exactly.
bool MemberNameMatches(const std::string& storedName, const MemberNameForms& forms);

// A stored block of `length` bytes at `offset` lies wholly inside a file of `fileSize` bytes and is
// long enough to hold a stream and its trailer.
bool IsStoredBlockInFile(uint64_t offset, uint64_t length, uint64_t fileSize);

struct PackEntry {
  std::string name;         // up to its zero
  uint32_t offset = 0;      // of the stored block, from the start of the file
  uint32_t length = 0;      // of the stored block
  uint32_t entryStart = 0;  // where the entry begins in the index block
  uint32_t entrySize = 0;   // bytes of the entry in the index block
};

// Reads the entry that starts `bytes` (at most `size` bytes of an index block). 1 an entry, 0 the end
// marker, -1 damage: the name length is above the limit or the entry runs past `size`. entryStart is
// left 0 for the caller to set.
int ReadPackEntry(const uint8_t* bytes, size_t size, PackEntry* entry);
// Whether two entries say the same: name, offset, length and place in the index.
bool SamePackEntry(const PackEntry& a, const PackEntry& b);

// What an index may make a reader hold in memory: its entries and their name bytes. The defaults fit
// many times over in a 32-bit process next to everything else it holds (about 50 MiB at worst), and
// far beyond what any folder of game data packs.
struct PackIndexBudget {
  uint32_t entries;
  uint64_t nameBytes;
};
constexpr PackIndexBudget kPackIndexBudget = {1u << 18, 16u << 20};

// The entries of an index block in their order, up to the end marker or to the first entry that runs
// past the block or has a name length above the limit (then IsDamaged). Find answers what a linear
// walk comparing every entry would, by binary search over the lower-case names (no hash a crafted
// index could make collide: building is n log n and a look-up log n, whatever the names).
// An index over its budget, or one that memory runs out for, holds no entries and is not usable (it
// also counts as damaged); nothing is thrown.
class PackIndex {
 public:
  PackIndex() = default;
  PackIndex(const uint8_t* block, size_t length, const PackIndexBudget& budget = kPackIndexBudget);

  size_t GetCount() const { return entries_.size(); }
  const PackEntry& GetAt(size_t i) const { return entries_.at(i); }
  bool IsDamaged() const { return damaged_ || !IsUsable(); }
  // False when the index was over its budget or could not be held in memory.
  bool IsUsable() const { return !overBudget_ && !outOfMemory_; }
  bool IsOverBudget() const { return overBudget_; }
  // The first entry, in index order, whose name matches; null when none does.
  const PackEntry* Find(const MemberNameForms& forms) const;
  const PackEntry* Find(const std::string& wanted) const { return Find(NormaliseMemberName(wanted)); }

 private:
  // The first entry, in index order, whose lower-case name is `lower`; UINT32_MAX when none is.
  uint32_t FirstWithLowerName(const std::string& lower) const;

  struct SortKey {
    uint32_t nameStart;  // in lowerNames_
    uint32_t nameSize;
    uint32_t entry;
  };
  std::vector<PackEntry> entries_;
  std::string lowerNames_;       // every entry's lower-case name, one after the other
  std::vector<SortKey> byName_;  // ordered by lower-case name, then by entry
  bool damaged_ = false;
  bool overBudget_ = false;
  bool outOfMemory_ = false;
};

// An index block for these entries (name, offset and length used), with its end marker.
std::string MakeIndexBlock(const std::vector<PackEntry>& entries);
// The bytes an index block for these names takes.
uint64_t IndexBlockSize(const std::vector<std::string>& names);

// What follows a single-file pack's header: the stored name (up to a zero) and the block's place.
struct SinglePackHead {
  std::string name;
  uint32_t offset = 0;
  uint32_t length = 0;
};
// `bytes` holds the N name bytes and the 8 bytes of the two numbers. False when N is above the limit.
bool ReadSinglePackHead(const uint8_t* bytes, uint32_t nameSize, SinglePackHead* head);

// Decodes the stored block (copied, since decoding changes it) into `out`. False on any damage.
bool DecodeStoredBlock(const uint8_t* block, uint32_t length, std::vector<uint8_t>* out);
// Encodes `size` bytes at zlib `level` into a stored block. False when memory runs out or the result
// would not fit 32 bits.
bool EncodeStoredBlock(const void* data, size_t size, int level, std::string* out);

// Whole files in memory. DecodePackArchiveMember: 1 decoded, 0 not a readable pack archive, -1 the
// member is not listed or its block is damaged. DecodeSinglePack: 1 decoded, 0 otherwise (also when
// the stored name is not `fileName`, compared ignoring single-byte letter case).
int DecodePackArchiveMember(const uint8_t* file, size_t fileSize, const std::string& member, std::vector<uint8_t>* out);
int DecodeSinglePack(const uint8_t* file, size_t fileSize, const std::string& fileName, std::vector<uint8_t>* out);

// Whole packs built in memory (tests, benchmarks, seeds). False when a name is too long or a member
// does not encode; the archive's members follow the index in the order given.
bool BuildPackArchive(const std::vector<std::pair<std::string, std::string>>& members, int level, std::string* out);
bool BuildSinglePack(const std::string& storedName, const std::string& bytes, int level, std::string* out);
