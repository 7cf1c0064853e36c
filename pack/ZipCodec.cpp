#include "pack/ZipCodec.h"

#include <zlib.h>

#include <cstring>
#include <new>

namespace {

uint32_t ReadLittle32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// new[] that answers null instead of throwing; the bytes are left uninitialised (zlib fills them).
std::unique_ptr<uint8_t[]> AllocateBytes(uint64_t count) {
  if (count == 0 || count > SIZE_MAX) return nullptr;
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[static_cast<size_t>(count)]);
}

}  // namespace

uint8_t PackScrambleKeyAt(uint64_t storedLength, uint64_t position, uint8_t constant) {
  if (position >= 32 || position >= storedLength) return 0;
  uint32_t key = ((storedLength >> 3) + constant) & 0xFF;
  // The key moves three bits left per byte, so it is gone after the third.
  return position < 3 ? static_cast<uint8_t>(key << (3 * position)) : 0;
}

void ScramblePackHead(uint8_t* block, uint64_t storedLength, uint8_t constant) {
  for (uint64_t i = 0; i < 3 && i < storedLength; ++i) block[i] ^= PackScrambleKeyAt(storedLength, i, constant);
}

bool IsDecodedLengthPossible(uint64_t storedLength, uint64_t decodedLength) {
  if (storedLength < kMinStoredBlockLength) return false;
  return decodedLength <= (storedLength - 4) * 1032;
}

bool CZipCodec::SetStoredBlock(uint8_t* block, uint32_t length) {
  decoded_.reset();
  decodedLength_ = 0;
  storedBlock_ = block;
  storedLength_ = length;
  return true;
}

bool CZipCodec::Decode() {
  decoded_.reset();
  decodedLength_ = 0;
  if (!storedBlock_ || storedLength_ < kMinStoredBlockLength) return false;
  ScramblePackHead(storedBlock_, storedLength_);
  uint32_t claimed = ReadLittle32(storedBlock_ + storedLength_ - 4);
  if (!IsDecodedLengthPossible(storedLength_, claimed)) return false;
  std::unique_ptr<uint8_t[]> output = AllocateBytes(uint64_t(claimed) + 1);
  if (!output) return false;
  uLongf produced = claimed;
  if (uncompress(output.get(), &produced, storedBlock_, storedLength_ - 4) != Z_OK) return false;
  decoded_ = std::move(output);
  decodedLength_ = static_cast<uint32_t>(produced);
  return true;
}

bool CZipCodec::SetSource(const uint8_t* source, uint32_t length) {
  encoded_.reset();
  encodedLength_ = 0;
  source_ = source;
  sourceLength_ = length;
  return true;
}

bool CZipCodec::Encode(int level) {
  encoded_.reset();
  encodedLength_ = 0;
  if (!source_ && sourceLength_ != 0) return false;
  uint64_t capacity = uint64_t(compressBound(sourceLength_)) + 5;
  if (capacity > 0xFFFFFFFFu) return false;
  std::unique_ptr<uint8_t[]> output = AllocateBytes(capacity);
  if (!output) return false;
  uLongf compressed = static_cast<uLongf>(capacity - 5);
  static const uint8_t kNothing = 0;
  if (compress2(output.get(), &compressed, source_ ? source_ : &kNothing, sourceLength_, level) != Z_OK) return false;
  uint8_t* trailer = output.get() + compressed;
  for (int i = 0; i < 4; ++i) trailer[i] = static_cast<uint8_t>(sourceLength_ >> (8 * i));
  encodedLength_ = static_cast<uint32_t>(compressed + 4);
  ScramblePackHead(output.get(), encodedLength_);
  encoded_ = std::move(output);
  return true;
}

void CZipCodec::Release() {
  decoded_.reset();
  decodedLength_ = 0;
  storedBlock_ = nullptr;
  storedLength_ = 0;
}
