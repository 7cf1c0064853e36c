#include "tools/packtool/BlockStream.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>

#include "pack/ZipCodec.h"

namespace {

std::unique_ptr<uint8_t[]> Allocate(size_t size) {
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]);
}

}  // namespace

bool EncodeBlockStreamed(uint64_t sourceSize, int level, const BlockSourceRead& read, const BlockSinkWrite& write,
                         uint32_t* storedLength, std::string* problem) {
  *storedLength = 0;
  if (sourceSize > 0xFFFFFFFFu) return *problem = "4 GiB or more, larger than a member can be", false;
  std::unique_ptr<uint8_t[]> in = Allocate(kBlockSourcePiece);
  std::unique_ptr<uint8_t[]> out = Allocate(kBlockOutputPiece);
  z_stream stream = {};
  if (!in || !out || deflateInit(&stream, level) != Z_OK) return *problem = "no memory to encode", false;
  uint64_t fed = 0, written = 0;
  int status = Z_OK;
  bool good = true;
  while (good && status != Z_STREAM_END) {
    int flush = Z_NO_FLUSH;
    if (stream.avail_in == 0) {
      size_t piece = static_cast<size_t>(std::min<uint64_t>(kBlockSourcePiece, sourceSize - fed));
      if (piece && !read(in.get(), piece)) {
        *problem = "cannot read";
        good = false;
        break;
      }
      fed += piece;
      stream.next_in = in.get();
      stream.avail_in = static_cast<uInt>(piece);
    }
    if (fed == sourceSize) flush = Z_FINISH;
    // Until this piece is used up (or, at the end, the stream is complete).
    do {
      stream.next_out = out.get();
      stream.avail_out = static_cast<uInt>(kBlockOutputPiece);
      status = deflate(&stream, flush);
      if (status == Z_STREAM_ERROR) break;
      size_t produced = kBlockOutputPiece - stream.avail_out;
      written += produced;
      if (written + 4 > 0xFFFFFFFFu) {
        *problem = "its stored block would pass 4 GiB";
        good = false;
        break;
      }
      if (produced && !write(out.get(), produced)) {
        *problem = "cannot write";
        good = false;
        break;
      }
    } while (stream.avail_out == 0 && status != Z_STREAM_END);
    if (status == Z_STREAM_ERROR) {
      *problem = "cannot encode";
      good = false;
    }
  }
  deflateEnd(&stream);
  if (!good) return false;
  uint8_t trailer[4];
  for (int i = 0; i < 4; ++i) trailer[i] = static_cast<uint8_t>(sourceSize >> (8 * i));
  if (!write(trailer, 4)) return *problem = "cannot write", false;
  *storedLength = static_cast<uint32_t>(written + 4);
  return true;
}

bool EncodeBlockInMemory(const uint8_t* source, size_t size, int level, std::vector<uint8_t>* block,
                         std::string* problem) {
  block->clear();
  size_t at = 0;
  uint32_t length = 0;
  try {
    bool good = EncodeBlockStreamed(
        size, level,
        [&](uint8_t* buffer, size_t piece) {
          std::copy(source + at, source + at + piece, buffer);
          at += piece;
          return true;
        },
        [&](const uint8_t* bytes, size_t count) {
          block->insert(block->end(), bytes, bytes + count);
          return true;
        },
        &length, problem);
    if (!good) return false;
  } catch (const std::bad_alloc&) {
    block->clear();
    return *problem = "no memory to encode", false;
  } catch (const std::length_error&) {
    block->clear();
    return *problem = "no memory to encode", false;
  }
  ScramblePackHead(block->data(), length);
  return true;
}

bool ScrambleWrittenHead(CNativeFile& out, uint64_t blockStart, uint32_t storedLength) {
  uint8_t head[3];
  DWORD count = std::min<uint32_t>(3, storedLength);
  if (!out.SeekTo64(blockStart) || !out.Read(head, count)) return false;
  ScramblePackHead(head, storedLength);
  return out.SeekTo64(blockStart) && out.Write(head, count) && out.SeekTo64(blockStart + storedLength);
}

BlockDecodeResult DecodeBlockStreamed(CNativeFile& file, uint64_t offset, uint32_t length,
                                      const BlockSinkWrite& write) {
  if (length < kMinStoredBlockLength) return BlockDecodeResult::kDamaged;
  uint8_t trailer[4];
  if (!file.SeekTo64(offset + length - 4) || !file.Read(trailer, 4)) return BlockDecodeResult::kReadFailed;
  for (uint32_t i = 0; i < 4; ++i) trailer[i] ^= PackScrambleKeyAt(length, length - 4 + i);
  const uint32_t claimed =
      uint32_t(trailer[0]) | uint32_t(trailer[1]) << 8 | uint32_t(trailer[2]) << 16 | uint32_t(trailer[3]) << 24;
  if (!IsDecodedLengthPossible(length, claimed)) return BlockDecodeResult::kDamaged;
  std::unique_ptr<uint8_t[]> in = Allocate(kBlockSourcePiece);
  std::unique_ptr<uint8_t[]> out = Allocate(kBlockOutputPiece);
  z_stream stream = {};
  if (!in || !out || inflateInit(&stream) != Z_OK) return BlockDecodeResult::kNoMemory;
  if (!file.SeekTo64(offset)) {
    inflateEnd(&stream);
    return BlockDecodeResult::kReadFailed;
  }
  const uint64_t streamLength = length - 4;
  uint64_t position = 0, produced = 0;
  int status = Z_OK;
  BlockDecodeResult result = BlockDecodeResult::kDamaged;
  while (status != Z_STREAM_END && position < streamLength) {
    DWORD piece = static_cast<DWORD>(std::min<uint64_t>(kBlockSourcePiece, streamLength - position));
    if (!file.Read(in.get(), piece)) {
      result = BlockDecodeResult::kReadFailed;
      break;
    }
    for (uint64_t i = position; i < 3 && i < position + piece; ++i) {
      in[static_cast<size_t>(i - position)] ^= PackScrambleKeyAt(length, i);
    }
    position += piece;
    stream.next_in = in.get();
    stream.avail_in = piece;
    do {
      stream.next_out = out.get();
      stream.avail_out = static_cast<uInt>(kBlockOutputPiece);
      status = inflate(&stream, Z_NO_FLUSH);
      size_t made = kBlockOutputPiece - stream.avail_out;
      produced += made;
      // More than the trailer claims is damage, as it is to uncompress with the claim as its capacity.
      if (produced > claimed) status = Z_DATA_ERROR;
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) break;
      if (made && !write(out.get(), made)) {
        result = BlockDecodeResult::kWriteFailed;
        status = Z_ERRNO;
        break;
      }
    } while (status == Z_OK && (stream.avail_in > 0 || stream.avail_out == 0));
    if (status == Z_MEM_ERROR) result = BlockDecodeResult::kNoMemory;
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) break;
  }
  inflateEnd(&stream);
  return status == Z_STREAM_END ? BlockDecodeResult::kDecoded : result;
}
