// The LZSS readers on files in a scratch folder: where they look, what they load, and which damage
// reaches the user as a box (answered here by a scripted user) and which fails silently.

#include "pack/LzssFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/AppManager.h"
#include "pack/LzssCore.h"
#include "tests/pack/SparseFile.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

using Bytes = std::vector<uint8_t>;

const char kCaption[] = "ゲーム内部エラー";
const std::string kReadHead =
    "[ReadError]\nファイルの読み込みに失敗しました。データ破損の可能性があります。\n"
    "お手数ですが、一旦ゲームを終了して頂き、再度ゲームのインストールを行って下さい。\n[";
const std::string kDecodeHead =
    "[DecodeError]\nファイルの読み込みに失敗しました。データ破損の可能性があります。\n"
    "お手数ですが、一旦ゲームを終了して頂き、再度ゲームのインストールを行って下さい。\n[";

std::string AsText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Stream(const std::string& text) {
  Bytes stream;
  EXPECT_TRUE(LzssEncode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &stream));
  return stream;
}

// One record of a hand-made archive: stored name and the three numbers as they will be unmasked.
struct Record {
  std::string name;
  uint32_t decoded, compressed, offset;
};

// Records, the end record, then `body` from offset 140 * (records + 1).
std::string MakeArchive(const std::vector<Record>& records, const Bytes& body) {
  Bytes archive((records.size() + 1) * kLzssRecordSize, 0);
  for (size_t i = 0; i < records.size(); ++i) {
    const Record& r = records[i];
    if (r.name.size() >= kLzssNameSize) {  // a name field without its zero byte
      std::copy(r.name.begin(), r.name.begin() + kLzssNameSize, archive.begin() + i * kLzssRecordSize);
      uint8_t scratch[kLzssRecordSize];
      WriteLzssRecord("x", r.decoded, r.compressed, r.offset, scratch);
      std::copy(scratch + kLzssNameSize, scratch + kLzssRecordSize,
                archive.begin() + i * kLzssRecordSize + kLzssNameSize);
    } else {
      EXPECT_TRUE(WriteLzssRecord(r.name, r.decoded, r.compressed, r.offset, &archive[i * kLzssRecordSize]));
    }
  }
  archive.insert(archive.end(), body.begin(), body.end());
  return AsText(archive);
}

uint32_t BodyStart(size_t records) { return uint32_t((records + 1) * kLzssRecordSize); }

std::string BuildArchive(const std::vector<std::pair<std::string, std::string>>& members) {
  std::vector<LzssMemberInput> inputs;
  for (const auto& m : members) inputs.push_back({m.first, Text(m.second)});
  Bytes archive;
  EXPECT_TRUE(BuildLzssArchive(inputs, &archive));
  return AsText(archive);
}

std::string SingleFile(uint32_t decodedLength, const Bytes& stream) {
  std::string file(4, '\0');
  for (int i = 0; i < 4; ++i) file[i] = char(decodedLength >> (8 * i));
  return file + AsText(stream);
}

std::string Contents(CCompressFileBase& reader) {
  std::string bytes(reader.GetSize(), '\0');
  if (!bytes.empty()) {
    EXPECT_EQ(reader.Read(&bytes[0], 1, reader.GetSize()), reader.GetSize());
  }
  return bytes;
}

bool HasLine(const DebugCapture& capture, const std::string& line) {
  for (const std::string& text : capture.Texts()) {
    if (text == line) return true;
  }
  return false;
}

// An application registered for this thread while it lives, so that boxes have an owner to show.
class FakeApplication : public CAppInterface {
 public:
  FakeApplication() { CAppManager::Register(this, nullptr); }
  ~FakeApplication() override { CAppManager::Unregister(this); }
  HWND GetHWnd() override { return reinterpret_cast<HWND>(0x1234); }
};

const std::string kText = "the data of the member, the data of the ring; " + std::string(300, 'z') + " end";

}  // namespace

