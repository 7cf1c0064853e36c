#pragma once
// Stored blocks of the .pak formats made and checked a piece at a time, so that a member need not be
// whole in memory: the encoder reads its source and writes its block through callbacks, and the
// decoder reads a block from a file and hands the decoded bytes on as they come.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/NativeFile.h"

// Hands over the next `size` bytes of the source (exactly that many; false when it cannot).
using BlockSourceRead = std::function<bool(uint8_t* buffer, size_t size)>;
// Takes `size` bytes of output in order; false when it cannot.
using BlockSinkWrite = std::function<bool(const uint8_t* bytes, size_t size)>;

// The source is fed in pieces of this size and the output drained in pieces of the second: the same
// source gives the same block whatever it is read from.
constexpr size_t kBlockSourcePiece = 1 << 20;
constexpr size_t kBlockOutputPiece = 256 * 1024;

// Deflates `sourceSize` bytes at zlib `level` and writes the stream and its 4-byte length trailer to
// `write`, unscrambled (the head is scrambled once the block's length is known: ScramblePackHead or
// ScrambleWrittenHead). `*storedLength` gets the block's length. False with `*problem` set when the
// source is 4 GiB or more, the block would pass 4 GiB, memory runs out, a read or a write fails.
bool EncodeBlockStreamed(uint64_t sourceSize, int level, const BlockSourceRead& read, const BlockSinkWrite& write,
                         uint32_t* storedLength, std::string* problem);

// The block of `source` in memory (scrambled, ready to write), as EncodeBlockStreamed makes it.
bool EncodeBlockInMemory(const uint8_t* source, size_t size, int level, std::vector<uint8_t>* block,
                         std::string* problem);

// Scrambles the head of a block of `storedLength` bytes already written at `blockStart` of `out`,
// which is left at the block's end.
bool ScrambleWrittenHead(CNativeFile& out, uint64_t blockStart, uint32_t storedLength);

enum class BlockDecodeResult { kDecoded, kDamaged, kReadFailed, kWriteFailed, kNoMemory };

// Decodes the stored block of `length` bytes at `offset` of `file` (which must lie in it), handing the
// decoded bytes to `write` in order. Accepts exactly the blocks CZipCodec::Decode accepts: a trailer
// whose length the block can give, a zlib stream that ends, and no more output than the trailer says.
BlockDecodeResult DecodeBlockStreamed(CNativeFile& file, uint64_t offset, uint32_t length, const BlockSinkWrite& write);
