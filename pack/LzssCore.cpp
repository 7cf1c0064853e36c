#include "pack/LzssCore.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/PathText.h"

namespace {

uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteLe32(uint8_t* p, uint32_t value) {
  p[0] = uint8_t(value);
  p[1] = uint8_t(value >> 8);
  p[2] = uint8_t(value >> 16);
  p[3] = uint8_t(value >> 24);
}

template <typename T>
std::unique_ptr<T[]> TryAllocate(uint64_t count) {
  if (count > SIZE_MAX / sizeof(T)) return nullptr;
  return std::unique_ptr<T[]>(new (std::nothrow) T[static_cast<size_t>(count)]);
}

}  // namespace

uint64_t LzssMaxDecodedSize(uint64_t compressedLength) {
  uint64_t groups = compressedLength / 17, rest = compressedLength % 17;
  uint64_t most = groups * 144;
  // A partial group: its flag byte, then two bytes per match of 18 and one left over for a literal.
  if (rest > 1) most += (rest - 1) / 2 * kLzssMaxMatch + (rest - 1) % 2;
  return most;
}

// An empty input still gets its flag byte (see Encode).
uint64_t LzssEncodeBound(uint64_t length) { return length ? length + (length + 7) / 8 : 1; }

// ---- Decoding ----
//
// The output is its own history: ring position q was last written by the output byte whose index o
// satisfies (0xFEE + o) mod 4096 = q, so a match at output index o reads the bytes `distance` back,
// distance = (o + 0xFEE - q) mod 4096 in 1..4096. Where that index lies before the start, the ring
// position was never written and reads as zero. Whole groups that cannot run out of input or capacity
// take the fast path without any checks; the rest follows the stream item by item.

CLZSSCodec::CLZSSCodec() = default;
CLZSSCodec::~CLZSSCodec() = default;

namespace {

inline uint32_t MatchDistance(uint64_t produced, uint32_t ringPosition) {
  uint32_t distance = (uint32_t(produced) + kLzssRingStart - ringPosition) & (kLzssRingSize - 1);
  return distance == 0 ? kLzssRingSize : distance;
}

// Copies a match of `length` bytes to `out` (output index `produced`) from `distance` back. The caller
// guarantees room for `length` bytes.
inline void CopyMatchChecked(uint8_t* output, uint64_t produced, uint32_t distance, uint32_t length) {
  uint8_t* out = output + produced;
  if (distance > produced) {
    // Reaches back before the first output byte: never-written ring positions, zero.
    uint64_t zeros = std::min<uint64_t>(length, distance - produced);
    std::memset(out, 0, static_cast<size_t>(zeros));
    for (uint32_t i = static_cast<uint32_t>(zeros); i < length; ++i) out[i] = out[int64_t(i) - distance];
    return;
  }
  const uint8_t* from = out - distance;
  for (uint32_t i = 0; i < length; ++i) out[i] = from[i];
}

// An overlapping match, distance 1 to 17: its output repeats with that period. Below 8 the period is
// built in a register from single bytes and stored at steps of whole periods, so nothing reads what
// was just written in wider pieces (which the processor cannot forward and waits for); from 8 on,
// blocks of 8 are copied, each reading only bytes already there. Writes 18 to 25 bytes.
inline void CopyShortDistance(uint8_t* out, uint32_t distance) {
  static const uint8_t kPhase[8][8] = {{0},
                                       {0, 0, 0, 0, 0, 0, 0, 0},
                                       {0, 1, 0, 1, 0, 1, 0, 1},
                                       {0, 1, 2, 0, 1, 2, 0, 1},
                                       {0, 1, 2, 3, 0, 1, 2, 3},
                                       {0, 1, 2, 3, 4, 0, 1, 2},
                                       {0, 1, 2, 3, 4, 5, 0, 1},
                                       {0, 1, 2, 3, 4, 5, 6, 0}};
  static const uint8_t kWholePeriods[8] = {0, 8, 8, 6, 8, 5, 6, 7};  // the most of them within 8 bytes
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the pattern is assembled low byte first");
  if (distance < 8) {
    const uint8_t* period = out - distance;
    uint64_t pattern = 0;
    for (int i = 0; i < 8; ++i) pattern |= uint64_t(period[kPhase[distance][i]]) << (8 * i);
    for (uint32_t at = 0; at < kLzssMaxMatch; at += kWholePeriods[distance]) std::memcpy(out + at, &pattern, 8);
    return;
  }
  std::memcpy(out, out - distance, 8);
  std::memcpy(out + 8, out + 8 - distance, 8);
  std::memcpy(out + 16, out + 16 - distance, 2);
}

}  // namespace