TEST(LzssArchive, FindsTheNearestArchive) {
  ScratchFolder scratch;
  std::string found, member;
  EXPECT_FALSE(FindLZSSArchive(scratch / "g\\data\\x.bmp", &found, &member));
  ASSERT_TRUE(WriteWholeFile(scratch / "g.dat", BuildArchive({{"data\\x.bmp", kText}})));
  ASSERT_TRUE(FindLZSSArchive(scratch / "g\\data\\x.bmp", &found, &member));
  EXPECT_EQ(found, scratch / "g.dat");
  EXPECT_EQ(member, "data\\x.bmp");
  CLZSSArchiveFile reader;
  ASSERT_EQ(reader.Open(scratch / "g\\data\\x.bmp"), 1);
  EXPECT_EQ(Contents(reader), kText);

  // A nearer data.dat wins even though it does not list the member: not found, and no box.
  ASSERT_TRUE(MakeFolders(scratch / "g"));
  ASSERT_TRUE(WriteWholeFile(scratch / "g\\data.dat", BuildArchive({{"y.bmp", "y"}})));
  ASSERT_TRUE(FindLZSSArchive(scratch / "g\\data\\x.bmp", &found, &member));
  EXPECT_EQ(found, scratch / "g\\data.dat");
  EXPECT_EQ(member, "x.bmp");
  ScriptedUser user({});
  EXPECT_EQ(reader.Open(scratch / "g\\data\\x.bmp"), -1);
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(reader.GetSize(), 0u);
  EXPECT_TRUE(user.Asked().empty());
  // No archive anywhere: 0.
  EXPECT_EQ(reader.Open(scratch / "elsewhere\\x.bmp"), 0);
}

TEST(LzssArchive, NamesAreLoweredAndBothSeparatorsTried) {
  ScratchFolder scratch;
  // "Data\a.bmp" comes first but stored names are not lowered: only data\a.bmp answers DATA/A.BMP.
  ASSERT_TRUE(WriteWholeFile(scratch / "g.dat", BuildArchive({{"Data\\a.bmp", "wrong"},
                                                              {"data\\a.bmp", kText},
                                                              {"sub/b.txt", "slashes"},
                                                              {"", "empty name"},
                                                              {"empty", ""}})));
  CLZSSArchiveFile reader;
  ASSERT_EQ(reader.Open(scratch / "g\\DATA/A.BMP"), 1);
  EXPECT_EQ(Contents(reader), kText);
  ASSERT_EQ(reader.Open(scratch / "g\\Sub\\B.TXT"), 1);
  EXPECT_EQ(Contents(reader), "slashes");
  ASSERT_EQ(reader.Open(scratch / "g\\empty"), 1) << "an empty member is stored as a lone flag byte";
  EXPECT_TRUE(reader.IsOpen());
  EXPECT_EQ(reader.GetSize(), 0u);

  ASSERT_TRUE(WriteWholeFile(scratch / "h.dat", BuildArchive({{"Data\\a.bmp", "upper"}})));
  EXPECT_EQ(reader.Open(scratch / "h\\data\\a.bmp"), -1);
  EXPECT_EQ(reader.Open(scratch / "h\\Data\\a.bmp"), -1);
}

TEST(LzssArchive, DamagedIndexesFailWithoutABox) {
  ScratchFolder scratch;
  ScriptedUser user({});
  CLZSSArchiveFile reader;
  Bytes stream = Stream(kText);
  uint32_t z = uint32_t(stream.size()), l = uint32_t(kText.size());

  // An index that runs into the end of the file before its end record.
  std::string archive = MakeArchive({{"a", l, z, BodyStart(1)}}, stream);
  ASSERT_TRUE(WriteWholeFile(scratch / "cut.dat", archive.substr(0, kLzssRecordSize + 100)));
  EXPECT_EQ(reader.Open(scratch / "cut\\b"), -1);

  // A name filling all 128 bytes matches nothing, not even the same 128 bytes, and the walk goes on.
  std::string longName(128, 'n');
  ASSERT_TRUE(WriteWholeFile(scratch / "long.dat",
                             MakeArchive({{longName, l, z, BodyStart(2)}, {"b", l, z, BodyStart(2)}}, stream)));
  EXPECT_EQ(reader.Open(scratch / "long\\" + longName), -1);
  ASSERT_EQ(reader.Open(scratch / "long\\b"), 1);
  EXPECT_EQ(Contents(reader), kText);
  EXPECT_TRUE(user.Asked().empty());
}

