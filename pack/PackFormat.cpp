#include "pack/PackFormat.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/PathText.h"
#include "pack/ZipCodec.h"

namespace {

const char kMagic[8] = {'V', 'E', 'M', 'A', 'P', 'A', 'C', 'K'};

const char* VariantText(PackVariant variant) { return variant == PackVariant::kArchive ? "4A" : "4S"; }

// The name as stored up to its first zero, at most `length` bytes.
std::string NameUpToZero(const uint8_t* bytes, size_t length) {
  const void* zero = std::memchr(bytes, 0, length);
  size_t size = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - bytes) : length;
  return std::string(reinterpret_cast<const char*>(bytes), size);
}

}  // namespace

uint32_t ReadLittleEndian32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void AppendLittleEndian32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

bool ReadPackHeader(const uint8_t* header, size_t length, PackVariant variant, uint32_t* number) {
  if (length < kPackHeaderSize || std::memcmp(header, kMagic, 8) != 0 ||
      std::memcmp(header + 8, VariantText(variant), 2) != 0) {
    return false;
  }
  *number = ReadLittleEndian32(header + 10);
  return true;
}

std::string MakePackHeader(PackVariant variant, uint32_t number) {
  std::string header(kMagic, 8);
  header += VariantText(variant);
  AppendLittleEndian32(header, number);
  return header;
}

uint32_t PackNameKey(const char* name, size_t length) {
  uint32_t key = 0;
  for (size_t i = 0; i < length && name[i] != 0; ++i)
    key += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(name[i])));
  return key;
}

MemberNameForms NormaliseMemberName(const std::string& wanted) {
  MemberNameForms forms;
  forms.backslash = ToLowerCase(CollapseBackslashes(SlashToBackslash(wanted)));
  forms.slash = BackslashToSlash(forms.backslash);
  return forms;
}

bool MemberNameMatches(const std::string& storedName, const MemberNameForms& forms) {
  std::string lower = ToLowerCase(storedName);
  return lower == forms.backslash || lower == forms.slash;
}

bool IsStoredBlockInFile(uint64_t offset, uint64_t length, uint64_t fileSize) {
  return length >= kMinStoredBlockLength && offset <= fileSize && length <= fileSize - offset;
}

int ReadPackEntry(const uint8_t* bytes, size_t size, PackEntry* entry) {
  if (size < 4) return -1;  // no end marker inside the block
  uint32_t nameSize = ReadLittleEndian32(bytes);
  if (nameSize == 0) return 0;
  if (nameSize > kMaxMemberNameSize || uint64_t(nameSize) + 12 > size) return -1;
  const uint8_t* name = bytes + 4;
  entry->name = NameUpToZero(name, nameSize);
  uint32_t key = PackNameKey(entry->name.data(), entry->name.size());
  entry->offset = ReadLittleEndian32(name + nameSize) ^ key;
  entry->length = ReadLittleEndian32(name + nameSize + 4) ^ key;
  entry->entryStart = 0;
  entry->entrySize = nameSize + 12;
  return 1;
}

bool SamePackEntry(const PackEntry& a, const PackEntry& b) {
  return a.name == b.name && a.offset == b.offset && a.length == b.length && a.entryStart == b.entryStart &&
         a.entrySize == b.entrySize;
}