int64_t CLZSSCodec::Decode(const uint8_t* input, uint32_t inputLength, uint8_t* output, uint32_t capacity) {
  if (inputLength == 0) return 0;
  const uint8_t* in = input;
  const uint8_t* const inEnd = input + inputLength;
  uint8_t* out = output;
  uint8_t* const outEnd = output + capacity;

  // Fast path: a whole group reads at most 17 bytes and writes at most 144, so with that much left (and
  // 8 more of each) nothing needs a check. A run of literals up to the next match is copied 8 bytes at
  // a time, one step whatever its length, so that a mix of literals and matches costs no guess per
  // item; a match writes 18 bytes or more whatever its length. The bytes written past an item's end are
  // overwritten by the items that follow and stay within the input and the capacity.
  while (inEnd - in >= 17 + 8 && outEnd - out >= 144 + 8) {
    unsigned flags = *in++;
    if (flags == 0xFF) {
      std::memcpy(out, in, 8);
      in += 8;
      out += 8;
      continue;
    }
    for (unsigned left = 8;;) {
      // The flag bits above `left` are zero, so the count of literals stops there.
      unsigned literals = static_cast<unsigned>(__builtin_ctz(~flags));
      std::memcpy(out, in, 8);
      out += literals;
      in += literals;
      flags >>= literals + 1;
      left -= literals;
      if (!left) break;
      uint32_t b0 = in[0], b1 = in[1];
      in += 2;
      uint32_t length = (b1 & 0x0F) + kLzssMinMatch;
      uint64_t produced = uint64_t(out - output);
      uint32_t distance = MatchDistance(produced, b0 | (b1 & 0xF0) << 4);
      if (distance >= kLzssMaxMatch && distance <= produced) {
        std::memcpy(out, out - distance, 16);
        std::memcpy(out + 16, out - distance + 16, 2);
      } else if (distance > produced) {
        CopyMatchChecked(output, produced, distance, length);
      } else {
        CopyShortDistance(out, distance);
      }
      out += length;
      if (!--left) break;
    }
  }

  // The rest, item by item, from a group boundary.
  unsigned flags = 0;
  for (;;) {
    flags >>= 1;
    if (!(flags & 0x100)) {
      if (in == inEnd) break;
      flags = *in++ | 0xFF00u;
    }
    if (flags & 1) {
      if (in == inEnd) break;
      if (out == outEnd) return -1;
      *out++ = *in++;
    } else {
      if (inEnd - in < 2) break;
      uint32_t b0 = in[0], b1 = in[1];
      in += 2;
      uint32_t length = (b1 & 0x0F) + kLzssMinMatch;
      uint64_t produced = uint64_t(out - output);
      uint32_t distance = MatchDistance(produced, b0 | (b1 & 0xF0) << 4);
      if (uint64_t(outEnd - out) < length) {
        // The bytes that still fit are written, then the stream is refused.
        if (out != outEnd) CopyMatchChecked(output, produced, distance, static_cast<uint32_t>(outEnd - out));
        return -1;
      }
      CopyMatchChecked(output, produced, distance, length);
      out += length;
    }
  }
  if (out != outEnd) return -1;
  return int64_t(capacity);
}

