#pragma once
// Readers of LZSS data files (the formats are described in LzssCore.h):
//   CLZSSArchiveFile  one member of the archive D.dat of the nearest enclosing folder D that has one;
//   CLZSSSingleFile   the file F stored as F.dat beside it.
// Both decode the whole file into memory on Open. Damaged data that the user must act on (a member
// that cannot be read or decoded) is shown in a message box "ゲーム内部エラー" owned by the
// application's window; everything else fails silently or with a debug line only. The file front never
// chooses these readers: code that wants them constructs them.

#include <cstdint>
#include <memory>
#include <string>

#include "pack/FileBase.h"

// Looks for the archive that would hold `path`: for each enclosing folder, nearest first, whether
// folder + ".dat" exists. Only existence is tested, so the nearest archive wins even without the
// member. On success gives the archive's path and the member name (the rest of the full path after the
// folder and its separator).
bool FindLZSSArchive(const std::string& path, std::string* archivePath, std::string* memberName);

class CLZSSArchiveFile : public CCompressFileBase {
 public:
  CLZSSArchiveFile() = default;
  ~CLZSSArchiveFile() override { Close(); }

  // 1 loaded; 0 no archive, or it does not open; -1 the member is not listed, the index or the member
  // cannot be read (a box for the member), it cannot be decoded to its recorded length (a box), or no
  // memory (a debug line).
  int _Load(const std::string& path) override { return _OpenDatFile(path); }
  int _OpenDatFile(const std::string& path);
  void ReleaseData() override { decoded_.reset(); }

 private:
  std::unique_ptr<uint8_t[]> decoded_;
};

class CLZSSSingleFile : public CCompressFileBase {
 public:
  CLZSSSingleFile() = default;
  ~CLZSSSingleFile() override { Close(); }

  // 1 loaded; 0 otherwise (silent when path.dat does not open; boxes as the archive reader's).
  int _Load(const std::string& path) override { return _OpenDatFile(path); }
  int _OpenDatFile(const std::string& path);
  void ReleaseData() override { decoded_.reset(); }

 private:
  std::unique_ptr<uint8_t[]> decoded_;
};
