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

class CZipCodec {
 public:
  CZipCodec() = default;
  virtual ~CZipCodec() = default;
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
};
