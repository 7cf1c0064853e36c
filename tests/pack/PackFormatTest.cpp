// The .pak formats on bytes in memory: name key, head scramble, stored-block codec, header and index
// walk, and the whole-file decoders with damaged and hostile numbers, on hand-written packs
// (HandPacks.h) as well as on packs of the project's encoder.

#include "pack/PackFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pack/ZipCodec.h"
#include "tests/pack/HandPacks.h"
#include "tests/support/Bytes.h"

using namespace testing_support;

namespace {

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// One index entry as the format lays it out.
std::string Entry(const std::string& name, uint32_t offset, uint32_t length) {
  std::string entry;
  uint32_t key = PackNameKey(name.data(), name.size());
  AppendLittleEndian32(entry, static_cast<uint32_t>(name.size() + 1));
  entry += name;
  entry.push_back('\0');
  AppendLittleEndian32(entry, offset ^ key);
  AppendLittleEndian32(entry, length ^ key);
  return entry;
}

// The reference: a walk from the first entry comparing each name.
const PackEntry* FindByWalking(const PackIndex& index, const std::string& wanted) {
  MemberNameForms forms = NormaliseMemberName(wanted);
  for (size_t i = 0; i < index.GetCount(); ++i) {
    if (MemberNameMatches(index.GetAt(i).name, forms)) return &index.GetAt(i);
  }
  return nullptr;
}

}  // namespace

TEST(PackFormat, NameKeySumsSignedBytesUpToAZero) {
  EXPECT_EQ(PackNameKey("ab", 2), 97u + 98u);
  // 0xE0 is -32 as a signed byte: it takes 32 off the key.
  EXPECT_EQ(PackNameKey("a\xE0", 2), 97u - 32u);
  EXPECT_EQ(PackNameKey("\xE0", 1), 0xFFFFFFE0u);
  EXPECT_EQ(PackNameKey("ab\0cd", 5), 97u + 98u);
  EXPECT_EQ(PackNameKey("abc", 2), 97u + 98u);
  EXPECT_EQ(PackNameKey("", 0), 0u);
}

TEST(PackFormat, HeadScrambleKeyStream) {
  // S = 17: the key starts at (17 >> 3) + 0x6B = 0x6D and moves three bits left per byte.
  EXPECT_EQ(PackScrambleKeyAt(17, 0), 0x6D);
  EXPECT_EQ(PackScrambleKeyAt(17, 1), 0x68);
  EXPECT_EQ(PackScrambleKeyAt(17, 2), 0x40);
  EXPECT_EQ(PackScrambleKeyAt(17, 3), 0x00);
  // The start wraps mod 256: S = 0x4A8 gives 0x95 + 0x6B = 0x100.
  EXPECT_EQ(PackScrambleKeyAt(0x4A8, 0), 0x00);
  // A block shorter than the key reaches: the trailer bytes inside it change too, nothing past S.
  uint8_t tiny[2] = {0, 0};
  ScramblePackHead(tiny, 2);
  EXPECT_EQ(tiny[0], (0 + kPackScrambleConstant) & 0xFF);
  EXPECT_EQ(tiny[1], static_cast<uint8_t>(kPackScrambleConstant << 3));
  EXPECT_EQ(PackScrambleKeyAt(2, 2), 0);
  // Scrambling twice gives the bytes back.
  std::string bytes = PatternBytes(40, 3);
  std::string copy = bytes;
  ScramblePackHead(reinterpret_cast<uint8_t*>(&copy[0]), copy.size());
  EXPECT_NE(copy, bytes);
  EXPECT_EQ(copy.substr(3), bytes.substr(3));
  ScramblePackHead(reinterpret_cast<uint8_t*>(&copy[0]), copy.size());
  EXPECT_EQ(copy, bytes);
}

