#include "pack/ZipCodec.h"

#include <zlib.h>

#include <cstring>
#include <mutex>
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

constexpr size_t kMinSpareOutput = size_t(1) << 20;

// The one kept output buffer. Made once and never destroyed, so that codecs released during the
// process's exit still find it.
struct SpareOutput {
  std::mutex lock;
  uint8_t* data = nullptr;
  size_t capacity = 0;
};

SpareOutput& Spare() {
  static SpareOutput* spare = new SpareOutput;
  return *spare;
}

// A buffer of at least `count` bytes and its capacity: the kept one when it is large enough and not
// more than twice as large, otherwise a new one. Null when memory runs out.
std::unique_ptr<uint8_t[]> TakeOutput(uint64_t count, size_t* capacity) {
  if (count == 0 || count > SIZE_MAX) return nullptr;
  if (count >= kMinSpareOutput / 2) {
    SpareOutput& spare = Spare();
    std::lock_guard<std::mutex> hold(spare.lock);
    if (spare.data && spare.capacity >= count && spare.capacity / 2 <= count) {
      *capacity = spare.capacity;
      std::unique_ptr<uint8_t[]> taken(spare.data);
      spare.data = nullptr;
      spare.capacity = 0;
      return taken;
    }
  }
  *capacity = static_cast<size_t>(count);
  return AllocateBytes(count);
}

// Keeps `buffer` as the spare when its size is worth it (the one kept before is freed), else frees it.
void GiveBackOutput(std::unique_ptr<uint8_t[]> buffer, size_t capacity) {
  if (!buffer || capacity < kMinSpareOutput || capacity > kMaxSpareOutput) return;
  uint8_t* previous;
  {
    SpareOutput& spare = Spare();
    std::lock_guard<std::mutex> hold(spare.lock);
    previous = spare.data;
    spare.data = buffer.release();
    spare.capacity = capacity;
  }
  delete[] previous;
}

}  // namespace

void ReleaseSpareOutput() {
  uint8_t* previous;
  {
    SpareOutput& spare = Spare();
    std::lock_guard<std::mutex> hold(spare.lock);
    previous = spare.data;
    spare.data = nullptr;
    spare.capacity = 0;
  }
  delete[] previous;
}

CZipCodec::~CZipCodec() { DropDecoded(); }

void CZipCodec::DropDecoded() {
  GiveBackOutput(std::move(decoded_), decodedCapacity_);
  decoded_.reset();
  decodedCapacity_ = 0;
  decodedLength_ = 0;
}

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
  DropDecoded();
  storedBlock_ = block;
  storedLength_ = length;
  return true;
}

bool CZipCodec::Decode() {
  DropDecoded();
  outOfMemory_ = false;
  if (!storedBlock_ || storedLength_ < kMinStoredBlockLength) return false;
  ScramblePackHead(storedBlock_, storedLength_);
  uint32_t claimed = ReadLittle32(storedBlock_ + storedLength_ - 4);
  if (!IsDecodedLengthPossible(storedLength_, claimed)) return false;
  size_t capacity = 0;
  std::unique_ptr<uint8_t[]> output = TakeOutput(uint64_t(claimed) + 1, &capacity);
  if (!output) {
    outOfMemory_ = true;
    return false;
  }
  uLongf produced = claimed;
  if (uncompress(output.get(), &produced, storedBlock_, storedLength_ - 4) != Z_OK) {
    GiveBackOutput(std::move(output), capacity);
    return false;
  }
  decoded_ = std::move(output);
  decodedCapacity_ = capacity;
  decodedLength_ = static_cast<uint32_t>(produced);
  return true;
}

bool CZipCodec::DecodeStreamed(uint32_t storedLength, const uint8_t lastFour[4], const ReadFunction& read,
                               size_t chunkSize) {
  DropDecoded();
  outOfMemory_ = false;
  storedBlock_ = nullptr;
  storedLength_ = storedLength;
  if (storedLength < kMinStoredBlockLength || chunkSize == 0) return false;
  uint8_t trailer[4];
  for (uint32_t i = 0; i < 4; ++i) trailer[i] = lastFour[i] ^ PackScrambleKeyAt(storedLength, storedLength - 4 + i);
  uint32_t claimed = ReadLittle32(trailer);
  if (!IsDecodedLengthPossible(storedLength, claimed)) return false;
  uint64_t streamLength = storedLength - 4;
  size_t capacity = 0;
  std::unique_ptr<uint8_t[]> output = TakeOutput(uint64_t(claimed) + 1, &capacity);
  std::unique_ptr<uint8_t[]> chunk = AllocateBytes(streamLength < chunkSize ? streamLength : chunkSize);
  if (!output || !chunk) {
    GiveBackOutput(std::move(output), capacity);
    outOfMemory_ = true;
    return false;
  }
  z_stream stream = {};
  if (inflateInit(&stream) != Z_OK) return false;
  stream.next_out = output.get();
  stream.avail_out = claimed;  // as uncompress: the claimed length is the capacity
  int status = Z_OK;
  for (uint64_t position = 0; status == Z_OK && position < streamLength;) {
    size_t size = static_cast<size_t>(streamLength - position < chunkSize ? streamLength - position : chunkSize);
    if (!read(chunk.get(), size)) break;
    for (uint64_t i = position; i < 3 && i < position + size; ++i) {
      chunk[static_cast<size_t>(i - position)] ^= PackScrambleKeyAt(storedLength, i);
    }
    position += size;
    stream.next_in = chunk.get();
    stream.avail_in = static_cast<uInt>(size);
    // Until this chunk is used up; an output that is full before the stream ends stops it with
    // Z_BUF_ERROR, as it stops uncompress.
    do {
      status = inflate(&stream, Z_NO_FLUSH);
    } while (status == Z_OK && stream.avail_in > 0);
  }
  inflateEnd(&stream);
  if (status != Z_STREAM_END) {
    GiveBackOutput(std::move(output), capacity);
    return false;
  }
  decoded_ = std::move(output);
  decodedCapacity_ = capacity;
  decodedLength_ = static_cast<uint32_t>(stream.total_out);
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
  DropDecoded();
  storedBlock_ = nullptr;
  storedLength_ = 0;
}
