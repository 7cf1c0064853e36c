// The LZSS codec and index records, on bytes in memory: hand-made streams with their bytes worked out
// by hand, the decoder against the plain ring decoder on random streams, and round trips through the
// encoder.

#include "pack/LzssCore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/Bytes.h"
#include "tests/support/LzssReference.h"

using namespace testing_support;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A match item: ring position and length 3..18.
void PutMatch(Bytes& stream, uint32_t position, uint32_t length) {
  stream.push_back(uint8_t(position));
  stream.push_back(uint8_t((position >> 4 & 0xF0) | (length - 3)));
}

// Decodes into a buffer with guard bytes behind the capacity and checks they stay untouched. The input
// is copied into a block of exactly its size so that the sanitizers catch a read past it.
int64_t Decode(const Bytes& stream, uint32_t capacity, Bytes* decoded = nullptr) {
  Bytes input(stream);
  Bytes output(size_t(capacity) + 32, 0xA5);
  CLZSSCodec codec;
  int64_t result =
      codec.Decode(input.empty() ? nullptr : input.data(), uint32_t(input.size()), output.data(), capacity);
  for (size_t i = capacity; i < output.size(); ++i) {
    EXPECT_EQ(output[i], 0xA5) << "written past the capacity at " << i;
    if (output[i] != 0xA5) break;
  }
  if (decoded) decoded->assign(output.begin(), output.begin() + capacity);
  return result;
}

Bytes Encode(const Bytes& bytes) {
  Bytes stream;
  EXPECT_TRUE(LzssEncode(bytes.data(), bytes.size(), &stream));
  return stream;
}

// Encodes, decodes with both decoders, and checks the stream is no longer than the classic encoder's.
void ExpectRoundTrip(const Bytes& bytes, const std::string& what) {
  SCOPED_TRACE(what + ", " + std::to_string(bytes.size()) + " bytes");
  Bytes stream = Encode(bytes);
  ASSERT_FALSE(stream.empty()) << "even an empty input gets its flag byte";
  EXPECT_LE(stream.size(), LzssEncodeBound(bytes.size()));
  Bytes decoded;
  ASSERT_EQ(Decode(stream, uint32_t(bytes.size()), &decoded), int64_t(bytes.size()));
  EXPECT_TRUE(decoded == bytes);
  Bytes reference(bytes.size() + 1);
  EXPECT_EQ(ReferenceLzssDecode(stream.data(), uint32_t(stream.size()), reference.data(), uint32_t(bytes.size())),
            int64_t(bytes.size()));
  reference.resize(bytes.size());
  EXPECT_TRUE(reference == bytes) << "the plain ring decoder reads the stream differently";
  if (!bytes.empty()) {
    Bytes classic = ReferenceLzssEncode(bytes.data(), bytes.size());
    EXPECT_LE(stream.size(), classic.size()) << "larger than the classic encoder's stream";
  }
}

Bytes Random(size_t size, uint32_t seed) {
  std::string text = PatternBytes(size, seed);
  return ToBytes(text);
}

// Text-like bytes: words from a small list, so that matches of every length and distance occur.
Bytes Words(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"the ",   "data ",    "file ", "of ",    "archive ", "ring ",   "match\r\n",
                                       "ゲーム", "読み込み", "、",    "。\r\n", "0x0FEE ",  "buffer ", "a "};
  Bytes out;
  uint32_t state = seed;
  while (out.size() < size) {
    state = state * 1103515245u + 12345u;
    const char* word = kWords[(state >> 16) % (sizeof kWords / sizeof *kWords)];
    out.insert(out.end(), word, word + std::strlen(word));
  }
  out.resize(size);
  return out;
}

}  // namespace