// ---- Encoding ----
//
// The input is preceded by 18 zero bytes: ring positions 0xFDC..0xFED, which the decoder's zero-filled
// ring holds when it starts, so a run of zeros at the start can be a match. Every position's longest
// match within the ring's reach (4096 back, and not before those zeros) is found with a binary search
// tree per two-byte prefix: the tree is rebuilt around each new position with the new string at its
// root, so every node is newer than the nodes below it and a node out of reach ends its whole branch.
// The last 17 positions, which have fewer than 18 bytes left, are searched directly. Then the parse that
// costs the fewest bits (a literal 9, a match 17) is chosen from the end backwards; since any shorter
// prefix of the longest match is a match too, it is never longer than greedy longest-match parsing.

namespace {
constexpr uint32_t kPrefixZeros = kLzssMaxMatch;
constexpr uint32_t kTreeSlots = 8192;  // more than the reach, so live nodes never share a slot
constexpr uint32_t kNoNode = 0xFFFFFFFFu;
constexpr uint32_t kReach = kLzssRingSize;
}  // namespace

struct CLZSSCodec::EncoderState {
  uint32_t heads[65536];
  uint32_t children[2 * kTreeSlots];  // [2s] smaller strings, [2s + 1] greater strings
};

int64_t CLZSSCodec::Encode(const uint8_t* input, size_t length, uint8_t* output, uint64_t capacity) {
  if (!encoder_) {
    encoder_.reset(new (std::nothrow) EncoderState);
    if (!encoder_) return -1;
  }
  EncoderState& tree = *encoder_;
  std::fill(std::begin(tree.heads), std::end(tree.heads), kNoNode);

  const uint64_t total = uint64_t(length) + kPrefixZeros;
  if (total > 0xFFFFFFF0u) return -1;
  auto buffer = TryAllocate<uint8_t>(total);
  auto longest = TryAllocate<uint8_t>(length + 1);  // then the chosen item length (1: literal)
  auto distances = TryAllocate<uint16_t>(length + 1);
  if (!buffer || !longest || !distances) return -1;
  std::memset(buffer.get(), 0, kPrefixZeros);
  if (length) std::memcpy(buffer.get() + kPrefixZeros, input, length);
  const uint8_t* buf = buffer.get();

  for (uint32_t b = 0; b < total; ++b) {
    const uint32_t limit = static_cast<uint32_t>(std::min<uint64_t>(kLzssMaxMatch, total - b));
    if (b < kPrefixZeros && limit < kLzssMaxMatch) continue;  // a search nothing would use
    uint32_t best = 0, bestPos = 0;
    const uint8_t* current = buf + b;
    if (limit == kLzssMaxMatch) {
      uint32_t& head = tree.heads[current[0] << 8 | current[1]];
      uint32_t candidate = head;
      head = b;
      uint32_t* smaller = &tree.children[2 * (b % kTreeSlots)];
      uint32_t* greater = smaller + 1;
      uint32_t smallerLength = 2, greaterLength = 2;  // every string of this tree shares two bytes
      for (;;) {
        if (candidate == kNoNode || b - candidate > kReach) {
          *smaller = *greater = kNoNode;
          break;
        }
        const uint8_t* other = buf + candidate;
        uint32_t common = std::min(smallerLength, greaterLength);
        while (common < limit && other[common] == current[common]) ++common;
        if (common > best) {
          best = common;
          bestPos = candidate;
        }
        uint32_t* pair = &tree.children[2 * (candidate % kTreeSlots)];
        if (common == limit) {
          // The same 18 bytes: the new position takes the old one's place.
          *smaller = pair[0];
          *greater = pair[1];
          break;
        }
        if (other[common] < current[common]) {
          *smaller = candidate;
          smaller = pair + 1;
          candidate = *smaller;
          smallerLength = common;
        } else {
          *greater = candidate;
          greater = pair;
          candidate = *greater;
          greaterLength = common;
        }
      }
    } else if (limit >= kLzssMinMatch) {
      uint32_t first = b > kReach ? b - kReach : 0;
      for (uint32_t candidate = b; candidate-- > first;) {
        uint32_t common = 0;
        while (common < limit && buf[candidate + common] == current[common]) ++common;
        if (common > best) {
          best = common;
          bestPos = candidate;
        }
      }
    }
    if (b < kPrefixZeros) continue;
    uint32_t i = b - kPrefixZeros;
    longest[i] = static_cast<uint8_t>(best >= kLzssMinMatch ? best : 0);
    distances[i] = static_cast<uint16_t>(best >= kLzssMinMatch ? b - bestPos - 1 : 0);
  }

  // Cheapest parse, from the end: cost[p] = bits from p to the end. A ring of 32 costs covers the 18
  // positions ahead that one step can reach.
  uint64_t cost[32] = {};
  for (size_t p = length; p-- > 0;) {
    uint64_t best = cost[(p + 1) % 32] + 9;
    uint8_t choice = 1;
    for (uint32_t l = kLzssMinMatch; l <= longest[p]; ++l) {
      uint64_t c = cost[(p + l) % 32] + 17;
      if (c <= best) {
        best = c;
        choice = static_cast<uint8_t>(l);
      }
    }
    cost[p % 32] = best;
    longest[p] = choice;
  }

  uint64_t items = 0, literals = 0;
  for (size_t p = 0; p < length; p += longest[p]) ++items, literals += longest[p] == 1;
  // An empty input gives a lone flag byte rather than an empty stream: the readers refuse a member of
  // compressed length 0, so an empty file could not be stored otherwise. It decodes to nothing.
  uint64_t size = items ? (items + 7) / 8 + literals + 2 * (items - literals) : 1;
  if (size > capacity) return -1;
  if (items == 0) {
    output[0] = 0;
    return 1;
  }

  uint8_t* out = output;
  uint8_t* flagByte = nullptr;
  unsigned itemInGroup = 8;
  for (size_t p = 0; p < length;) {
    if (itemInGroup == 8) {
      flagByte = out++;
      *flagByte = 0;
      itemInGroup = 0;
    }
    uint32_t l = longest[p];
    if (l == 1) {
      *flagByte |= uint8_t(1u << itemInGroup);
      *out++ = input[p];
    } else {
      // Source index p - distance maps to ring position 0xFEE + source index.
      uint32_t distance = uint32_t(distances[p]) + 1;
      uint32_t ringPosition = (kLzssRingStart + uint32_t(p) - distance) & (kLzssRingSize - 1);
      *out++ = uint8_t(ringPosition);
      *out++ = uint8_t((ringPosition >> 4 & 0xF0) | (l - kLzssMinMatch));
    }
    ++itemInGroup;
    p += l;
  }
  return int64_t(out - output);
}

