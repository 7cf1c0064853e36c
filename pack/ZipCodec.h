#pragma once
// The stored-block codec of the .pak formats. A stored block of S bytes is a zlib stream (zlib header,
// deflate data, Adler-32) followed by the decoded length as 4 little-endian bytes; the block's first
// bytes are XORed with a key stream formed from S and a one-byte constant of the format (ScrambleHead).
//
// The codec works on buffers it does not own (the block to decode, the bytes to encode) and owns the
// results (decoded and encoded buffers) until the next Set..., Release or its end. Decoding unscrambles
// the caller's block in place. No Win32 here.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

// The format's scramble constant: the key of a block of S bytes starts at ((S >> 3) + this) mod 256.
constexpr uint8_t kPackScrambleConstant = 0x6B;

// The key byte that scrambles position `position` of a stored block of `storedLength` bytes; 0 past
// the positions the key reaches.
uint8_t PackScrambleKeyAt(uint64_t storedLength, uint64_t position, uint8_t constant = kPackScrambleConstant);
// Scrambles (or unscrambles: the same operation) the head of a stored block in place.
void ScramblePackHead(uint8_t* block, uint64_t storedLength, uint8_t constant = kPackScrambleConstant);

// Whether a block of `storedLength` bytes can decode to `decodedLength` bytes: deflate never expands
// more than 1032 to 1, so a larger claim in the trailer is damage.
bool IsDecodedLengthPossible(uint64_t storedLength, uint64_t decodedLength);

// Smallest stored block: a 1-byte stream and the 4-byte trailer (anything shorter is damage).
constexpr uint32_t kMinStoredBlockLength = 5;

// Large decoded buffers are not given back to the heap at once: the last one released (of 1 MiB to
// kMaxSpareOutput bytes) is kept for the next decode of about its size, which then writes to memory
// that is already mapped instead of faulting in every page of a fresh block (a quarter of the time of
// a large, highly compressible member). At most one buffer is kept per process; ReleaseSpareOutput
// gives it back.
constexpr size_t kMaxSpareOutput = sizeof(void*) >= 8 ? size_t(64) << 20 : size_t(16) << 20;
void ReleaseSpareOutput();

class CZipCodec {
 public:
  CZipCodec() = default;
  virtual ~CZipCodec();
  CZipCodec(const CZipCodec&) = delete;
  CZipCodec& operator=(const CZipCodec&) = delete;

  // The block to decode (not owned; Decode unscrambles it in place). Frees the decoded buffer.
  bool SetStoredBlock(uint8_t* block, uint32_t length);
  // Unscrambles the head, checks the trailer's length and inflates. False (and no decoded buffer) when
  // nothing was set, the block is shorter than 5 bytes, the length claimed cannot come from the block,
  // memory runs out, or zlib fails (a wrong scramble constant fails here).
  bool Decode();
  // The decoded bytes: L + 1 bytes were allocated, so the pointer is non-null even for an empty file.
  const uint8_t* GetDecodedData() const { return decoded_.get(); }
  uint32_t GetDecodedLength() const { return decodedLength_; }

  // Decode without the whole block in memory, for readers of large members: `lastFour` are the block's
  // last four bytes as stored, and `read(buffer, size)` hands over the block's bytes from its start, in
  // order, `chunkSize` at most at a time (false when it cannot). Same checks and same result as
  // SetStoredBlock and Decode on the whole block; the stored block pointer is left null.
  using ReadFunction = std::function<bool(uint8_t* buffer, size_t size)>;
  bool DecodeStreamed(uint32_t storedLength, const uint8_t lastFour[4], const ReadFunction& read,
                      size_t chunkSize = 128 * 1024);
  // Whether the last decode failed for want of memory for its output.
  bool RanOutOfMemory() const { return outOfMemory_; }

  // The bytes to encode (not owned). Frees the encoded buffer.
  bool SetSource(const uint8_t* source, uint32_t length);
  // Compresses at zlib level `level`, appends the source length and scrambles the head. False when
  // memory runs out, the level is refused or the block would not fit 32 bits.
  bool Encode(int level);
  const uint8_t* GetEncodedData() const { return encoded_.get(); }
  uint32_t GetEncodedLength() const { return encodedLength_; }

  // Frees the decoded buffer and forgets the stored block.
  void Release();

 private:
  const uint8_t* source_ = nullptr;
  uint8_t* storedBlock_ = nullptr;
  uint32_t sourceLength_ = 0;
  uint32_t storedLength_ = 0;
  std::unique_ptr<uint8_t[]> encoded_;
  std::unique_ptr<uint8_t[]> decoded_;
  uint32_t encodedLength_ = 0;
  uint32_t decodedLength_ = 0;
  bool outOfMemory_ = false;

  // Gives the decoded buffer up (to the spare slot when it is worth keeping).
  void DropDecoded();
  size_t decodedCapacity_ = 0;
};