TEST(LzssDecode, HandMadeStreams) {
  Bytes out;
  // A first flag byte of 0xFF: eight literals, then the next byte is a flag byte again.
  Bytes eight = {0xFF, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 0x01, 'I'};
  ASSERT_EQ(Decode(eight, 9, &out), 9);
  EXPECT_EQ(std::string(out.begin(), out.end()), "ABCDEFGHI");

  // Matches into ring positions never written give zeros: position 0 (zero-filled at the start) and
  // 0xFF8, ahead of the write position, which the output has not reached yet.
  Bytes zeros = {0x09, 'q'};
  PutMatch(zeros, 0x000, 3);
  PutMatch(zeros, 0xFF8, 5);
  zeros.push_back('z');
  ASSERT_EQ(Decode(zeros, 10, &out), 10);
  EXPECT_TRUE(out == Bytes({'q', 0, 0, 0, 0, 0, 0, 0, 0, 'z'}));

  // Overlapping matches see their own output: "a" then 10 from 0xFEE, "xy" then 7 from 0xFF9.
  Bytes overlap = {0x0D, 'a'};
  PutMatch(overlap, 0xFEE, 10);
  overlap.push_back('x');
  overlap.push_back('y');
  PutMatch(overlap, 0xFF9, 7);
  ASSERT_EQ(Decode(overlap, 20, &out), 20);
  EXPECT_EQ(std::string(out.begin(), out.end()), "aaaaaaaaaaaxyxyxyxyx");

  // A match that starts before the write position and runs into it: ring 0xFEC..0xFED are zero, then
  // the two literals and the match's own bytes follow.
  Bytes intoItself = {0x03, 'p', 'q'};
  PutMatch(intoItself, 0xFEC, 8);
  ASSERT_EQ(Decode(intoItself, 10, &out), 10);
  EXPECT_TRUE(out == Bytes({'p', 'q', 0, 0, 'p', 'q', 0, 0, 'p', 'q'}));
}

TEST(LzssDecode, MatchesAcrossTheRingsWrap) {
  // 5000 literals: output index o lands in ring position (0xFEE + o) mod 4096, so the ring's end
  // (0xFFF) holds index 4113 - 4096 = 17 overwritten by 4113, and position 0 holds index 4114.
  Bytes literals(5000);
  for (size_t i = 0; i < literals.size(); ++i) literals[i] = uint8_t(i * 7 % 251);
  Bytes stream;
  for (size_t i = 0; i < literals.size(); ++i) {
    if (i % 8 == 0) stream.push_back(0xFF);
    stream.push_back(literals[i]);
  }
  // The group after: a match from 0xFFA over the wrap, 18 long (indices 4108..4113, then 4114..4125),
  // and one from the position being written, which reads the byte 4096 back (index 5018 - 4096).
  stream.push_back(0x00);
  PutMatch(stream, 0xFFA, 18);
  uint32_t writePosition = (0xFEE + 5018) % 4096;
  PutMatch(stream, writePosition, 3);
  Bytes out;
  ASSERT_EQ(Decode(stream, 5021, &out), 5021);
  for (int i = 0; i < 18; ++i) EXPECT_EQ(out[5000 + i], literals[4108 + i]) << i;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(out[5018 + i], out[5018 + i - 4096]) << i;
}

TEST(LzssDecode, LengthMustMatchTheCapacityExactly) {
  Bytes stream = {0x1F, 'a', 'b', 'c', 'd', 'e'};  // five literals
  EXPECT_EQ(Decode(stream, 5), 5);
  EXPECT_EQ(Decode(stream, 4), -1) << "one byte more than the capacity";
  EXPECT_EQ(Decode(stream, 6), -1) << "one byte fewer than the capacity";
  // A match that does not fit is refused, and nothing lands past the capacity (Decode checks guards).
  Bytes match = {0x01, 'x'};
  PutMatch(match, 0xFEE, 18);
  EXPECT_EQ(Decode(match, 19), 19);
  EXPECT_EQ(Decode(match, 10), -1);
  EXPECT_EQ(Decode(match, 0), -1);
  // No input: 0, compared with nothing.
  EXPECT_EQ(Decode({}, 0), 0);
  EXPECT_EQ(Decode({}, 100), 0);
  // The end of input ends the stream anywhere: after a flag byte, or inside a match (dropped).
  EXPECT_EQ(Decode({0x00}, 0), 0);
  EXPECT_EQ(Decode({0x01, 'a', 0x00}, 1), 1);
  EXPECT_EQ(Decode({0x01, 'a', 0x00}, 2), -1);
}

