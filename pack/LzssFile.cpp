#include "pack/LzssFile.h"

#include <windows.h>

#include <new>

#include "app/AppManager.h"
#include "foundation/DebugPrint.h"
#include "foundation/FileFinder.h"
#include "foundation/Folders.h"
#include "foundation/MessageBox.h"
#include "foundation/PathText.h"
#include "pack/LzssCore.h"
#include "pack/PlainFile.h"

namespace {

const char kErrorCaption[] = "ゲーム内部エラー";
// The texts end in "[<wanted path>]".
const char kReadErrorText[] =
    "[ReadError]\nファイルの読み込みに失敗しました。データ破損の可能性があります。\n"
    "お手数ですが、一旦ゲームを終了して頂き、再度ゲームのインストールを行って下さい。\n[";
const char kDecodeErrorText[] =
    "[DecodeError]\nファイルの読み込みに失敗しました。データ破損の可能性があります。\n"
    "お手数ですが、一旦ゲームを終了して頂き、再度ゲームのインストールを行って下さい。\n[";

// The debug lines of one reader class.
struct ReaderTexts {
  const char* noMemory;     // path, compressed length, decoded length
  const char* readError;    // path
  const char* decodeError;  // path
};

const ReaderTexts kArchiveTexts = {
    "CLZSSArchiveFile::_OpenDatFile() メモリ割り当てに失敗！[%s][src_size:%dbyte][dst_size:%dbyte]",
    "CLZSSArchiveFile::_OpenDatFile() データ読み込みに失敗！(データ破損の可能性あり)[%s]",
    "CLZSSArchiveFile::_OpenDatFile() decodeに失敗！(データ破損の可能性あり)[%s]",
};

const ReaderTexts kSingleTexts = {
    "CLZSSSingleFile::_OpenDatFile() メモリ割り当てに失敗！[%s][src_size:%dbyte][dst_size:%dbyte]",
    "CLZSSSingleFile::_OpenDatFile() データ読み込みに失敗！(データ破損の可能性あり)[%s]",
    "CLZSSSingleFile::_OpenDatFile() decodeに失敗！(データ破損の可能性あり)[%s]",
};

void ShowDataError(const char* head, const std::string& path) {
  std::string text = head + path + "]";
  ShowMessageBox(CAppManager::GetHWnd(), text.c_str(), kErrorCaption, MB_OK | MB_ICONERROR);
}

void ReportReadError(const ReaderTexts& texts, const std::string& path) {
  DebugPrint(texts.readError, path.c_str());
  ShowDataError(kReadErrorText, path);
}

void ReportDecodeError(const ReaderTexts& texts, const std::string& path) {
  DebugPrint(texts.decodeError, path.c_str());
  ShowDataError(kDecodeErrorText, path);
}

// `count` bytes plus 8 spare, counted in 64 bits so that no size wraps; null when that is more than
// the address space or the heap gives.
std::unique_ptr<uint8_t[]> AllocateWithSpare(uint32_t count) {
  uint64_t bytes = uint64_t(count) + 8;
  if (bytes > SIZE_MAX) return nullptr;
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
}

enum class StreamResult { kLoaded, kFailed };

// Reads the stream of `compressed` bytes at the file's position and decodes it to exactly `decoded`
// bytes into `*output`, reporting failures with the reader's texts. A read of zero bytes counts as a
// failed read. A decoded length that the stream could not give is a decode error found before that
// much is allocated.
StreamResult LoadStream(CPlainFile& file, uint32_t compressed, uint32_t decoded, const ReaderTexts& texts,
                        const std::string& path, std::unique_ptr<uint8_t[]>* output) {
  std::unique_ptr<uint8_t[]> input = AllocateWithSpare(compressed);
  if (!input) {
    DebugPrint(texts.noMemory, path.c_str(), compressed, decoded);
    return StreamResult::kFailed;
  }
  if (compressed == 0 || file.Read(input.get(), compressed, 1) != 1) {
    ReportReadError(texts, path);
    return StreamResult::kFailed;
  }
  if (decoded > LzssMaxDecodedSize(compressed)) {
    ReportDecodeError(texts, path);
    return StreamResult::kFailed;
  }
  std::unique_ptr<uint8_t[]> result = AllocateWithSpare(decoded);
  if (!result) {
    DebugPrint(texts.noMemory, path.c_str(), compressed, decoded);
    return StreamResult::kFailed;
  }
  CLZSSCodec codec;
  if (codec.Decode(input.get(), compressed, result.get(), decoded) < 0) {
    ReportDecodeError(texts, path);
    return StreamResult::kFailed;
  }
  *output = std::move(result);
  return StreamResult::kLoaded;
}

}  // namespace