TEST(PackFormat, CodecDecodesHandWrittenBlocksAndRoundTrips) {
  std::vector<uint8_t> block(kHelloBlock, kHelloBlock + sizeof kHelloBlock);
  CZipCodec codec;
  EXPECT_FALSE(codec.Decode());  // nothing set
  codec.SetStoredBlock(block.data(), static_cast<uint32_t>(block.size()));
  ASSERT_TRUE(codec.Decode());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(codec.GetDecodedData()), codec.GetDecodedLength()), "hello");
  EXPECT_EQ(block[0], 0x78);  // unscrambled in place
  codec.Release();
  EXPECT_EQ(codec.GetDecodedData(), nullptr);
  EXPECT_EQ(codec.GetDecodedLength(), 0u);

  // The encoder's block for the same bytes decodes the same way; sizes around the scramble's reach
  // and a large compressible file, at several levels.
  for (size_t size : {size_t(0), size_t(1), size_t(5), size_t(31), size_t(300000)}) {
    for (int level : {0, 1, 6, 9}) {
      std::string source = size == 300000 ? std::string(size, 'x') + PatternBytes(1000, 9) : PatternBytes(size, 7);
      std::string stored;
      ASSERT_TRUE(EncodeStoredBlock(source.data(), source.size(), level, &stored)) << size;
      EXPECT_EQ(ReadLittleEndian32(reinterpret_cast<const uint8_t*>(stored.data()) + stored.size() - 4),
                uint32_t(source.size()));
      std::vector<uint8_t> decoded;
      ASSERT_TRUE(DecodeStoredBlock(reinterpret_cast<const uint8_t*>(stored.data()),
                                    static_cast<uint32_t>(stored.size()), &decoded))
          << size << " level " << level;
      EXPECT_EQ(Text(decoded), source);
      if (size == 0) {
        EXPECT_TRUE(decoded.empty());
      }
    }
  }
  std::string stored;
  EXPECT_FALSE(EncodeStoredBlock("x", 1, 42, &stored));  // a level zlib refuses
}

TEST(PackFormat, CodecRefusesDamagedBlocks) {
  std::vector<uint8_t> decoded;
  auto decodes = [&](std::vector<uint8_t> block) {
    return DecodeStoredBlock(block.data(), static_cast<uint32_t>(block.size()), &decoded);
  };
  std::vector<uint8_t> hello(kHelloBlock, kHelloBlock + sizeof kHelloBlock);
  ASSERT_TRUE(decodes(hello));

  // A block scrambled with another constant does not inflate.
  std::vector<uint8_t> plain = hello;
  ScramblePackHead(plain.data(), plain.size());
  for (int constant : {0x00, 0x6A, 0x6C, 0xFF}) {
    std::vector<uint8_t> other = plain;
    ScramblePackHead(other.data(), other.size(), static_cast<uint8_t>(constant));
    EXPECT_FALSE(decodes(other)) << constant;
  }
  // Shorter than a stream and its trailer.
  EXPECT_FALSE(decodes({0x01, 0x02, 0x03, 0x04}));
  EXPECT_FALSE(decodes({}));
  // Length claims: more than the block can hold (1032 to 1), all ones (L + 1 would wrap), fewer bytes
  // than the stream gives, and a few more than it gives (zlib's count wins).
  std::vector<uint8_t> claim = hello;
  Put32(claim, 13, 13 * 1032 + 1);
  EXPECT_FALSE(decodes(claim));
  Put32(claim, 13, 0xFFFFFFFFu);
  EXPECT_FALSE(decodes(claim));
  Put32(claim, 13, 4);
  EXPECT_FALSE(decodes(claim));
  Put32(claim, 13, 100);
  ASSERT_TRUE(decodes(claim));
  EXPECT_EQ(Text(decoded), "hello");
  EXPECT_TRUE(IsDecodedLengthPossible(5, 1032));
  EXPECT_FALSE(IsDecodedLengthPossible(5, 1033));
  EXPECT_FALSE(IsDecodedLengthPossible(4, 0));
  // A damaged stream body (Adler-32 no longer matches).
  std::vector<uint8_t> body = hello;
  body[5] ^= 0x01;
  EXPECT_FALSE(decodes(body));
}