TEST(LzssDecode, MostBytesAStreamCanGive) {
  EXPECT_EQ(LzssMaxDecodedSize(0), 0u);
  EXPECT_EQ(LzssMaxDecodedSize(1), 0u);
  EXPECT_EQ(LzssMaxDecodedSize(2), 1u);
  EXPECT_EQ(LzssMaxDecodedSize(3), 18u);
  EXPECT_EQ(LzssMaxDecodedSize(17), 144u);
  EXPECT_EQ(LzssMaxDecodedSize(20), 144u + 18);
  EXPECT_EQ(LzssMaxDecodedSize(0xFFFFFFFFull), 0xFFFFFFFFull / 17 * 144);
  // The bound is reached: matches of 18 as long as two bytes remain, a literal for an odd one out.
  for (uint32_t size = 1; size <= 60; ++size) {
    Bytes stream;
    size_t flagAt = 0;
    int item = 8;
    while (stream.size() < size) {
      if (item == 8) {
        flagAt = stream.size();
        stream.push_back(0);
        item = 0;
        continue;
      }
      if (size - stream.size() >= 2) {
        PutMatch(stream, 0, 18);
      } else {
        stream[flagAt] |= uint8_t(1 << item);
        stream.push_back('L');
      }
      ++item;
    }
    uint32_t most = uint32_t(LzssMaxDecodedSize(size));
    EXPECT_EQ(Decode(stream, most), int64_t(most)) << size;
  }
}

TEST(LzssDecode, AgreesWithThePlainRingDecoder) {
  // Random streams (mostly matches, the worst case for the fast path) at their own length and one
  // either side, and random capacities.
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    size_t size = seed * 37 % 3000 + (seed % 7 == 0 ? 20000 : 0);
    Bytes stream = Random(size, seed);
    for (size_t i = 0; i < stream.size(); i += 17) stream[i] &= uint8_t(seed);  // vary the flags
    uint64_t natural = 0;
    Bytes scratch(LzssMaxDecodedSize(size) + 1);
    ReferenceLzssDecode(stream.data(), uint32_t(size), scratch.data(), uint32_t(scratch.size()), &natural);
    uint32_t capacities[] = {uint32_t(natural), uint32_t(natural + 1), uint32_t(natural ? natural - 1 : 0),
                             seed * 2654435761u % uint32_t(natural + 2)};
    for (uint32_t capacity : capacities) {
      Bytes expected(size_t(capacity) + 1), actual;
      int64_t want = ReferenceLzssDecode(stream.data(), uint32_t(size), expected.data(), capacity);
      ASSERT_EQ(Decode(stream, capacity, &actual), want) << "seed " << seed << " capacity " << capacity;
      if (want >= 0) {
        expected.resize(capacity);
        ASSERT_TRUE(actual == expected) << "seed " << seed;
      }
    }
  }
}

TEST(LzssEncode, RoundTrips) {
  ExpectRoundTrip({}, "empty");
  ExpectRoundTrip({'x'}, "one byte");
  ExpectRoundTrip({0}, "one zero byte");
  for (size_t size : {17, 18, 19, 36, 4095, 4096, 4097, 4114, 8192 + 18}) {
    ExpectRoundTrip(Bytes(size, 0), "zeros");
    ExpectRoundTrip(Bytes(size, 0x20), "spaces");
    ExpectRoundTrip(Random(size, uint32_t(size)), "random");
    ExpectRoundTrip(Words(size, uint32_t(size)), "words");
  }
  // Repeats just within and just beyond the ring's reach.
  for (size_t period : {4078, 4095, 4096, 4097}) {
    Bytes block = Random(period, 9);
    Bytes twice = block;
    twice.insert(twice.end(), block.begin(), block.end());
    ExpectRoundTrip(twice, "a block repeated " + std::to_string(period) + " bytes later");
  }
  ExpectRoundTrip(Words(200000, 3), "words");
}

