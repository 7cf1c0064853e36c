#pragma once
// Readers of the .pak formats (PackFormat.h) and the searches that find them.
//
// CZipArchiveFile reads a file's member of the pack archive of the nearest enclosing folder (the
// members of folder D live in D.pak beside D); CZipSingleFile reads a file's single-file pack, which
// sits in the file's folder under a name made from the file's title and the byte values of its
// extension. Both decode the whole file into memory on Open and hold no file handle afterwards; the
// pack is open only while loading. Every failure leaves the reader closed.

#include <string>

#include "pack/FileBase.h"
#include "pack/ZipCodec.h"

class CZipArchiveFile : public CCompressFileBase {
 public:
  CZipArchiveFile() = default;
  ~CZipArchiveFile() override { Close(); }

  // 1 loaded; 0 no pack archive holds the file (or the pack is not readable); -1 the pack's index does
  // not list the member, or its stored block is damaged, cannot be read or does not decode.
  int _Load(const std::string& path) override;
  void ReleaseData() override { codec_.Release(); }

 private:
  CZipCodec codec_;
};

class CZipSingleFile : public CCompressFileBase {
 public:
  CZipSingleFile() = default;
  ~CZipSingleFile() override { Close(); }

  // 1 loaded; 0 otherwise (no pack, another stored name, damage).
  int _Load(const std::string& path) override;
  void ReleaseData() override { codec_.Release(); }

 private:
  CZipCodec codec_;
};

// Looks for the pack archive that holds the file at `path` (a full path), nearest folder first:
// for C:\g\data\v.bmp, C:\g\data.pak with member v.bmp, then C:\g.pak with data\v.bmp, then C:.pak.
bool FindPackArchive(const std::string& path, std::string& outPack, std::string& outMember);
// Whether the pack archive at `pack` lists `member` (names compared as NormaliseMemberName says).
bool PackArchiveContains(const std::string& pack, const std::string& member);

// The single-file pack of a file: folder\title + the extension's bytes as signed decimal numbers +
// ".pak" (v_006_000.bmp: v_006_00098109112.pak).
std::string GetSinglePackPath(const std::string& path);
// Whether the file's single-file pack exists, is a 4S pack and stores this file's name.
bool IsSinglePackFor(const std::string& path);
