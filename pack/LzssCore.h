#pragma once
// LZSS data files without Win32: the codec and the index records of LZSS archives, working on bytes in
// memory (the readers in LzssFile.h add the files and the user's message boxes).
//
// Stream: groups of a flag byte and up to eight items, flag bits from the least significant; 1 is a
// literal byte, 0 a match of two bytes b0 b1 naming ring position b0 + ((b1 & 0xF0) << 4) and length
// (b1 & 0x0F) + 3. The 4096-byte ring starts zero-filled with its write position at 0xFEE; a match sees
// the bytes it has just written itself. There is no end marker.
//
// Archive (D.dat for folder D): 140-byte index records from offset 0, ended by a record whose three
// numbers are stored as 0; the compressed members follow anywhere. Single file (F.dat): the decoded
// length, then the stream. Numbers are 32-bit little-endian.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Stream parameters.
constexpr uint32_t kLzssRingSize = 4096;
constexpr uint32_t kLzssRingStart = 0xFEE;
constexpr uint32_t kLzssMinMatch = 3;
constexpr uint32_t kLzssMaxMatch = 18;

// The most bytes a stream of `compressedLength` bytes can decode to: a group of 17 bytes (a flag byte
// and eight matches) gives 144.
uint64_t LzssMaxDecodedSize(uint64_t compressedLength);
// The most bytes Encode can write for `length` input bytes (every byte a literal, a flag byte per eight).
uint64_t LzssEncodeBound(uint64_t length);

// The codec's work object. Decoding needs no state beyond the call; the encoder's match structures are
// allocated on the first Encode and kept for the next one.
class CLZSSCodec {
 public:
  CLZSSCodec();
  virtual ~CLZSSCodec();
  CLZSSCodec(const CLZSSCodec&) = delete;
  CLZSSCodec& operator=(const CLZSSCodec&) = delete;

  // Decodes the whole input into `output`. Returns `capacity` when the stream decodes to exactly that
  // many bytes; -1 when it would write more (it stops there: nothing is written past the capacity) or
  // ends having written fewer. An empty input returns 0 whatever the capacity. Never reads past the
  // input: a match whose second byte is missing at the end is dropped.
  int64_t Decode(const uint8_t* input, uint32_t inputLength, uint8_t* output, uint32_t capacity);

  // Encodes `length` bytes into `output` (room for LzssEncodeBound(length) bytes is enough) with the
  // cheapest parse of the longest matches in the ring's reach. Returns the stream's length, or -1 when
  // the output has no room or the work memory cannot be allocated.
  int64_t Encode(const uint8_t* input, size_t length, uint8_t* output, uint64_t capacity);

 private:
  struct EncoderState;
  std::unique_ptr<EncoderState> encoder_;
};

// Convenience for tools and tests: the stream for `bytes`, or false when memory runs out.
bool LzssEncode(const uint8_t* bytes, size_t length, std::vector<uint8_t>* stream);

// ---- Archive index records ----

constexpr uint32_t kLzssRecordSize = 140;
constexpr uint32_t kLzssNameSize = 128;
constexpr uint32_t kLzssRecordMask = 0x3B3B3B;

struct LzssRecord {
  std::string name;        // up to the zero byte
  bool nameTerminated;     // false: the name field holds no zero byte (damage; the record matches nothing)
  bool isEnd;              // the three numbers are stored as 0: the index ends here
  uint32_t decodedLength;  // unmasked
  uint32_t compressedLength;
  uint32_t offset;
};

// Reads one record of kLzssRecordSize bytes. Never looks beyond the 128 bytes of the name field for
// the name's end.
LzssRecord ParseLzssRecord(const uint8_t* record);
// Writes one record (the name must be shorter than 128 bytes; false otherwise) and the end record.
bool WriteLzssRecord(const std::string& name, uint32_t decodedLength, uint32_t compressedLength, uint32_t offset,
                     uint8_t* record);
void WriteLzssEndRecord(uint8_t* record);

// The two forms a wanted member name is compared in: lower case with '\\' and with '/'.
struct LzssMemberForms {
  std::string backslash;
  std::string slash;
};
LzssMemberForms MakeLzssMemberForms(const std::string& member);
// A stored name matches when it equals either form exactly; a name without its zero byte never does.
bool LzssRecordMatches(const LzssRecord& record, const LzssMemberForms& forms);

// Why a matching record's member cannot be used, checked before anything is allocated for it.
enum class LzssMemberProblem {
  kNone,
  kOutsideArchive,    // offset + compressed length lies beyond the archive's end: a read error
  kEmpty,             // compressed length 0: the read of the member fails
  kImpossibleLength,  // the decoded length is more than the compressed length can give: a decode error
};
LzssMemberProblem CheckLzssMember(const LzssRecord& record, uint64_t archiveSize);

// ---- Whole files in memory (the pack tool, the fuzz targets) ----

// Walks the index of an archive held in memory: calls `visit` for every record before the end record,
// in order, until it returns false. Returns false when the index runs past the end of the bytes before
// its end record.
template <typename Visit>
bool WalkLzssIndex(const uint8_t* archive, uint64_t size, Visit visit) {
  for (uint64_t at = 0;; at += kLzssRecordSize) {
    if (size < kLzssRecordSize || at > size - kLzssRecordSize) return false;
    LzssRecord record = ParseLzssRecord(archive + at);
    if (record.isEnd) return true;
    if (!visit(record)) return true;
  }
}

// Decodes the member a record names, with every check of the reader: 1 decoded, -1 read error (outside
// the archive, or empty), -2 decode error (impossible length, or the stream does not give exactly its
// decoded length), -3 no memory.
int DecodeLzssMember(const uint8_t* archive, uint64_t size, const LzssRecord& record, std::vector<uint8_t>* decoded);

struct LzssMemberInput {
  std::string name;  // stored as given: lower case with '\\' is what the readers find
  std::vector<uint8_t> bytes;
};
// The archive of `members`, in their order. False when a name does not fit its field, the archive
// would pass 4 GiB, or memory runs out.
bool BuildLzssArchive(const std::vector<LzssMemberInput>& members, std::vector<uint8_t>* archive);
// The single file of `bytes`: decoded length, then the stream.
bool BuildLzssSingleFile(const uint8_t* bytes, size_t length, std::vector<uint8_t>* file);