TEST(PackFormat, StreamedDecodeAgreesWithWholeBlockDecode) {
  // Blocks good and damaged, each decoded whole and fed in pieces of several sizes.
  std::vector<std::vector<uint8_t>> blocks;
  blocks.emplace_back(kHelloBlock, kHelloBlock + sizeof kHelloBlock);
  for (size_t size : {size_t(0), size_t(1), size_t(2), size_t(40000)}) {
    std::string stored;
    ASSERT_TRUE(EncodeStoredBlock(PatternBytes(size, 4).data(), size, 6, &stored));
    blocks.emplace_back(stored.begin(), stored.end());
  }
  std::string longRun = std::string(200000, 'r');
  std::string stored;
  ASSERT_TRUE(EncodeStoredBlock(longRun.data(), longRun.size(), 9, &stored));
  blocks.emplace_back(stored.begin(), stored.end());
  for (uint32_t claim : {0u, 4u, 5u, 6u, 100u, 13u * 1032, 13u * 1032 + 1, 0xFFFFFFFFu}) {
    std::vector<uint8_t> block(kHelloBlock, kHelloBlock + sizeof kHelloBlock);
    Put32(block, 13, claim);
    blocks.push_back(block);
  }
  std::vector<uint8_t> flipped(kHelloBlock, kHelloBlock + sizeof kHelloBlock);
  flipped[1] ^= 0x10;
  blocks.push_back(flipped);
  std::vector<uint8_t> trailing(kHelloBlock, kHelloBlock + 13);  // bytes after the stream's end
  trailing.insert(trailing.end(), {0xAA, 0xBB, 0x05, 0x00, 0x00, 0x00});
  ScramblePackHead(trailing.data(), sizeof kHelloBlock);
  ScramblePackHead(trailing.data(), trailing.size());
  blocks.push_back(trailing);
  std::mt19937 random(99);
  for (int i = 0; i < 200; ++i) {
    std::vector<uint8_t> block(5 + random() % 12);
    for (uint8_t& b : block) b = static_cast<uint8_t>(random());
    blocks.push_back(block);
  }

  int decodedWhole = 0;
  for (size_t b = 0; b < blocks.size(); ++b) {
    std::vector<uint8_t> copy = blocks[b];
    CZipCodec whole;
    whole.SetStoredBlock(copy.data(), static_cast<uint32_t>(copy.size()));
    bool wholeOk = whole.Decode();
    decodedWhole += wholeOk;
    std::string wholeBytes =
        wholeOk ? std::string(reinterpret_cast<const char*>(whole.GetDecodedData()), whole.GetDecodedLength())
                : std::string();
    for (size_t chunk : {size_t(1), size_t(2), size_t(3), size_t(7), size_t(4096), size_t(1) << 20}) {
      const std::vector<uint8_t>& block = blocks[b];
      size_t next = 0;
      CZipCodec pieces;
      bool piecesOk = pieces.DecodeStreamed(
          static_cast<uint32_t>(block.size()), block.data() + block.size() - 4,
          [&](uint8_t* buffer, size_t size) {
            if (size > chunk || next + size > block.size() - 4) return false;  // within the stream only
            std::memcpy(buffer, block.data() + next, size);
            next += size;
            return true;
          },
          chunk);
      ASSERT_EQ(piecesOk, wholeOk) << "block " << b << " in pieces of " << chunk;
      if (piecesOk) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(pieces.GetDecodedData()), pieces.GetDecodedLength()),
                  wholeBytes);
      }
    }
  }
  EXPECT_GE(decodedWhole, 9);
  // A reader that fails stops the decode.
  CZipCodec failing;
  EXPECT_FALSE(failing.DecodeStreamed(sizeof kHelloBlock, kHelloBlock + 13, [](uint8_t*, size_t) { return false; }));
  EXPECT_FALSE(failing.RanOutOfMemory());
}