bool FindLZSSArchive(const std::string& path, std::string* archivePath, std::string* memberName) {
  std::string full = GetFullPath(path);
  std::string current = path;
  // Each step drops a component; the bound only guards against a path that never runs out of them.
  for (size_t step = 0; step <= current.size() + 1; ++step) {
    std::string parent = GetParentDirectory(current);
    if (parent == current) return false;
    std::string archive = parent + ".dat";
    CFileFinder finder;
    if (finder.Exists(archive)) {
      *archivePath = archive;
      *memberName = full.size() > parent.size() + 1 ? full.substr(parent.size() + 1) : std::string();
      return true;
    }
    current = archive;
  }
  return false;
}

int CLZSSArchiveFile::_OpenDatFile(const std::string& path) {
  std::string archivePath, member;
  if (!FindLZSSArchive(path, &archivePath, &member)) return 0;
  // An archive may pass 4 GiB: members are judged against its whole size.
  CPlainFile archive;
  if (archive.OpenLarge(archivePath) != 1) return 0;

  const LzssMemberForms forms = MakeLzssMemberForms(member);
  LzssRecord record;
  for (;;) {
    uint8_t raw[kLzssRecordSize];
    if (archive.Read(raw, kLzssRecordSize, 1) != 1) return -1;
    record = ParseLzssRecord(raw);
    if (record.isEnd) return -1;
    if (LzssRecordMatches(record, forms)) break;
  }

  // A record whose numbers point outside the archive, or whose offset cannot be reached, is a member
  // that cannot be read: never bytes from another place.
  if (CheckLzssMember(record, archive.GetSize64()) == LzssMemberProblem::kOutsideArchive ||
      !archive.SeekTo64(record.offset)) {
    ReportReadError(kArchiveTexts, path);
    return -1;
  }
  if (LoadStream(archive, record.compressedLength, record.decodedLength, kArchiveTexts, path, &decoded_) !=
      StreamResult::kLoaded)
    return -1;
  SetData(decoded_.get(), record.decodedLength);
  return 1;
}

int CLZSSSingleFile::_OpenDatFile(const std::string& path) {
  CPlainFile file;
  if (file.OpenLarge(path + ".dat") != 1) return 0;
  uint64_t size = file.GetSize64();
  uint8_t header[4];
  if (file.Read(header, 4, 1) != 1 || size < 4 || size == ~uint64_t(0)) {
    DebugPrint(
        "CLZSSSingleFile::_OpenDatFile() ファイルヘッダの読み込みに失敗！(データファイル形式が違う可能性あり)[%s]",
        path.c_str());
    return 0;
  }
  uint32_t decoded =
      uint32_t(header[0]) | uint32_t(header[1]) << 8 | uint32_t(header[2]) << 16 | uint32_t(header[3]) << 24;
  // A stream longer than 32 bits describe is more than any decoded length could come from, and more
  // than memory holds: refused as memory, never decoded from a cut length.
  if (size - 4 > 0xFFFFFFFFu) {
    DebugPrint(kSingleTexts.noMemory, path.c_str(), static_cast<int>(0xFFFFFFFFu), static_cast<int>(decoded));
    return 0;
  }
  if (LoadStream(file, static_cast<uint32_t>(size - 4), decoded, kSingleTexts, path, &decoded_) !=
      StreamResult::kLoaded)
    return 0;
  SetData(decoded_.get(), decoded);
  return 1;
}