TEST(LzssEncode, CompressesAtLeastAsWellAsTheClassicEncoder) {
  // Mixed data: the cheapest parse beats greedy matching where a shorter match sets up a longer one.
  Bytes mixed = Words(60000, 5);
  Bytes noise = Random(20000, 6);
  mixed.insert(mixed.end(), noise.begin(), noise.end());
  for (size_t i = 0; i < 20000; ++i) mixed.push_back(uint8_t(i / 300));
  Bytes stream = Encode(mixed);
  Bytes classic = ReferenceLzssEncode(mixed.data(), mixed.size());
  EXPECT_LT(stream.size(), classic.size());
  // Runs of zeros at the start are matches against the ring's zero fill: 4096 zeros in a few items.
  EXPECT_LE(Encode(Bytes(4096, 0)).size(), 4096 / 18 * 2 + 40);
}

TEST(LzssRecords, ParseWriteAndMatch) {
  uint8_t record[kLzssRecordSize];
  ASSERT_TRUE(WriteLzssRecord("data\\a.bmp", 1000, 300, 0x12345678, record));
  // Numbers are stored XOR 0x3B3B3B, little-endian.
  EXPECT_EQ(record[128], uint8_t(1000 ^ 0x3B));
  EXPECT_EQ(record[139], 0x12);
  EXPECT_EQ(record[138], 0x34 ^ 0x3B);
  LzssRecord parsed = ParseLzssRecord(record);
  EXPECT_EQ(parsed.name, "data\\a.bmp");
  EXPECT_TRUE(parsed.nameTerminated);
  EXPECT_FALSE(parsed.isEnd);
  EXPECT_EQ(parsed.decodedLength, 1000u);
  EXPECT_EQ(parsed.compressedLength, 300u);
  EXPECT_EQ(parsed.offset, 0x12345678u);

  LzssMemberForms forms = MakeLzssMemberForms("DATA/A.BMP");
  EXPECT_EQ(forms.backslash, "data\\a.bmp");
  EXPECT_EQ(forms.slash, "data/a.bmp");
  EXPECT_TRUE(LzssRecordMatches(parsed, forms));
  EXPECT_TRUE(LzssRecordMatches(ParseLzssRecord((WriteLzssRecord("data/a.bmp", 1, 1, 1, record), record)), forms));
  // Stored names are not lowered.
  EXPECT_FALSE(LzssRecordMatches(ParseLzssRecord((WriteLzssRecord("Data\\a.bmp", 1, 1, 1, record), record)), forms));
  // Double-byte characters keep their trail byte: ソ (83 5C) is not a separator.
  LzssMemberForms dbcs = MakeLzssMemberForms("Dir/" + kSo + "\\\\X");
  EXPECT_EQ(HexBytes(dbcs.backslash), HexBytes("dir\\" + kSo + "\\x"));
  EXPECT_EQ(HexBytes(dbcs.slash), HexBytes("dir/" + kSo + "/x"));

  // A name that fills all 128 bytes is damage: it matches nothing, even the same 128 bytes.
  std::string full(128, 'a');
  EXPECT_FALSE(WriteLzssRecord(full, 1, 1, 1, record));
  std::memset(record, 'a', 128);
  parsed = ParseLzssRecord(record);
  EXPECT_FALSE(parsed.nameTerminated);
  EXPECT_EQ(parsed.name.size(), 128u);
  EXPECT_FALSE(LzssRecordMatches(parsed, MakeLzssMemberForms(full)));

  // The end record: all three numbers stored as 0 (whatever the name).
  WriteLzssEndRecord(record);
  EXPECT_TRUE(ParseLzssRecord(record).isEnd);
  record[0] = 'x';
  EXPECT_TRUE(ParseLzssRecord(record).isEnd);
  record[130] = 1;
  EXPECT_FALSE(ParseLzssRecord(record).isEnd);
}