TEST(PackFormat, LargeOutputsAreReusedButNeverShared) {
  ReleaseSpareOutput();
  auto encode = [](const std::string& data) {
    std::string block;
    EXPECT_TRUE(EncodeStoredBlock(data.data(), data.size(), 6, &block));
    return std::vector<uint8_t>(block.begin(), block.end());
  };
  const std::string a = PatternBytes(3 << 20, 1), b(2 << 20, 'b'), c = PatternBytes(100000, 3);
  std::vector<uint8_t> blockA = encode(a), blockB = encode(b), blockC = encode(c);
  auto decode = [](CZipCodec& codec, std::vector<uint8_t> block) {  // a copy: decoding unscrambles it
    codec.SetStoredBlock(block.data(), static_cast<uint32_t>(block.size()));
    EXPECT_TRUE(codec.Decode());
    return std::string(reinterpret_cast<const char*>(codec.GetDecodedData()), codec.GetDecodedLength());
  };

  CZipCodec first;
  ASSERT_EQ(decode(first, blockA), a);
  const uint8_t* bufferA = first.GetDecodedData();
  first.Release();
  // The next large output of about that size writes to the released buffer: only its own bytes show.
  CZipCodec second;
  ASSERT_EQ(decode(second, blockB), b);
  EXPECT_EQ(second.GetDecodedData(), bufferA);
  EXPECT_EQ(second.GetDecodedLength(), b.size());
  // While it is held, no other codec gets it.
  CZipCodec third;
  ASSERT_EQ(decode(third, blockA), a);
  EXPECT_NE(third.GetDecodedData(), second.GetDecodedData());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(second.GetDecodedData()), second.GetDecodedLength()), b);
  // A small output does not take a large spare; a streamed decode takes it like a whole one.
  const uint8_t* bufferThird = third.GetDecodedData();
  third.Release();
  CZipCodec small;
  ASSERT_EQ(decode(small, blockC), c);
  EXPECT_NE(small.GetDecodedData(), bufferThird);
  uint8_t lastFour[4];
  std::memcpy(lastFour, blockB.data() + blockB.size() - 4, 4);
  size_t at = 0;
  CZipCodec streamed;
  ASSERT_TRUE(
      streamed.DecodeStreamed(static_cast<uint32_t>(blockB.size()), lastFour, [&](uint8_t* buffer, size_t size) {
        std::memcpy(buffer, blockB.data() + at, size);
        at += size;
        return true;
      }));
  EXPECT_EQ(streamed.GetDecodedData(), bufferThird);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(streamed.GetDecodedData()), streamed.GetDecodedLength()), b);
  // A decode that fails gives the buffer back unharmed for the next one.
  streamed.Release();
  std::vector<uint8_t> damaged = blockA;
  damaged[damaged.size() / 2] ^= 0x55;
  CZipCodec failing;
  failing.SetStoredBlock(damaged.data(), static_cast<uint32_t>(damaged.size()));
  EXPECT_FALSE(failing.Decode());
  EXPECT_EQ(failing.GetDecodedData(), nullptr);
  CZipCodec after;
  EXPECT_EQ(decode(after, blockA), a);
  ReleaseSpareOutput();
}

TEST(PackFormat, HeadersOfBothVariants) {
  uint32_t number = 0;
  EXPECT_TRUE(ReadPackHeader(kHandArchive, sizeof kHandArchive, PackVariant::kArchive, &number));
  EXPECT_EQ(number, 0x33u);
  EXPECT_FALSE(ReadPackHeader(kHandArchive, sizeof kHandArchive, PackVariant::kSingle, &number));
  EXPECT_FALSE(ReadPackHeader(kHandArchive, 13, PackVariant::kArchive, &number));
  EXPECT_TRUE(ReadPackHeader(kHandSingle, sizeof kHandSingle, PackVariant::kSingle, &number));
  EXPECT_EQ(number, 13u);
  std::vector<uint8_t> lower(kHandArchive, kHandArchive + 14);
  lower[0] = 'v';
  EXPECT_FALSE(ReadPackHeader(lower.data(), lower.size(), PackVariant::kArchive, &number));
  std::string made = MakePackHeader(PackVariant::kSingle, 0x01020304);
  EXPECT_EQ(HexBytes(made), HexBytes(std::string("VEMAPACK4S\x04\x03\x02\x01", 14)));
}

