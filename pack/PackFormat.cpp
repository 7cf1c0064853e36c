#include "pack/PackFormat.h"

#include <cstring>

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
  for (size_t i = 0; i < length && name[i] != 0; ++i) key += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(name[i])));
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

PackIndex::PackIndex(const uint8_t* block, size_t length) {
  size_t position = 0;
  for (;;) {
    if (length - position < 4) {
      damaged_ = true;  // no end marker inside the block
      return;
    }
    uint32_t nameSize = ReadLittleEndian32(block + position);
    if (nameSize == 0) return;
    if (nameSize > kMaxMemberNameSize || uint64_t(nameSize) + 12 > length - position) {
      damaged_ = true;
      return;
    }
    const uint8_t* name = block + position + 4;
    PackEntry entry;
    entry.name = NameUpToZero(name, nameSize);
    uint32_t key = PackNameKey(entry.name.data(), entry.name.size());
    entry.offset = ReadLittleEndian32(name + nameSize) ^ key;
    entry.length = ReadLittleEndian32(name + nameSize + 4) ^ key;
    entry.entryStart = static_cast<uint32_t>(position);
    entry.entrySize = nameSize + 12;
    // The first entry of a name is the one a walk from the start meets; later ones stay unreachable.
    firstByLowerName_.emplace(ToLowerCase(entry.name), static_cast<uint32_t>(entries_.size()));
    entries_.push_back(std::move(entry));
    position += nameSize + 12;
  }
}

const PackEntry* PackIndex::Find(const MemberNameForms& forms) const {
  auto byBackslash = firstByLowerName_.find(forms.backslash);
  auto bySlash = forms.slash == forms.backslash ? firstByLowerName_.end() : firstByLowerName_.find(forms.slash);
  uint32_t best = UINT32_MAX;
  if (byBackslash != firstByLowerName_.end()) best = byBackslash->second;
  if (bySlash != firstByLowerName_.end() && bySlash->second < best) best = bySlash->second;
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