TEST(LzssArchive, UnreadableMembersShowTheReadErrorBox) {
  ScratchFolder scratch;
  DebugCapture capture;
  ScriptedUser user({IDOK, IDOK, IDOK, IDOK});
  FakeApplication application;
  CLZSSArchiveFile reader;
  Bytes stream = Stream(kText);
  uint32_t z = uint32_t(stream.size()), l = uint32_t(kText.size()), at = BodyStart(1);

  struct Case {
    const char* what;
    Record record;
  } cases[] = {
      {"compressed length 0", {"m", 0, 0, at}},
      {"member past the end", {"m", l, z + 1, at}},
      {"offset past the end", {"m", l, z, at + 1000}},
      {"offset and length wrap in 32 bits", {"m", l, 0x200, 0xFFFFFF00u}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string name = std::string("r") + std::to_string(&c - cases);
    ASSERT_TRUE(WriteWholeFile(scratch / name + ".dat", MakeArchive({c.record}, stream)));
    std::string wanted = scratch / name + "\\m";
    size_t boxes = user.Asked().size();
    EXPECT_EQ(reader.Open(wanted), -1);
    EXPECT_FALSE(reader.IsOpen());
    ASSERT_EQ(user.Asked().size(), boxes + 1);
    AskedBox box = user.Asked().back();
    EXPECT_EQ(box.caption, kCaption);
    EXPECT_EQ(HexBytes(box.text), HexBytes(kReadHead + wanted + "]"));
    EXPECT_EQ(box.style, UINT(MB_OK | MB_ICONERROR));
    EXPECT_EQ(box.owner, reinterpret_cast<HWND>(0x1234)) << "owned by the application's window";
    EXPECT_TRUE(HasLine(
        capture, "CLZSSArchiveFile::_OpenDatFile() データ読み込みに失敗！(データ破損の可能性あり)[" + wanted + "]"));
  }
}

TEST(LzssArchive, StreamsOfTheWrongLengthShowTheDecodeErrorBox) {
  ScratchFolder scratch;
  DebugCapture capture;
  ScriptedUser user({});
  CLZSSArchiveFile reader;
  Bytes stream = Stream(kText);
  uint32_t z = uint32_t(stream.size()), l = uint32_t(kText.size()), at = BodyStart(1);

  ASSERT_TRUE(WriteWholeFile(scratch / "ok.dat", MakeArchive({{"m", l, z, at}}, stream)));
  ASSERT_EQ(reader.Open(scratch / "ok\\m"), 1);
  EXPECT_EQ(Contents(reader), kText);
  EXPECT_TRUE(user.Asked().empty());

  // One byte more and one fewer than the stream gives, and a length no stream of z bytes can give
  // (refused before it is allocated: no memory line, the decode box).
  uint32_t lengths[] = {l + 1, l - 1, 0xFFFFFFF0u};
  for (uint32_t recorded : lengths) {
    SCOPED_TRACE(recorded);
    std::string name = "d" + std::to_string(recorded);
    ASSERT_TRUE(WriteWholeFile(scratch / name + ".dat", MakeArchive({{"m", recorded, z, at}}, stream)));
    std::string wanted = scratch / name + "\\m";
    size_t boxes = user.Asked().size();
    EXPECT_EQ(reader.Open(wanted), -1);
    EXPECT_FALSE(reader.IsOpen());
    ASSERT_EQ(user.Asked().size(), boxes + 1);
    EXPECT_EQ(user.Asked().back().caption, kCaption);
    EXPECT_EQ(HexBytes(user.Asked().back().text), HexBytes(kDecodeHead + wanted + "]"));
    EXPECT_EQ(user.Asked().back().owner, CAppManager::GetHWnd());
    EXPECT_TRUE(
        HasLine(capture, "CLZSSArchiveFile::_OpenDatFile() decodeに失敗！(データ破損の可能性あり)[" + wanted + "]"));
  }
  for (const std::string& line : capture.Texts()) EXPECT_EQ(line.find("メモリ割り当て"), std::string::npos) << line;
}

TEST(LzssSingle, LoadsAndReportsDamage) {
  ScratchFolder scratch;
  DebugCapture capture;
  ScriptedUser user({});
  CLZSSSingleFile reader;
  Bytes stream = Stream(kText);
  uint32_t l = uint32_t(kText.size());

  EXPECT_EQ(reader.Open(scratch / "absent.bmp"), 0);
  ASSERT_TRUE(WriteWholeFile(scratch / "v.bmp.dat", SingleFile(l, stream)));
  ASSERT_EQ(reader.Open(scratch / "v.bmp"), 1);
  EXPECT_EQ(Contents(reader), kText);
  ASSERT_TRUE(WriteWholeFile(scratch / "empty.dat", SingleFile(0, Stream(""))));
  ASSERT_EQ(reader.Open(scratch / "empty"), 1);
  EXPECT_EQ(reader.GetSize(), 0u);
  EXPECT_TRUE(user.Asked().empty());

  // Shorter than its header: a debug line, no box.
  ASSERT_TRUE(WriteWholeFile(scratch / "short.dat", "ab"));
  EXPECT_EQ(reader.Open(scratch / "short"), 0);
  EXPECT_TRUE(user.Asked().empty());
  EXPECT_TRUE(HasLine(
      capture, "CLZSSSingleFile::_OpenDatFile() ファイルヘッダの読み込みに失敗！(データファイル形式が違う可能性あり)[" +
                   (scratch / "short") + "]"));

  // Exactly 4 bytes: nothing to read is a read error.
  ASSERT_TRUE(WriteWholeFile(scratch / "four.dat", SingleFile(5, {})));
  EXPECT_EQ(reader.Open(scratch / "four"), 0);
  ASSERT_EQ(user.Asked().size(), 1u);
  EXPECT_EQ(user.Asked()[0].caption, kCaption);
  EXPECT_EQ(HexBytes(user.Asked()[0].text), HexBytes(kReadHead + (scratch / "four") + "]"));
  EXPECT_EQ(user.Asked()[0].style, UINT(MB_OK | MB_ICONERROR));
  EXPECT_TRUE(HasLine(capture, "CLZSSSingleFile::_OpenDatFile() データ読み込みに失敗！(データ破損の可能性あり)[" +
                                   (scratch / "four") + "]"));

  // One more, one fewer, and more than any stream of that size gives: the decode box.
  uint32_t lengths[] = {l + 1, l - 1, 0xFFFFFFFFu};
  for (uint32_t recorded : lengths) {
    std::string name = "s" + std::to_string(recorded);
    ASSERT_TRUE(WriteWholeFile(scratch / name + ".dat", SingleFile(recorded, stream)));
    size_t boxes = user.Asked().size();
    EXPECT_EQ(reader.Open(scratch / name), 0);
    EXPECT_FALSE(reader.IsOpen());
    ASSERT_EQ(user.Asked().size(), boxes + 1);
    EXPECT_EQ(HexBytes(user.Asked().back().text), HexBytes(kDecodeHead + (scratch / name) + "]"));
    EXPECT_TRUE(HasLine(
        capture, "CLZSSSingleFile::_OpenDatFile() decodeに失敗！(データ破損の可能性あり)[" + (scratch / name) + "]"));
  }
}

TEST(LzssArchive, MembersOfAnArchivePast4GiB) {
  // Members are judged against the archive's whole size: one just below the 4 GiB mark of an archive
  // longer than that, and one that runs across the mark, load; one that runs past the end does not.
  ScratchFolder scratch;
  DebugCapture capture;
  ScriptedUser user({IDOK, IDOK});
  FakeApplication application;
  const std::string below = kHyo + "\\end.bin", across = kSo + "\\" + kNo + ".bin", past = "予十.bin";
  const std::string belowText = kText + " below 4 GiB", acrossText = kText + " across 4 GiB";
  Bytes belowStream = Stream(belowText), acrossStream = Stream(acrossText);
  const uint64_t size = (uint64_t(1) << 32) + 0x1000;
  const uint32_t belowAt = 0xFFFFFE00u, acrossAt = 0xFFFFFFF0u;
  ASSERT_LT(belowAt + belowStream.size(), acrossAt);
  ASSERT_GT(uint64_t(acrossAt) + acrossStream.size(), uint64_t(1) << 32);
  std::string index = MakeArchive({{below, uint32_t(belowText.size()), uint32_t(belowStream.size()), belowAt},
                                   {across, uint32_t(acrossText.size()), uint32_t(acrossStream.size()), acrossAt},
                                   {past, uint32_t(kText.size()), 0x2000, 0xFFFFFFFFu - 0x100}},
                                  {});
  const std::string archive = scratch / ("データ" + kHyo + ".dat");
  if (!MakeSparseFile(archive, size, {{0, index}, {belowAt, AsText(belowStream)}, {acrossAt, AsText(acrossStream)}})) {
    GTEST_SKIP() << kHostLacks << "no room for a sparse file of 4 GiB here";
  }
  const std::string folder = scratch / ("データ" + kHyo + "\\");
  CLZSSArchiveFile reader;
  ASSERT_EQ(reader.Open(folder + below), 1);
  EXPECT_EQ(Contents(reader), belowText);
  ASSERT_EQ(reader.Open(folder + across), 1);
  EXPECT_EQ(Contents(reader), acrossText);
  EXPECT_TRUE(user.Asked().empty()) << "no box for good members";
  // Past the end by the whole size, not by the size cut to 32 bits.
  EXPECT_EQ(reader.Open(folder + past), -1);
  ASSERT_EQ(user.Asked().size(), 1u);
  EXPECT_EQ(HexBytes(user.Asked()[0].text), HexBytes(kReadHead + folder + past + "]"));
  reader.Close();
  DeleteFileA(archive.c_str());
}