TEST(PackFormat, MemberNamesMatchAcrossCaseAndSeparators) {
  std::vector<uint8_t> out;
  // Stored as Sub/Hello.TXT: found by either separator, any letter case, doubled separators.
  for (const char* wanted : {"sub\\hello.txt", "SUB/HELLO.TXT", "Sub\\\\Hello.txt", "sub//hello.TXT"}) {
    EXPECT_EQ(DecodePackArchiveMember(kHandArchive, sizeof kHandArchive, wanted, &out), 1) << wanted;
    EXPECT_EQ(Text(out), "hello");
  }
  EXPECT_EQ(DecodePackArchiveMember(kHandArchive, sizeof kHandArchive, "hello.txt", &out), -1);
  EXPECT_EQ(DecodePackArchiveMember(kHandArchive, sizeof kHandArchive, "sub\\hello.tx", &out), -1);
  // A double-byte character is compared whole: E0 40 stays as it is, 'A' as a trail byte is not
  // lowered.
  EXPECT_EQ(DecodePackArchiveMember(kHandArchive, sizeof kHandArchive, "A/\xE0\x40.BIN", &out), 1);
  EXPECT_EQ(HexBytes(Text(out)), "00 01 02");
  EXPECT_EQ(DecodePackArchiveMember(kHandArchive, sizeof kHandArchive, "a\\\xE0\x60.bin", &out), -1);
  MemberNameForms forms = NormaliseMemberName("X/\x83\x41\\Y");
  EXPECT_EQ(forms.backslash, "x\\\x83\x41\\y");
  EXPECT_EQ(forms.slash, "x/\x83\x41/y");
  // A trail byte 5C is not a separator in either form.
  forms = NormaliseMemberName(kSo + "/a");
  EXPECT_EQ(HexBytes(forms.backslash), "83 5C 5C 61");
  EXPECT_EQ(HexBytes(forms.slash), "83 5C 2F 61");
}

TEST(PackFormat, IndexLookUpAgreesWithAWalkFromTheStart) {
  // Names made of a few letters and both separators, so that many collide by case or separator; the
  // first matching entry must win, as in a linear walk.
  std::mt19937 random(12345);
  const char pieces[] = {'a', 'B', '\\', '/', 'c'};
  std::vector<PackEntry> entries;
  for (int i = 0; i < 400; ++i) {
    PackEntry entry;
    for (int n = 1 + random() % 5; n > 0; --n) entry.name.push_back(pieces[random() % 5]);
    entry.offset = i;
    entry.length = 1000 + i;
    entries.push_back(entry);
  }
  std::string block = MakeIndexBlock(entries);
  PackIndex index(reinterpret_cast<const uint8_t*>(block.data()), block.size());
  ASSERT_EQ(index.GetCount(), entries.size());
  EXPECT_FALSE(index.IsDamaged());
  EXPECT_EQ(index.GetAt(7).offset, 7u);
  EXPECT_EQ(index.GetAt(7).length, 1007u);
  int found = 0;
  for (int i = 0; i < 2000; ++i) {
    std::string wanted;
    for (int n = 1 + random() % 6; n > 0; --n) wanted.push_back(pieces[random() % 5]);
    const PackEntry* fast = index.Find(wanted);
    EXPECT_EQ(fast, FindByWalking(index, wanted)) << wanted;
    found += fast != nullptr;
  }
  EXPECT_GT(found, 500);
}

TEST(PackFormat, IndexWalkStopsAtDamage) {
  auto indexOf = [](const std::string& block) {
    return PackIndex(reinterpret_cast<const uint8_t*>(block.data()), block.size());
  };
  std::string a = Entry("a.bin", 100, 20), b = Entry("b.bin", 200, 30), end(4, '\0');

  PackIndex empty = indexOf(end);
  EXPECT_EQ(empty.GetCount(), 0u);
  EXPECT_FALSE(empty.IsDamaged());
  EXPECT_EQ(empty.Find("a.bin"), nullptr);

  // Entries past the declared length (the marker missing, or b cut short) are not listed; those
  // before are.
  PackIndex noMarker = indexOf(a + b);
  EXPECT_TRUE(noMarker.IsDamaged());
  EXPECT_EQ(noMarker.GetCount(), 2u);
  PackIndex cut = indexOf(a + b.substr(0, b.size() - 1));
  EXPECT_TRUE(cut.IsDamaged());
  ASSERT_EQ(cut.GetCount(), 1u);
  EXPECT_NE(cut.Find("A.BIN"), nullptr);
  EXPECT_EQ(cut.Find("b.bin"), nullptr);
  EXPECT_TRUE(indexOf(a.substr(0, 2)).IsDamaged());

  // A name length above 264 is damage, not a name: the walk ends there, even when the bytes exist.
  std::string longName(264, 'n');  // 265 with its zero
  std::string block = a + Entry(longName, 1, 2) + b + end;
  PackIndex tooLong = indexOf(block);
  EXPECT_TRUE(tooLong.IsDamaged());
  EXPECT_EQ(tooLong.GetCount(), 1u);
  EXPECT_EQ(tooLong.Find("b.bin"), nullptr);
  std::string longest(263, 'n');  // exactly 264 with its zero
  PackIndex atLimit = indexOf(a + Entry(longest, 1, 2) + b + end);
  EXPECT_FALSE(atLimit.IsDamaged());
  EXPECT_EQ(atLimit.GetCount(), 3u);
  // A length near 2^32 must not wrap the bounds check.
  std::string huge = a;
  AppendLittleEndian32(huge, 0xFFFFFFF8u);
  huge += std::string(64, 'x');
  EXPECT_EQ(indexOf(huge).GetCount(), 1u);
  // A name with a zero inside ends there; the key is formed over what comes before it.
  std::string odd;
  uint32_t key = PackNameKey("z.bin", 5);
  AppendLittleEndian32(odd, 10);
  odd += std::string("z.bin\0junk", 10);
  AppendLittleEndian32(odd, 50 ^ key);
  AppendLittleEndian32(odd, 60 ^ key);
  PackIndex zeroInside = indexOf(odd + end);
  ASSERT_EQ(zeroInside.GetCount(), 1u);
  EXPECT_EQ(zeroInside.GetAt(0).name, "z.bin");
  EXPECT_EQ(zeroInside.GetAt(0).offset, 50u);
  EXPECT_EQ(zeroInside.GetAt(0).length, 60u);
  EXPECT_EQ(zeroInside.GetAt(0).entrySize, 22u);
}

