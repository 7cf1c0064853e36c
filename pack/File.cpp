#include "pack/File.h"

#include "foundation/DebugPrint.h"
#include "foundation/FileFinder.h"
#include "foundation/Folders.h"
#include "foundation/PathText.h"
#include "pack/DiscLocation.h"
#include "pack/PlainFile.h"
#include "pack/ZipFile.h"

bool CFile::Create(const std::string& name, int mode) {
  Close();
  auto plain = std::make_unique<CPlainFile>();
  if (!plain->Create(GetFullPath(name), mode)) {
    DebugPrint("error：ファイルの作成に失敗しました。<%s> [CFile::Create()]", name.c_str());
    Close();
    return false;
  }
  reader_ = std::move(plain);
  return true;
}

void CFile::SelectReader(const std::string& fullPath) {
  reader_.reset();
  CFileFinder finder;
  if (finder.Exists(fullPath)) {
    reader_ = std::make_unique<CPlainFile>();
  } else if (IsSinglePackFor(fullPath)) {
    reader_ = std::make_unique<CZipSingleFile>();
  } else {
    reader_ = std::make_unique<CZipArchiveFile>();
  }
}

int CFile::Open(const std::string& name) {
  Close();
  if (name.empty()) return 0;
  CErrorModeGuard quietDrives;

  std::string full = GetFullPath(name);
  SelectReader(full);
  if (reader_ && reader_->Open(full) == 1) return 1;

  if (!IsAbsolutePath(name)) {
    bool found = DiscSearchDrives().Walk([&](char letter) {
      const std::string folder = std::string(1, letter) + ":\\data\\gamedata";
      CFileFinder finder;
      if (!finder.Exists(folder)) return false;
      std::string path = CollapseBackslashes(folder + "\\" + name);
      SelectReader(path);
      return reader_ && reader_->Open(path) == 1;
    });
    if (found) return 1;
  }
  Close();
  return 0;
}

uint32_t CFile::Read(void* buffer, uint32_t size, uint32_t count) {
  return reader_ ? reader_->Read(buffer, size, count) : 0;
}

uint32_t CFile::Write(const void* buffer, uint32_t size, uint32_t count) {
  return reader_ ? reader_->Write(buffer, size, count) : 0;
}