PackIndex::PackIndex(const uint8_t* block, size_t length, const PackIndexBudget& budget) {
  // First a walk that only counts, so that an index over its budget costs no allocation at all and the
  // rest is allocated once, at its size.
  size_t count = 0;
  uint64_t nameBytes = 0;
  for (size_t position = 0;;) {
    if (length - position < 4) break;
    uint32_t nameSize = ReadLittleEndian32(block + position);
    if (nameSize == 0 || nameSize > kMaxMemberNameSize || uint64_t(nameSize) + 12 > length - position) break;
    const void* zero = std::memchr(block + position + 4, 0, nameSize);
    nameBytes += zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - (block + position + 4)) : nameSize;
    if (++count > budget.entries || nameBytes > budget.nameBytes) {
      overBudget_ = true;
      return;
    }
    position += nameSize + 12;
  }
  try {
    entries_.reserve(count);
    byName_.reserve(count);
    lowerNames_.reserve(static_cast<size_t>(nameBytes));
    size_t position = 0;
    for (;;) {
      PackEntry entry;
      int read = ReadPackEntry(block + position, length - position, &entry);
      if (read == 0) break;
      if (read < 0) {
        damaged_ = true;
        break;
      }
      entry.entryStart = static_cast<uint32_t>(position);
      position += entry.entrySize;
      std::string lower = ToLowerCase(entry.name);
      byName_.push_back({static_cast<uint32_t>(lowerNames_.size()), static_cast<uint32_t>(lower.size()),
                         static_cast<uint32_t>(entries_.size())});
      lowerNames_ += lower;
      entries_.push_back(std::move(entry));
    }
    const char* names = lowerNames_.data();
    std::sort(byName_.begin(), byName_.end(), [names](const SortKey& a, const SortKey& b) {
      int order = std::memcmp(names + a.nameStart, names + b.nameStart, std::min(a.nameSize, b.nameSize));
      if (order != 0) return order < 0;
      if (a.nameSize != b.nameSize) return a.nameSize < b.nameSize;
      return a.entry < b.entry;
    });
  } catch (const std::bad_alloc&) {
    outOfMemory_ = true;
  }
  if (!IsUsable()) {
    entries_ = std::vector<PackEntry>();
    byName_ = std::vector<SortKey>();
    lowerNames_ = std::string();
  }
}

uint32_t PackIndex::FirstWithLowerName(const std::string& lower) const {
  const char* names = lowerNames_.data();
  // The first key not ordered before (lower, entry 0): equal names are ordered by entry, so this is
  // the one a walk from the start meets first.
  auto at =
      std::lower_bound(byName_.begin(), byName_.end(), lower, [names](const SortKey& key, const std::string& wanted) {
        int order = std::memcmp(names + key.nameStart, wanted.data(), std::min<size_t>(key.nameSize, wanted.size()));
        if (order != 0) return order < 0;
        return key.nameSize < wanted.size();
      });
  if (at == byName_.end() || at->nameSize != lower.size() ||
      std::memcmp(names + at->nameStart, lower.data(), lower.size()) != 0) {
    return UINT32_MAX;
  }
  return at->entry;
}

const PackEntry* PackIndex::Find(const MemberNameForms& forms) const {
  uint32_t best = FirstWithLowerName(forms.backslash);
  if (forms.slash != forms.backslash) best = std::min(best, FirstWithLowerName(forms.slash));
  return best == UINT32_MAX ? nullptr : &entries_[best];
}

std::string MakeIndexBlock(const std::vector<PackEntry>& entries) {
  std::string block;
  for (const PackEntry& entry : entries) {
    uint32_t key = PackNameKey(entry.name.data(), entry.name.size());
    AppendLittleEndian32(block, static_cast<uint32_t>(entry.name.size() + 1));
    block += entry.name;
    block.push_back('\0');
    AppendLittleEndian32(block, entry.offset ^ key);
    AppendLittleEndian32(block, entry.length ^ key);
  }
  AppendLittleEndian32(block, 0);
  return block;
}

uint64_t IndexBlockSize(const std::vector<std::string>& names) {
  uint64_t size = 4;
  for (const std::string& name : names) size += 4 + name.size() + 1 + 8;
  return size;
}

bool ReadSinglePackHead(const uint8_t* bytes, uint32_t nameSize, SinglePackHead* head) {
  if (nameSize > kMaxSingleNameSize) return false;
  head->name = NameUpToZero(bytes, nameSize);
  uint32_t key = PackNameKey(head->name.data(), head->name.size());
  head->offset = ReadLittleEndian32(bytes + nameSize) ^ key;
  head->length = ReadLittleEndian32(bytes + nameSize + 4) ^ key;
  return true;
}

bool DecodeStoredBlock(const uint8_t* block, uint32_t length, std::vector<uint8_t>* out) {
  out->clear();
  if (length < kMinStoredBlockLength) return false;
  std::vector<uint8_t> copy(block, block + length);
  CZipCodec codec;
  codec.SetStoredBlock(copy.data(), length);
  if (!codec.Decode()) return false;
  out->assign(codec.GetDecodedData(), codec.GetDecodedData() + codec.GetDecodedLength());
  return true;
}

