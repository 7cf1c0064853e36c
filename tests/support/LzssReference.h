#pragma once
// The LZSS stream the plain way, as yardsticks for the project's codec in tests, fuzzing and the
// benchmark:
// - ReferenceLzssDecode: one byte at a time through a 4096-byte ring. Same results as the codec: the
//   decoded length when it is exactly `capacity`, -1 when the stream gives more or fewer bytes, 0 for
//   no input; `produced` (optional) receives how many bytes it wrote.
// - ReferenceLzssEncode: the classic binary-tree encoder over the ring (greedy longest match, matches of
//   3 or more, the ring zero-filled with the look-ahead at 0xFEE).

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace testing_support {

inline int64_t ReferenceLzssDecode(const uint8_t* input, uint32_t inputLength, uint8_t* output, uint32_t capacity,
                                   uint64_t* produced = nullptr) {
  if (produced) *produced = 0;
  if (inputLength == 0) return 0;
  uint8_t ring[4096];
  std::memset(ring, 0, sizeof ring);
  uint32_t r = 0xFEE;
  uint32_t in = 0;
  uint64_t out = 0;
  unsigned flags = 0;
  for (;;) {
    flags >>= 1;
    if (!(flags & 0x100)) {
      if (in >= inputLength) break;
      flags = input[in++] | 0xFF00u;
    }
    if (flags & 1) {
      if (in >= inputLength) break;
      uint8_t c = input[in++];
      if (out >= capacity) return -1;
      output[out++] = c;
      if (produced) *produced = out;
      ring[r] = c;
      r = (r + 1) & 0xFFF;
    } else {
      if (in + 1 >= inputLength) break;
      uint32_t b0 = input[in], b1 = input[in + 1];
      in += 2;
      uint32_t position = b0 | (b1 & 0xF0) << 4;
      uint32_t length = (b1 & 0x0F) + 3;
      for (uint32_t i = 0; i < length; ++i) {
        uint8_t c = ring[(position + i) & 0xFFF];
        if (out >= capacity) return -1;
        output[out++] = c;
        if (produced) *produced = out;
        ring[r] = c;
        r = (r + 1) & 0xFFF;
      }
    }
  }
  return out == capacity ? int64_t(out) : -1;
}

class ReferenceLzssEncoder {
 public:
  std::vector<uint8_t> Encode(const uint8_t* input, size_t length) {
    std::vector<uint8_t> out;
    for (int i = kN + 1; i <= kN + 256; ++i) right_[i] = kNil;
    for (int i = 0; i < kN; ++i) parent_[i] = kNil;
    std::memset(ring_, 0, sizeof ring_);
    size_t next = 0;
    int s = 0, r = kN - kF, len = 0;
    for (; len < kF && next < length; ++len) ring_[r + len] = input[next++];
    if (len == 0) return out;
    for (int i = 1; i <= kF; ++i) Insert(r - i);
    Insert(r);
    uint8_t group[17];
    int groupSize = 1;
    uint8_t mask = 1;
    group[0] = 0;
    do {
      if (matchLength_ > len) matchLength_ = len;
      if (matchLength_ <= 2) {
        matchLength_ = 1;
        group[0] |= mask;
        group[groupSize++] = ring_[r];
      } else {
        group[groupSize++] = uint8_t(matchPosition_);
        group[groupSize++] = uint8_t(((matchPosition_ >> 4) & 0xF0) | (matchLength_ - 3));
      }
      mask = uint8_t(mask << 1);
      if (mask == 0) {
        out.insert(out.end(), group, group + groupSize);
        group[0] = 0;
        groupSize = 1;
        mask = 1;
      }
      int last = matchLength_, i = 0;
      for (; i < last && next < length; ++i) {
        Delete(s);
        uint8_t c = input[next++];
        ring_[s] = c;
        if (s < kF - 1) ring_[s + kN] = c;
        s = (s + 1) & (kN - 1);
        r = (r + 1) & (kN - 1);
        Insert(r);
      }
      for (; i < last; ++i) {
        Delete(s);
        s = (s + 1) & (kN - 1);
        r = (r + 1) & (kN - 1);
        if (--len) Insert(r);
      }
    } while (len > 0);
    if (groupSize > 1) out.insert(out.end(), group, group + groupSize);
    return out;
  }

 private:
  static constexpr int kN = 4096, kF = 18, kNil = kN;

  void Insert(int r) {
    int cmp = 1;
    const uint8_t* key = &ring_[r];
    int p = kN + 1 + key[0];
    right_[r] = left_[r] = kNil;
    matchLength_ = 0;
    for (;;) {
      if (cmp >= 0) {
        if (right_[p] != kNil) {
          p = right_[p];
        } else {
          right_[p] = r;
          parent_[r] = p;
          return;
        }
      } else {
        if (left_[p] != kNil) {
          p = left_[p];
        } else {
          left_[p] = r;
          parent_[r] = p;
          return;
        }
      }
      int i = 1;
      for (; i < kF; ++i)
        if ((cmp = key[i] - ring_[p + i]) != 0) break;
      if (i > matchLength_) {
        matchPosition_ = p;
        if ((matchLength_ = i) >= kF) break;
      }
    }
    // The same 18 bytes: r takes p's place in the tree.
    parent_[r] = parent_[p];
    left_[r] = left_[p];
    right_[r] = right_[p];
    parent_[left_[p]] = r;
    parent_[right_[p]] = r;
    if (right_[parent_[p]] == p)
      right_[parent_[p]] = r;
    else
      left_[parent_[p]] = r;
    parent_[p] = kNil;
  }

  void Delete(int p) {
    if (parent_[p] == kNil) return;
    int q;
    if (right_[p] == kNil) {
      q = left_[p];
    } else if (left_[p] == kNil) {
      q = right_[p];
    } else {
      q = left_[p];
      if (right_[q] != kNil) {
        do q = right_[q];
        while (right_[q] != kNil);
        right_[parent_[q]] = left_[q];
        parent_[left_[q]] = parent_[q];
        left_[q] = left_[p];
        parent_[left_[p]] = q;
      }
      right_[q] = right_[p];
      parent_[right_[p]] = q;
    }
    parent_[q] = parent_[p];
    if (right_[parent_[p]] == p)
      right_[parent_[p]] = q;
    else
      left_[parent_[p]] = q;
    parent_[p] = kNil;
  }

  uint8_t ring_[kN + kF - 1];
  int left_[kN + 1], right_[kN + 257], parent_[kN + 1];
  int matchPosition_ = 0, matchLength_ = 0;
};

inline std::vector<uint8_t> ReferenceLzssEncode(const uint8_t* input, size_t length) {
  auto encoder = std::make_unique<ReferenceLzssEncoder>();
  return encoder->Encode(input, length);
}

}  // namespace testing_support