bool LzssEncode(const uint8_t* bytes, size_t length, std::vector<uint8_t>* stream) {
  uint64_t bound = LzssEncodeBound(length);
  auto work = TryAllocate<uint8_t>(bound ? bound : 1);
  if (!work) return false;
  CLZSSCodec codec;
  int64_t written = codec.Encode(bytes, length, work.get(), bound);
  if (written < 0) return false;
  stream->assign(work.get(), work.get() + written);
  return true;
}

// ---- Records ----

LzssRecord ParseLzssRecord(const uint8_t* record) {
  LzssRecord parsed;
  const void* zero = std::memchr(record, 0, kLzssNameSize);
  parsed.nameTerminated = zero != nullptr;
  size_t nameLength = zero ? static_cast<const uint8_t*>(zero) - record : kLzssNameSize;
  parsed.name.assign(reinterpret_cast<const char*>(record), nameLength);
  uint32_t decoded = ReadLe32(record + 128), compressed = ReadLe32(record + 132), offset = ReadLe32(record + 136);
  parsed.isEnd = decoded == 0 && compressed == 0 && offset == 0;
  parsed.decodedLength = decoded ^ kLzssRecordMask;
  parsed.compressedLength = compressed ^ kLzssRecordMask;
  parsed.offset = offset ^ kLzssRecordMask;
  return parsed;
}