TEST(PackFormat, IndexLookUpOfJapaneseNames) {
  // Trail bytes 0x5C are no separators, lower-casing leaves double-byte characters whole, and names
  // near the 264-byte limit are found; the first of equal names wins, as in a walk.
  std::string deep;
  while (deep.size() + 2 + 8 < kMaxMemberNameSize - 1) deep += kHyo;
  deep += "\\End.BMP";
  std::vector<PackEntry> entries;
  const std::string names[] = {kHyo + "\\a.bmp", kHyo + "/A.BMP",        kSo + kNo + "\\" + "予十.txt",
                               "データ\\" + kSo, "データ\\" + kSo + "a", deep,
                               "データ/" + kSo};
  for (const std::string& name : names) {
    PackEntry entry;
    entry.name = name;
    entry.offset = static_cast<uint32_t>(entries.size());
    entry.length = 7;
    entries.push_back(entry);
  }
  ASSERT_EQ(deep.size() + 1, kMaxMemberNameSize - 1);
  std::string block = MakeIndexBlock(entries);
  PackIndex index(reinterpret_cast<const uint8_t*>(block.data()), block.size());
  ASSERT_EQ(index.GetCount(), entries.size());
  struct Case {
    std::string wanted;
    int entry;  // -1: none
  } cases[] = {
      {kHyo + "/a.BMP", 0},
      {kHyo + "\\\\A.bmp", 0},
      {kSo + kNo + "/予十.TXT", 2},
      {"データ/" + kSo, 3},
      {"データ\\" + kSo + "A", 4},
      {deep, 5},
      {"データ\\" + kSo.substr(0, 1), -1},  // a lead byte alone is another name
      {kHyo.substr(0, 1) + "\\a.bmp", -1},
      {"予十.txt", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(HexBytes(c.wanted));
    const PackEntry* found = index.Find(c.wanted);
    EXPECT_EQ(found, FindByWalking(index, c.wanted));
    if (c.entry < 0) {
      EXPECT_EQ(found, nullptr);
    } else {
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(found->offset, uint32_t(c.entry));
    }
  }
}

TEST(PackFormat, IndexOverItsBudgetHoldsNothing) {
  auto indexOf = [](const std::string& block, PackIndexBudget budget) {
    return PackIndex(reinterpret_cast<const uint8_t*>(block.data()), block.size(), budget);
  };
  std::string end(4, '\0');
  std::string three = Entry(kHyo + ".a", 1, 9) + Entry(kSo + ".b", 2, 9) + Entry("c", 3, 9);
  // Entries: three fit a budget of three, a fourth does not.
  PackIndex fits = indexOf(three + end, {3, 1000});
  EXPECT_TRUE(fits.IsUsable());
  EXPECT_FALSE(fits.IsDamaged());
  EXPECT_EQ(fits.GetCount(), 3u);
  EXPECT_NE(fits.Find(kSo + ".B"), nullptr);
  PackIndex over = indexOf(three + Entry("d", 4, 9) + end, {3, 1000});
  EXPECT_FALSE(over.IsUsable());
  EXPECT_TRUE(over.IsOverBudget());
  EXPECT_TRUE(over.IsDamaged());
  EXPECT_EQ(over.GetCount(), 0u);
  EXPECT_EQ(over.Find("c"), nullptr);
  // Name bytes, counted up to each name's zero: 4 + 4 + 1 = 9 fit 9, not 8. A name field of zeros
  // holds no name bytes.
  EXPECT_TRUE(indexOf(three + end, {10, 9}).IsUsable());
  EXPECT_TRUE(indexOf(three + end, {10, 8}).IsOverBudget());
  std::string zeros;
  AppendLittleEndian32(zeros, kMaxMemberNameSize);
  zeros += std::string(kMaxMemberNameSize + 8, '\0');
  EXPECT_TRUE(indexOf(zeros + zeros + end, {10, 0}).IsUsable());
  // Damage after entries within the budget is still only damage.
  PackIndex cut = indexOf(three, {3, 1000});
  EXPECT_TRUE(cut.IsUsable());
  EXPECT_TRUE(cut.IsDamaged());
  EXPECT_EQ(cut.GetCount(), 3u);

  // The default budget: an index of small entries one past it is refused whole, one at it is read.
  std::string small = Entry("x", 5, 9);
  std::string atLimit;
  atLimit.reserve(small.size() * (kPackIndexBudget.entries + 1) + 4);
  for (uint32_t i = 0; i < kPackIndexBudget.entries; ++i) atLimit += small;
  atLimit += end;
  PackIndex whole(reinterpret_cast<const uint8_t*>(atLimit.data()), atLimit.size());
  EXPECT_TRUE(whole.IsUsable());
  EXPECT_EQ(whole.GetCount(), kPackIndexBudget.entries);
  std::string past = atLimit.substr(0, atLimit.size() - 4) + small + end;
  PackIndex refused(reinterpret_cast<const uint8_t*>(past.data()), past.size());
  EXPECT_TRUE(refused.IsOverBudget());
  EXPECT_EQ(refused.GetCount(), 0u);
  std::vector<uint8_t> out;
  std::string file = MakePackHeader(PackVariant::kArchive, static_cast<uint32_t>(past.size())) + past;
  EXPECT_EQ(DecodePackArchiveMember(reinterpret_cast<const uint8_t*>(file.data()), file.size(), "x", &out), 0);
  file = MakePackHeader(PackVariant::kArchive, static_cast<uint32_t>(atLimit.size())) + atLimit;
  EXPECT_EQ(DecodePackArchiveMember(reinterpret_cast<const uint8_t*>(file.data()), file.size(), "x", &out), -1)
      << "listed, but its block does not decode";
}

TEST(PackFormat, DamagedArchivesFailCleanly) {
  std::vector<uint8_t> good(kHandArchive, kHandArchive + sizeof kHandArchive), out;
  auto decode = [&](const std::vector<uint8_t>& file, const char* member) {
    return DecodePackArchiveMember(file.data(), file.size(), member, &out);
  };
  ASSERT_EQ(decode(good, "sub/hello.txt"), 1);
  // Not a pack archive at all, or its index runs past the file: 0.
  EXPECT_EQ(decode(std::vector<uint8_t>(good.begin(), good.begin() + 13), "sub/hello.txt"), 0);
  std::vector<uint8_t> file = good;
  Put32(file, 10, static_cast<uint32_t>(file.size()));
  EXPECT_EQ(decode(file, "sub/hello.txt"), 0);
  Put32(file, 10, 0xFFFFFFFFu);
  EXPECT_EQ(decode(file, "sub/hello.txt"), 0);
  // An index declared shorter than its entries: the cut entry and those after it are not listed.
  file = good;
  Put32(file, 10, 25);
  EXPECT_EQ(decode(file, "sub/hello.txt"), -1);
  Put32(file, 10, 0x27);  // the first entry whole, the second cut
  EXPECT_EQ(decode(file, "sub/hello.txt"), 1);
  EXPECT_EQ(decode(file, "a/\xE0\x40.bin"), -1);

  // Stored blocks: past the end of the file, with an offset that would wrap, shorter than 5 bytes,
  // and with a trailer claiming more than the block can give.
  const uint32_t key = 0x47B;  // of "Sub/Hello.TXT"
  auto withPlace = [&](uint32_t offset, uint32_t length) {
    std::vector<uint8_t> f = good;
    Put32(f, 32, offset ^ key);
    Put32(f, 36, length ^ key);
    return f;
  };
  EXPECT_EQ(decode(withPlace(0x41, 17), "sub/hello.txt"), 1);
  EXPECT_EQ(decode(withPlace(0x41, 18), "sub/hello.txt"), -1);
  EXPECT_EQ(decode(withPlace(0xFFFFFFF0u, 0x20), "sub/hello.txt"), -1);
  EXPECT_EQ(decode(withPlace(0x41, 0xFFFFFFFFu), "sub/hello.txt"), -1);
  EXPECT_EQ(decode(withPlace(0x41, 4), "sub/hello.txt"), -1);
  EXPECT_EQ(decode(withPlace(0x41 + 12, 5), "sub/hello.txt"), -1);
  file = good;
  Put32(file, 0x41 + 13, 0x7FFFFFFF);
  EXPECT_EQ(decode(file, "sub/hello.txt"), -1);
  EXPECT_TRUE(out.empty());
}

TEST(PackFormat, SinglePacks) {
  std::vector<uint8_t> good(kHandSingle, kHandSingle + sizeof kHandSingle), out;
  auto decode = [&](const std::vector<uint8_t>& file, const std::string& name) {
    return DecodeSinglePack(file.data(), file.size(), name, &out);
  };
  ASSERT_EQ(decode(good, "v_006_000.BMP"), 1);
  EXPECT_EQ(Text(out), "BMdata");
  EXPECT_EQ(decode(good, "v_006_001.bmp"), 0);
  EXPECT_EQ(decode(good, "v_006_000.bm"), 0);
  // The name length: above 251, or past the file.
  std::vector<uint8_t> file = good;
  Put32(file, 10, 252);
  EXPECT_EQ(decode(file, "v_006_000.bmp"), 0);
  Put32(file, 10, 14);
  EXPECT_EQ(decode(file, "v_006_000.bmp"), 0);
  file = good;
  file.resize(14 + 13 + 7);
  EXPECT_EQ(decode(file, "v_006_000.bmp"), 0);
  // The block cut off at the end of the file.
  file = good;
  file.pop_back();
  EXPECT_EQ(decode(file, "v_006_000.bmp"), 0);

  // The project's encoder writes the same layout.
  std::string built;
  ASSERT_TRUE(BuildSinglePack("V_006_000.bmp", "BMdata", 9, &built));
  EXPECT_EQ(HexBytes(built), HexBytes(std::string(good.begin(), good.end())));
  EXPECT_FALSE(BuildSinglePack(std::string(252, 'n'), "x", 6, &built));
  ASSERT_TRUE(BuildSinglePack(std::string(251, 'n'), "x", 6, &built));
  EXPECT_EQ(decode(Bytes(built), std::string(251, 'N')), 1);
}

TEST(PackFormat, BuiltArchivesReadBack) {
  std::vector<std::pair<std::string, std::string>> members = {{"Sub/Hello.TXT", "hello"},
                                                              {"a\\\xE0\x40.bin", std::string("\0\1\2", 3)}};
  std::string built;
  ASSERT_TRUE(BuildPackArchive(members, 9, &built));
  EXPECT_EQ(HexBytes(built), HexBytes(std::string(std::begin(kHandArchive), std::end(kHandArchive))));

  members.clear();
  for (int i = 0; i < 50; ++i) members.push_back({"dir\\f" + std::to_string(i), PatternBytes(i * 37, i)});
  members.push_back({std::string(263, 'L'), "longest"});
  ASSERT_TRUE(BuildPackArchive(members, 6, &built));
  std::vector<uint8_t> file = Bytes(built), out;
  for (const auto& member : members) {
    ASSERT_EQ(DecodePackArchiveMember(file.data(), file.size(), member.first, &out), 1) << member.first;
    EXPECT_EQ(Text(out), member.second);
  }
  members.push_back({std::string(264, 'L'), "too long"});
  EXPECT_FALSE(BuildPackArchive(members, 6, &built));
}