TEST(LzssRecords, MembersAreCheckedBeforeAnythingIsAllocated) {
  LzssRecord record{"a", true, false, 144, 17, 1000};
  EXPECT_EQ(CheckLzssMember(record, 1017), LzssMemberProblem::kNone);
  EXPECT_EQ(CheckLzssMember(record, 1016), LzssMemberProblem::kOutsideArchive);
  record.decodedLength = 145;
  EXPECT_EQ(CheckLzssMember(record, 1017), LzssMemberProblem::kImpossibleLength);
  record.compressedLength = 0;
  record.decodedLength = 0;
  EXPECT_EQ(CheckLzssMember(record, 1017), LzssMemberProblem::kEmpty);
  // Offset + length past 4 GiB does not wrap into the archive.
  record = {"a", true, false, 1, 0x20, 0xFFFFFFF0u};
  EXPECT_EQ(CheckLzssMember(record, 0x100), LzssMemberProblem::kOutsideArchive);
  record = {"a", true, false, 0xFFFFFFFFu, 0xFFFFFFFFu, 0};
  EXPECT_EQ(CheckLzssMember(record, 0x100), LzssMemberProblem::kOutsideArchive);
}

TEST(LzssRecords, ArchivesInMemory) {
  std::vector<LzssMemberInput> members = {
      {"a.txt", Words(5000, 1)}, {"sub\\empty", {}}, {"sub\\b.bin", Random(300, 2)}};
  Bytes archive;
  ASSERT_TRUE(BuildLzssArchive(members, &archive));
  std::vector<std::string> names;
  ASSERT_TRUE(WalkLzssIndex(archive.data(), archive.size(), [&](const LzssRecord& record) {
    names.push_back(record.name);
    Bytes decoded;
    EXPECT_EQ(DecodeLzssMember(archive.data(), archive.size(), record, &decoded), 1) << record.name;
    for (const auto& member : members)
      if (member.name == record.name) {
        EXPECT_TRUE(decoded == member.bytes) << record.name;
      }
    return true;
  }));
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "sub\\empty", "sub\\b.bin"}));

  // A decoded length one off is a decode error; a member cut off by the end of the archive a read error.
  LzssRecord first = ParseLzssRecord(archive.data());
  Bytes decoded;
  ++first.decodedLength;
  EXPECT_EQ(DecodeLzssMember(archive.data(), archive.size(), first, &decoded), -2);
  first.decodedLength -= 2;
  EXPECT_EQ(DecodeLzssMember(archive.data(), archive.size(), first, &decoded), -2);
  LzssRecord last = ParseLzssRecord(archive.data() + 2 * kLzssRecordSize);
  EXPECT_EQ(DecodeLzssMember(archive.data(), archive.size() - 1, last, &decoded), -1);

  // An index without its end record inside the bytes is damage.
  EXPECT_FALSE(WalkLzssIndex(archive.data(), 3 * kLzssRecordSize + 139, [](const LzssRecord&) { return true; }));
  EXPECT_FALSE(WalkLzssIndex(archive.data(), 10, [](const LzssRecord&) { return true; }));

  std::vector<LzssMemberInput> tooLong = {{std::string(128, 'n'), {1}}};
  EXPECT_FALSE(BuildLzssArchive(tooLong, &archive));

  Bytes single;
  Bytes text = Words(1000, 4);
  ASSERT_TRUE(BuildLzssSingleFile(text.data(), text.size(), &single));
  EXPECT_EQ(single[0] | single[1] << 8, 1000);
  Bytes stream(single.begin() + 4, single.end());
  ASSERT_EQ(Decode(stream, 1000, &decoded), 1000);
  EXPECT_TRUE(decoded == text);
}