bool EncodeStoredBlock(const void* data, size_t size, int level, std::string* out) {
  out->clear();
  if (size > 0xFFFFFFFFu) return false;
  CZipCodec codec;
  codec.SetSource(static_cast<const uint8_t*>(data), static_cast<uint32_t>(size));
  if (!codec.Encode(level)) return false;
  out->assign(reinterpret_cast<const char*>(codec.GetEncodedData()), codec.GetEncodedLength());
  return true;
}

int DecodePackArchiveMember(const uint8_t* file, size_t fileSize, const std::string& member,
                            std::vector<uint8_t>* out) {
  out->clear();
  uint32_t indexLength;
  if (!ReadPackHeader(file, fileSize, PackVariant::kArchive, &indexLength)) return 0;
  if (indexLength > fileSize - kPackHeaderSize) return 0;  // the index cannot be read whole
  PackIndex index(file + kPackHeaderSize, indexLength);
  if (!index.IsUsable()) return 0;  // as the readers: an index over its budget is no pack
  const PackEntry* entry = index.Find(member);
  if (!entry || !IsStoredBlockInFile(entry->offset, entry->length, fileSize)) return -1;
  return DecodeStoredBlock(file + entry->offset, entry->length, out) ? 1 : -1;
}

int DecodeSinglePack(const uint8_t* file, size_t fileSize, const std::string& fileName, std::vector<uint8_t>* out) {
  out->clear();
  uint32_t nameSize;
  if (!ReadPackHeader(file, fileSize, PackVariant::kSingle, &nameSize)) return 0;
  if (nameSize > kMaxSingleNameSize || uint64_t(nameSize) + 8 > fileSize - kPackHeaderSize) return 0;
  SinglePackHead head;
  if (!ReadSinglePackHead(file + kPackHeaderSize, nameSize, &head)) return 0;
  if (ToLowerCase(head.name) != ToLowerCase(fileName)) return 0;
  if (!IsStoredBlockInFile(head.offset, head.length, fileSize)) return 0;
  return DecodeStoredBlock(file + head.offset, head.length, out) ? 1 : 0;
}

bool BuildPackArchive(const std::vector<std::pair<std::string, std::string>>& members, int level, std::string* out) {
  out->clear();
  std::vector<std::string> names;
  for (const auto& member : members) {
    if (member.first.size() + 1 > kMaxMemberNameSize) return false;
    names.push_back(member.first);
  }
  uint64_t position = kPackHeaderSize + IndexBlockSize(names);
  std::vector<PackEntry> entries;
  std::string blocks;
  for (const auto& member : members) {
    std::string block;
    if (!EncodeStoredBlock(member.second.data(), member.second.size(), level, &block)) return false;
    if (position + block.size() > 0xFFFFFFFFu) return false;
    PackEntry entry;
    entry.name = member.first;
    entry.offset = static_cast<uint32_t>(position);
    entry.length = static_cast<uint32_t>(block.size());
    entries.push_back(entry);
    position += block.size();
    blocks += block;
  }
  std::string index = MakeIndexBlock(entries);
  *out = MakePackHeader(PackVariant::kArchive, static_cast<uint32_t>(index.size())) + index + blocks;
  return true;
}

bool BuildSinglePack(const std::string& storedName, const std::string& bytes, int level, std::string* out) {
  out->clear();
  if (storedName.size() > kMaxSingleNameSize) return false;
  std::string block;
  if (!EncodeStoredBlock(bytes.data(), bytes.size(), level, &block)) return false;
  uint64_t offset = kPackHeaderSize + storedName.size() + 8;
  if (offset + block.size() > 0xFFFFFFFFu) return false;
  uint32_t key = PackNameKey(storedName.data(), storedName.size());
  *out = MakePackHeader(PackVariant::kSingle, static_cast<uint32_t>(storedName.size())) + storedName;
  AppendLittleEndian32(*out, static_cast<uint32_t>(offset) ^ key);
  AppendLittleEndian32(*out, static_cast<uint32_t>(block.size()) ^ key);
  *out += block;
  return true;
}