bool WriteLzssRecord(const std::string& name, uint32_t decodedLength, uint32_t compressedLength, uint32_t offset,
                     uint8_t* record) {
  if (name.size() >= kLzssNameSize || name.find('\0') != std::string::npos) return false;
  std::memset(record, 0, kLzssRecordSize);
  std::memcpy(record, name.data(), name.size());
  WriteLe32(record + 128, decodedLength ^ kLzssRecordMask);
  WriteLe32(record + 132, compressedLength ^ kLzssRecordMask);
  WriteLe32(record + 136, offset ^ kLzssRecordMask);
  return true;
}

void WriteLzssEndRecord(uint8_t* record) { std::memset(record, 0, kLzssRecordSize); }

LzssMemberForms MakeLzssMemberForms(const std::string& member) {
  LzssMemberForms forms;
  forms.backslash = ToLowerCase(CollapseBackslashes(SlashToBackslash(member)));
  forms.slash = BackslashToSlash(forms.backslash);
  return forms;
}

bool LzssRecordMatches(const LzssRecord& record, const LzssMemberForms& forms) {
  return record.nameTerminated && (record.name == forms.backslash || record.name == forms.slash);
}

LzssMemberProblem CheckLzssMember(const LzssRecord& record, uint64_t archiveSize) {
  if (uint64_t(record.offset) + record.compressedLength > archiveSize) return LzssMemberProblem::kOutsideArchive;
  if (record.compressedLength == 0) return LzssMemberProblem::kEmpty;
  if (record.decodedLength > LzssMaxDecodedSize(record.compressedLength)) return LzssMemberProblem::kImpossibleLength;
  return LzssMemberProblem::kNone;
}

int DecodeLzssMember(const uint8_t* archive, uint64_t size, const LzssRecord& record, std::vector<uint8_t>* decoded) {
  switch (CheckLzssMember(record, size)) {
    case LzssMemberProblem::kOutsideArchive:
    case LzssMemberProblem::kEmpty: return -1;
    case LzssMemberProblem::kImpossibleLength: return -2;
    case LzssMemberProblem::kNone: break;
  }
  auto output = TryAllocate<uint8_t>(uint64_t(record.decodedLength) + 8);
  if (!output) return -3;
  CLZSSCodec codec;
  if (codec.Decode(archive + record.offset, record.compressedLength, output.get(), record.decodedLength) < 0) return -2;
  decoded->assign(output.get(), output.get() + record.decodedLength);
  return 1;
}

bool BuildLzssArchive(const std::vector<LzssMemberInput>& members, std::vector<uint8_t>* archive) {
  std::vector<std::vector<uint8_t>> streams(members.size());
  uint64_t at = (uint64_t(members.size()) + 1) * kLzssRecordSize;
  for (size_t i = 0; i < members.size(); ++i) {
    if (members[i].name.size() >= kLzssNameSize || members[i].bytes.size() > 0xFFFFFFFFu) return false;
    if (!LzssEncode(members[i].bytes.data(), members[i].bytes.size(), &streams[i])) return false;
    at += streams[i].size();
  }
  if (at > 0xFFFFFFFFu) return false;
  archive->assign(static_cast<size_t>(at), 0);
  uint64_t offset = (uint64_t(members.size()) + 1) * kLzssRecordSize;
  for (size_t i = 0; i < members.size(); ++i) {
    if (!WriteLzssRecord(members[i].name, static_cast<uint32_t>(members[i].bytes.size()),
                         static_cast<uint32_t>(streams[i].size()), static_cast<uint32_t>(offset),
                         archive->data() + i * kLzssRecordSize))
      return false;
    if (!streams[i].empty()) std::memcpy(archive->data() + offset, streams[i].data(), streams[i].size());
    offset += streams[i].size();
  }
  WriteLzssEndRecord(archive->data() + members.size() * kLzssRecordSize);
  return true;
}

bool BuildLzssSingleFile(const uint8_t* bytes, size_t length, std::vector<uint8_t>* file) {
  if (length > 0xFFFFFFFFu) return false;
  std::vector<uint8_t> stream;
  if (!LzssEncode(bytes, length, &stream)) return false;
  file->assign(4, 0);
  WriteLe32(file->data(), static_cast<uint32_t>(length));
  file->insert(file->end(), stream.begin(), stream.end());
  return true;
}
